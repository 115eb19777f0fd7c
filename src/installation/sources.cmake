target_sources(ardenwick_core PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/attempt_failure.cpp
    ${CMAKE_CURRENT_LIST_DIR}/attempt_identifier.cpp
    ${CMAKE_CURRENT_LIST_DIR}/failure_record.cpp
    ${CMAKE_CURRENT_LIST_DIR}/installer_outcome.cpp
    ${CMAKE_CURRENT_LIST_DIR}/installer_records.cpp
    ${CMAKE_CURRENT_LIST_DIR}/processor_architecture.cpp)
if(WIN32)
    target_sources(ardenwick_win32 PRIVATE
        ${CMAKE_CURRENT_LIST_DIR}/dead_attempt_folders.cpp
        ${CMAKE_CURRENT_LIST_DIR}/failure_record_file.cpp
        ${CMAKE_CURRENT_LIST_DIR}/identifier.cpp
        ${CMAKE_CURRENT_LIST_DIR}/install_location.cpp
        ${CMAKE_CURRENT_LIST_DIR}/installation_attempt.cpp
        ${CMAKE_CURRENT_LIST_DIR}/installed_state.cpp
        ${CMAKE_CURRENT_LIST_DIR}/installer_process.cpp
        ${CMAKE_CURRENT_LIST_DIR}/installer_records_file.cpp
        ${CMAKE_CURRENT_LIST_DIR}/native_machine.cpp
        ${CMAKE_CURRENT_LIST_DIR}/online_installation_service.cpp
        ${CMAKE_CURRENT_LIST_DIR}/result_record_file.cpp
        ${CMAKE_CURRENT_LIST_DIR}/saved_failure.cpp
        ${CMAKE_CURRENT_LIST_DIR}/state_directory.cpp)
endif()
