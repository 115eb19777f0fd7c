target_sources(ardenwick_core PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/launch_result.cpp
    ${CMAKE_CURRENT_LIST_DIR}/run_state.cpp)
if(WIN32)
    target_sources(ardenwick_win32 PRIVATE
        ${CMAKE_CURRENT_LIST_DIR}/application_launch.cpp
        ${CMAKE_CURRENT_LIST_DIR}/application_probe.cpp
        ${CMAKE_CURRENT_LIST_DIR}/launcher_start.cpp)
endif()
