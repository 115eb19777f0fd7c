target_sources(ardenwick_core PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/content_range.cpp
    ${CMAKE_CURRENT_LIST_DIR}/download_resume_state.cpp
    ${CMAKE_CURRENT_LIST_DIR}/download_retry.cpp
    ${CMAKE_CURRENT_LIST_DIR}/entity_tag.cpp
    ${CMAKE_CURRENT_LIST_DIR}/expected_file_version.cpp
    ${CMAKE_CURRENT_LIST_DIR}/failure_diagnostics.cpp
    ${CMAKE_CURRENT_LIST_DIR}/http_url_rules.cpp
    ${CMAKE_CURRENT_LIST_DIR}/installer_version_floor.cpp
    ${CMAKE_CURRENT_LIST_DIR}/signature_identity.cpp)
if(WIN32)
    target_sources(ardenwick_win32 PRIVATE
        ${CMAKE_CURRENT_LIST_DIR}/file_hash.cpp
        ${CMAKE_CURRENT_LIST_DIR}/http_client.cpp
        ${CMAKE_CURRENT_LIST_DIR}/http_response.cpp
        ${CMAKE_CURRENT_LIST_DIR}/installer_download.cpp
        ${CMAKE_CURRENT_LIST_DIR}/installer_metadata.cpp
        ${CMAKE_CURRENT_LIST_DIR}/signature_verification.cpp
        ${CMAKE_CURRENT_LIST_DIR}/version_resource.cpp
        ${CMAKE_CURRENT_LIST_DIR}/versioned_executable.cpp)
endif()
