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
expect("https://downloads.ardenwick.app" "" "needs an explicit")
expect("https://Downloads.Ardenwick.App/" "" "needs an explicit")
expect("https://downloads.ardenwick.app:443/base" "" "needs an explicit")
expect("https://downloads.ardenwick.app" "2.5.0" "floor 2.5.0")
expect("https://downloads.ardenwick.app" "10.0.12" "floor 10.0.12")
# Test and demo builds serve the stand-in installer: its version, unless one is named.
expect("http://127.0.0.1:40123/s/current" "" "floor 2.4.0")
expect("http://127.0.0.1:40123/s/demo" "3.1.4" "floor 3.1.4")
# Only MAJOR.MINOR.PATCH version text.
foreach(bad "2.4" "2.4.0.1" "02.4.0" "2.4.0-rc1" "v2.4.0" "1234567890.0.0")
    expect("https://downloads.ardenwick.app" "${bad}" "is not MAJOR.MINOR.PATCH")
endforeach()

if(failures GREATER 0)
    message(FATAL_ERROR "${failures} case(s) failed")
endif()
