# The oldest full installer the program accepts. Whoever controls the download origin (or a proxy that
# inspects TLS with a trusted root) could otherwise serve any older full installer that was ever signed,
# with whatever faults that release had.
#
#   ardenwick_installer_version_floor(<out var> <release base URL> <explicit floor> <stand-in version>)
#       sets <out var> to <explicit floor> when one is given. Without one, only a build whose download
#       host is loopback (127.0.0.1 or localhost, exactly) configures: it is a test or demo build serving
#       the stand-in full installer, so its floor is the stand-in's version. Every other endpoint (the
#       shipped host, an alias of it, a staging host, the same host spelled with a trailing dot) refuses
#       to configure: the floor of a release is a decision, never a default. The floor must be
#       MAJOR.MINOR.PATCH version text.
function(ardenwick_installer_version_floor out release_base_url explicit_floor standin_version)
    if(NOT explicit_floor STREQUAL "")
        set(floor "${explicit_floor}")
    else()
        ardenwick_release_host(host "${release_base_url}")
        if(NOT host STREQUAL "127.0.0.1" AND NOT host STREQUAL "localhost")
            message(FATAL_ERROR "The download endpoint ${release_base_url} is not loopback and needs an "
                "explicit -DARDENWICK_MINIMUM_INSTALLER_VERSION=<MAJOR.MINOR.PATCH>: the oldest full "
                "installer this build may install")
        endif()
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

# The host of an http(s) URL in lower case, without user information and port; empty when the URL has
# another scheme or no host. The authority ends at the first "/", "?" or "#" and the user information at
# its last "@"; an authority with a backslash, which parsers read differently, has no host.
function(ardenwick_release_host out url)
    string(TOLOWER "${url}" url)
    set(host "")
    if(url MATCHES "^https?://([^/?#]*)")
        set(host "${CMAKE_MATCH_1}")
        if(host MATCHES "\\\\")
            set(host "")
        endif()
        string(FIND "${host}" "@" at REVERSE)
        if(at GREATER -1)
            math(EXPR after "${at} + 1")
            string(SUBSTRING "${host}" ${after} -1 host)
        endif()
        string(REGEX REPLACE ":[0-9]*$" "" host "${host}")
    endif()
    set(${out} "${host}" PARENT_SCOPE)
endfunction()
