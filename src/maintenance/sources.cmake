target_sources(ardenwick_core PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/activation_state.cpp
    ${CMAKE_CURRENT_LIST_DIR}/json_number.cpp
    ${CMAKE_CURRENT_LIST_DIR}/json_string_field.cpp
    ${CMAKE_CURRENT_LIST_DIR}/maintenance_handoff.cpp
    ${CMAKE_CURRENT_LIST_DIR}/update_feed.cpp)
if(WIN32)
    target_sources(ardenwick_win32 PRIVATE
        ${CMAKE_CURRENT_LIST_DIR}/maintenance_checks.cpp
        ${CMAKE_CURRENT_LIST_DIR}/maintenance_run.cpp
        ${CMAKE_CURRENT_LIST_DIR}/staged_payload_check.cpp)
endif()
