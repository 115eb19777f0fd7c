# The lowest layer: the path type, the file layer, text conversion and the shared error types. The
# file layer has one implementation for Windows and one for the native build of the portable core.
target_sources(ardenwick_common PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/absolute_path.cpp
    ${CMAKE_CURRENT_LIST_DIR}/semantic_version.cpp
    ${CMAKE_CURRENT_LIST_DIR}/sharing_retry.cpp
    ${CMAKE_CURRENT_LIST_DIR}/version_text.cpp
    ${CMAKE_CURRENT_LIST_DIR}/wide_path.cpp)
if(WIN32)
    target_sources(ardenwick_common PRIVATE
        ${CMAKE_CURRENT_LIST_DIR}/file_identity.cpp
        ${CMAKE_CURRENT_LIST_DIR}/text_conversion.cpp
        ${CMAKE_CURRENT_LIST_DIR}/win32_file.cpp)
else()
    target_sources(ardenwick_common PRIVATE ${CMAKE_CURRENT_LIST_DIR}/file_system_posix.cpp)
endif()
