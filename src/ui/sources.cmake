target_sources(ardenwick_core PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/control_layout.cpp
    ${CMAKE_CURRENT_LIST_DIR}/installation_presentation.cpp
    ${CMAKE_CURRENT_LIST_DIR}/localized_strings.cpp
    ${CMAKE_CURRENT_LIST_DIR}/theme_colors.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ui_language.cpp)
if(WIN32)
    target_sources(ardenwick_win32 PRIVATE
        ${CMAKE_CURRENT_LIST_DIR}/ui_language_win32.cpp)
endif()
