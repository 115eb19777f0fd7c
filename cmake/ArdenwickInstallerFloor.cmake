# The oldest full installer the program accepts. Whoever controls the download origin (or a proxy that
# inspects TLS with a trusted root) could otherwise serve any older full installer that was ever signed,
# with whatever faults that release had.
#
#   ardenwick_installer_version_floor(<out var> <release base URL> <explicit floor> <stand-in version>)
#       sets <out var> to <explicit floor> when one is given. Without one, a build whose download
#       endpoint is the shipped one refuses to configure: the floor of a release is a decision, never a
#       default. Any other endpoint is a test or demo build, which serves the stand-in full installer,
#       so its floor is the stand-in's version. The floor must be MAJOR.MINOR.PATCH version text.
function(ardenwick_installer_version_floor out release_base_url explicit_floor standin_version)
    string(TOLOWER "${release_base_url}" url)
    if(NOT explicit_floor STREQUAL "")
        set(floor "${explicit_floor}")
    elseif(url MATCHES "^https?://downloads\\.ardenwick\\.app([:/].*)?$")
        message(FATAL_ERROR "The shipped download endpoint ${release_base_url} needs an explicit "
            "-DARDENWICK_MINIMUM_INSTALLER_VERSION=<MAJOR.MINOR.PATCH>: the oldest full installer this "
            "release may install")
    else()
        set(floor "${standin_version}")
    endif()
    # "0" or 1 to 9 digits without a leading zero, three times (CMake's regular expressions have no
    # counted repetition).
    set(component "(0|[1-9][0-9]?[0-9]?[0-9]?[0-9]?[0-9]?[0-9]?[0-9]?[0-9]?)")
    if(NOT floor MATCHES "^${component}\\.${component}\\.${component}$")
        message(FATAL_ERROR "ARDENWICK_MINIMUM_INSTALLER_VERSION \"${floor}\" is not MAJOR.MINOR.PATCH")
    endif()
    set(${out} "${floor}" PARENT_SCOPE)
endfunction()
