if(WIN32)
    target_sources(ardenwick_win32 PRIVATE
        ${CMAKE_CURRENT_LIST_DIR}/text_conversion.cpp)
endif()
target_sources(ardenwick_core PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/signature_identity.cpp)
if(WIN32)
    target_sources(ardenwick_win32 PRIVATE
        ${CMAKE_CURRENT_LIST_DIR}/installer_metadata.cpp
        ${CMAKE_CURRENT_LIST_DIR}/signature_verification.cpp
        ${CMAKE_CURRENT_LIST_DIR}/version_resource.cpp)
endif()
