target_sources(ardenwick_core PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/command_line.cpp
    ${CMAKE_CURRENT_LIST_DIR}/instance_key.cpp)
if(WIN32)
    target_sources(ardenwick_win32 PRIVATE
        ${CMAKE_CURRENT_LIST_DIR}/entry_point.cpp
        ${CMAKE_CURRENT_LIST_DIR}/instance_activation.cpp
        ${CMAKE_CURRENT_LIST_DIR}/user_sid.cpp)
endif()
