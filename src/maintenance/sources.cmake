target_sources(ardenwick_core PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/activation_state.cpp
    ${CMAKE_CURRENT_LIST_DIR}/expected_file_version.cpp
    ${CMAKE_CURRENT_LIST_DIR}/json_string_field.cpp
    ${CMAKE_CURRENT_LIST_DIR}/semantic_version.cpp
    ${CMAKE_CURRENT_LIST_DIR}/update_feed.cpp)
if(WIN32)
    target_sources(ardenwick_win32 PRIVATE
        ${CMAKE_CURRENT_LIST_DIR}/maintenance_checks.cpp)
    # The staged-package check hashes with sha256FileHex, which lands with the download code.
    if(EXISTS ${CMAKE_CURRENT_LIST_DIR}/../download/file_hash.h)
        target_sources(ardenwick_win32 PRIVATE ${CMAKE_CURRENT_LIST_DIR}/staged_payload_check.cpp)
    endif()
endif()
