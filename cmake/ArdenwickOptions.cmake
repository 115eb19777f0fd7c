# Compiler settings shared by every target of ours (not by third-party code).
add_library(ardenwick_warnings INTERFACE)
target_compile_options(ardenwick_warnings INTERFACE -Wall -Wextra -Wpedantic -Werror)

if(WIN32)
    # Wide Win32 APIs everywhere, Windows 10 as the target version, no min/max macros.
    add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0A00 WINVER=0x0A00)
    # No DLLs beyond the system's: libstdc++, libgcc and winpthread are linked in.
    add_link_options(-static -static-libgcc -static-libstdc++)
    if(CMAKE_BUILD_TYPE STREQUAL "MinSizeRel")
        add_compile_options(-ffunction-sections -fdata-sections)
        add_link_options(-Wl,--gc-sections -s)
    endif()
endif()

if(ARDENWICK_SANITIZE AND NOT WIN32)
    add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    add_link_options(-fsanitize=address,undefined)
endif()

# Constants that the shipped program keeps fixed; the test and demo builds point them at loopback.
set(ARDENWICK_RELEASE_BASE_URL "https://downloads.ardenwick.app" CACHE STRING
    "Base URL of the full-installer download (no trailing slash)")

# Test builds keep every piece of per-user state (LocalAppData, the product's HKEY_CURRENT_USER keys,
# the identity mutexes) under the throw-away profile root named by ARDENWICK_TEST_PROFILE
# (src/common/user_state.h), so no test reaches the state of the person who runs it. scripts/test turns
# it on; the shipped program never has it.
option(ARDENWICK_TEST_STATE "Keep the per-user state under the test profile root of ARDENWICK_TEST_PROFILE" OFF)
if(ARDENWICK_TEST_STATE)
    if(ARDENWICK_SIGN OR ARDENWICK_RELEASE_BASE_URL STREQUAL "https://downloads.ardenwick.app")
        message(FATAL_ERROR "ARDENWICK_TEST_STATE is for test builds: not with the release endpoint or signing")
    endif()
    set(ARDENWICK_TEST_STATE_VALUE 1)
else()
    set(ARDENWICK_TEST_STATE_VALUE 0)
endif()

# The version that the stand-in full installer, launcher and application declare (tools/stand-ins).
set(ARDENWICK_STANDIN_VERSION "2.4.0")

include(ArdenwickInstallerFloor)
set(ARDENWICK_MINIMUM_INSTALLER_VERSION "" CACHE STRING
    "Lowest full-installer ProductVersion the program accepts (MAJOR.MINOR.PATCH); required with the shipped download endpoint")
if(WIN32)
    ardenwick_installer_version_floor(ARDENWICK_INSTALLER_VERSION_FLOOR "${ARDENWICK_RELEASE_BASE_URL}"
        "${ARDENWICK_MINIMUM_INSTALLER_VERSION}" "${ARDENWICK_STANDIN_VERSION}")
    message(STATUS "Oldest full installer accepted: ${ARDENWICK_INSTALLER_VERSION_FLOOR}")
endif()
