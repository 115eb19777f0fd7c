# ardenwick_add_test(<name> SUBSYSTEM <subsystem> [E2E] SOURCES <files...> [LIBRARIES <targets...>]
#                    [RESOURCE_LOCK <names...>] [TIMEOUT <seconds>] [SHARDS <count>] [COST <seconds>])
#
# One GoogleTest executable is one ctest test. It carries a label for where it runs (native, wine, e2e)
# and one for its subsystem, and writes its results as JSON so scripts/check-skips can account for
# every skipped test.
# SHARDS splits a long program into that many ctest tests, <name>-1 to <name>-<count>, each running its
# share of the cases (GoogleTest's own sharding), so that the shards can run side by side and no single
# test runs for minutes. Together they run every case exactly once.
# COST is about how long the whole program runs; ctest starts the costliest tests first (shared among the
# shards), so a long one does not start last and keep the others' lanes waiting at the end of a run.
set(ARDENWICK_TEST_RESULTS ${CMAKE_BINARY_DIR}/test-results)
file(MAKE_DIRECTORY ${ARDENWICK_TEST_RESULTS})

# The common part of both: builds the executable and registers it, run through LAUNCHER (a wrapper
# command that prepares the test's world and ends with "--") when there is one.
if(WIN32)
    add_library(ardenwick_test_profile OBJECT ${PROJECT_SOURCE_DIR}/tests/windows/support/test_profile.cpp)
    target_include_directories(ardenwick_test_profile PRIVATE ${PROJECT_SOURCE_DIR}/tests/windows
        ${PROJECT_SOURCE_DIR}/src ${PROJECT_BINARY_DIR}/src/generated)
    target_link_libraries(ardenwick_test_profile PRIVATE GTest::gtest ardenwick_warnings)
endif()

function(ardenwick_add_gtest name)
    cmake_parse_arguments(arg "E2E" "SUBSYSTEM;TIMEOUT;SHARDS;COST" "SOURCES;LIBRARIES;RESOURCE_LOCK;LAUNCHER"
        ${ARGN})
    add_executable(${name} ${arg_SOURCES})
    target_link_libraries(${name} PRIVATE ${arg_LIBRARIES} GTest::gtest GTest::gtest_main ardenwick_warnings)
    if(WIN32)
        # Every Windows test program runs on a throw-away user profile of its own (support/test_profile.h).
        target_sources(${name} PRIVATE $<TARGET_OBJECTS:ardenwick_test_profile>)
    endif()
    if(arg_E2E)
        set(where e2e)
    elseif(WIN32)
        set(where wine)
    else()
        set(where native)
    endif()
    if(NOT arg_TIMEOUT)
        set(arg_TIMEOUT 300)
    endif()
    if(NOT arg_SHARDS)
        set(arg_SHARDS 1)
    endif()
    foreach(shard RANGE 1 ${arg_SHARDS})
        if(arg_SHARDS EQUAL 1)
            set(test_name ${name})
        else()
            set(test_name ${name}-${shard})
        endif()
        # Wine maps Z: to the Unix root; a bare Unix path is not understood by the test program.
        if(WIN32)
            set(results_path "Z:${ARDENWICK_TEST_RESULTS}/${test_name}.json")
        else()
            set(results_path "${ARDENWICK_TEST_RESULTS}/${test_name}.json")
        endif()
        if(arg_LAUNCHER)
            # ctest puts the emulator in front of a bare target name only, so a wrapped test names it itself.
            add_test(NAME ${test_name} COMMAND ${arg_LAUNCHER} ${CMAKE_CROSSCOMPILING_EMULATOR}
                $<TARGET_FILE:${name}> --gtest_output=json:${results_path})
        else()
            add_test(NAME ${test_name} COMMAND ${name} --gtest_output=json:${results_path})
        endif()
        set_tests_properties(${test_name} PROPERTIES LABELS "${where};${arg_SUBSYSTEM}" TIMEOUT ${arg_TIMEOUT})
        if(arg_COST)
            math(EXPR shard_cost "${arg_COST} / ${arg_SHARDS}")
            set_tests_properties(${test_name} PROPERTIES COST ${shard_cost})
        endif()
        if(NOT arg_SHARDS EQUAL 1)
            math(EXPR shard_index "${shard} - 1")
            set_tests_properties(${test_name} PROPERTIES
                ENVIRONMENT "GTEST_TOTAL_SHARDS=${arg_SHARDS};GTEST_SHARD_INDEX=${shard_index}")
        endif()
        if(arg_RESOURCE_LOCK)
            # Tests that hold a machine-wide resource of the Wine prefix (a named mutex, the desktop, a
            # port) run one at a time. The program's per-user state is not one: each test program has a
            # profile of its own (tests/windows/support/test_profile.h).
            set_tests_properties(${test_name} PROPERTIES RESOURCE_LOCK "${arg_RESOURCE_LOCK}")
        endif()
    endforeach()
endfunction()

function(ardenwick_add_test name)
    ardenwick_add_gtest(${name} ${ARGN})
endfunction()

# ardenwick_add_server_test(<name> SUBSYSTEM <subsystem> [E2E] SCENARIOS <json files...> SOURCES <files...>
#                           [FILES <dir>] [PORT <port>] [LIBRARIES <targets...>] [TIMEOUT <seconds>])
#
# Like ardenwick_add_test, for tests that talk to the loopback release server: tools/release-server/
# with-server starts it on a free port with the given scenario files, passes its URL and request log to
# the test through the environment, and stops it when the test ends.
find_package(Python3 COMPONENTS Interpreter REQUIRED)
function(ardenwick_add_server_test name)
    cmake_parse_arguments(arg "E2E" "SUBSYSTEM;TIMEOUT;FILES;PORT;SHARDS;COST"
        "SOURCES;LIBRARIES;SCENARIOS;RESOURCE_LOCK" ${ARGN})
    set(launcher ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tools/release-server/with-server)
    foreach(scenarios IN LISTS arg_SCENARIOS)
        list(APPEND launcher --scenarios ${scenarios})
    endforeach()
    if(arg_FILES)
        list(APPEND launcher --files ${arg_FILES})
    endif()
    if(arg_PORT)
        list(APPEND launcher --port ${arg_PORT})
    endif()
    set(e2e)
    if(arg_E2E)
        set(e2e E2E)
    endif()
    ardenwick_add_gtest(${name} ${e2e} SUBSYSTEM ${arg_SUBSYSTEM} TIMEOUT "${arg_TIMEOUT}" SHARDS "${arg_SHARDS}"
        COST "${arg_COST}" SOURCES ${arg_SOURCES} LIBRARIES ${arg_LIBRARIES} RESOURCE_LOCK ${arg_RESOURCE_LOCK} LAUNCHER ${launcher} --)
endfunction()
