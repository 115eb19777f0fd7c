# The floor that a build configures with: cmake -P installer_floor_tests.cmake
set(failures 0)
function(expect url explicit outcome)
    execute_process(COMMAND ${CMAKE_COMMAND} -DURL=${url} -DEXPLICIT=${explicit}
                            -P ${CMAKE_CURRENT_LIST_DIR}/installer_floor_case.cmake
                    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
    # CMake wraps its error messages.
    string(REGEX REPLACE "[ \n]+" " " output "${output}")
    if(outcome MATCHES "^floor ")
        set(ok FALSE)
        if(result EQUAL 0 AND output MATCHES "^${outcome} ?$")
            set(ok TRUE)
        endif()
    else()
        set(ok FALSE)
        if(NOT result EQUAL 0 AND output MATCHES "${outcome}")
            set(ok TRUE)
        endif()
    endif()
    if(ok)
        message("ok:     ${url} [${explicit}] -> ${outcome}")
    else()
        message("FAILED: ${url} [${explicit}]: expected ${outcome}, got (${result}) ${output}")
        math(EXPR count "${failures} + 1")
        set(failures ${count} PARENT_SCOPE)
    endif()
endfunction()

# The shipped endpoint, however it is spelled, needs an explicit floor.
expect("https://downloads.ardenwick.app" "" "is not loopback and needs an explicit")
expect("https://Downloads.Ardenwick.App/" "" "is not loopback and needs an explicit")
expect("https://downloads.ardenwick.app:443/base" "" "is not loopback and needs an explicit")
expect("https://downloads.ardenwick.app" "2.5.0" "floor 2.5.0")
expect("https://downloads.ardenwick.app" "10.0.12" "floor 10.0.12")
# So does every other endpoint that is not loopback: an alias, a staging host, the shipped host with a
# trailing dot, a loopback name that is only user information or a subdomain, another loopback spelling.
foreach(url "https://cdn.ardenwick.app" "https://staging.downloads.ardenwick.app/base"
            "https://downloads.ardenwick.app./" "https://downloads.ardenwick.app.:443"
            "http://127.0.0.1@downloads.ardenwick.app/s/current" "http://localhost:80@cdn.example.com"
            "http://127.0.0.1.nip.io:8080/s/current" "http://localhost./s/current" "http://[::1]:8080/s"
            "http://127.0.0.2/s/current" "http://localhost\\@cdn.example.com/s"
            "http://cdn.example.com\\@localhost/s" "ftp://127.0.0.1/s/current" "127.0.0.1/s/current")
    expect("${url}" "" "is not loopback and needs an explicit")
endforeach()
expect("https://cdn.ardenwick.app" "2.6.1" "floor 2.6.1")
# Loopback test and demo builds serve the stand-in installer: its version, unless one is named.
expect("http://127.0.0.1:40123/s/current" "" "floor 2.4.0")
expect("http://127.0.0.1" "" "floor 2.4.0")
expect("https://LOCALHOST:8443/s/demo" "" "floor 2.4.0")
expect("http://user@localhost/s/demo" "" "floor 2.4.0")
expect("http://127.0.0.1:40123/s/demo" "3.1.4" "floor 3.1.4")
# Only MAJOR.MINOR.PATCH version text.
foreach(bad "2.4" "2.4.0.1" "02.4.0" "2.4.0-rc1" "v2.4.0" "1234567890.0.0")
    expect("https://downloads.ardenwick.app" "${bad}" "is not MAJOR.MINOR.PATCH")
endforeach()

if(failures GREATER 0)
    message(FATAL_ERROR "${failures} case(s) failed")
endif()
