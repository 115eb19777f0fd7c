# One configure-time decision of the installer version floor, in script mode:
#   cmake -DURL=<release base URL> -DEXPLICIT=<floor or empty> -P installer_floor_case.cmake
# prints "floor <value>", or fails as the configure would.
include(${CMAKE_CURRENT_LIST_DIR}/../../cmake/ArdenwickInstallerFloor.cmake)
ardenwick_installer_version_floor(floor "${URL}" "${EXPLICIT}" "2.4.0")
message("floor ${floor}")
