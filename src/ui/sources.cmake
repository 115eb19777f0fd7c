target_sources(ardenwick_core PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/control_layout.cpp
    ${CMAKE_CURRENT_LIST_DIR}/focus_target.cpp
    ${CMAKE_CURRENT_LIST_DIR}/installation_presentation.cpp
    ${CMAKE_CURRENT_LIST_DIR}/localized_strings.cpp
    ${CMAKE_CURRENT_LIST_DIR}/taskbar_state.cpp
    ${CMAKE_CURRENT_LIST_DIR}/theme_colors.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ui_language.cpp)
if(WIN32)
    target_sources(ardenwick_win32 PRIVATE
        ${CMAKE_CURRENT_LIST_DIR}/button_painter.cpp
        ${CMAKE_CURRENT_LIST_DIR}/display_dpi.cpp
        ${CMAKE_CURRENT_LIST_DIR}/find_window_of_process.cpp
        ${CMAKE_CURRENT_LIST_DIR}/installation_view.cpp
        ${CMAKE_CURRENT_LIST_DIR}/installation_view_controls.cpp
        ${CMAKE_CURRENT_LIST_DIR}/installation_view_painting.cpp
        ${CMAKE_CURRENT_LIST_DIR}/instance_window.cpp
        ${CMAKE_CURRENT_LIST_DIR}/live_region.cpp
        ${CMAKE_CURRENT_LIST_DIR}/progress_bar_painter.cpp
        ${CMAKE_CURRENT_LIST_DIR}/run_installation_window.cpp
        ${CMAKE_CURRENT_LIST_DIR}/taskbar_progress.cpp
        ${CMAKE_CURRENT_LIST_DIR}/ui_language_win32.cpp
        ${CMAKE_CURRENT_LIST_DIR}/window_theme.cpp)
    # The resource script embeds the font; rebuild it when the font changes.
    set_property(SOURCE ${CMAKE_CURRENT_LIST_DIR}/../resources/ardenwick_setup.rc APPEND PROPERTY OBJECT_DEPENDS
        ${CMAKE_CURRENT_LIST_DIR}/../resources/outfit/Outfit-Medium.ttf)
endif()
