# Ardenwick-Setup.exe runs from a browser's Downloads folder, where any earlier download may have left a
# DLL. Windows looks for a program's imports in the program's own folder first, except for KnownDLLs.
#
#   ardenwick_harden_executable(<target>)
#       links <target> so that it names only KnownDLLs in its import table and delay-loads every other
#       system DLL from System32 (src/app/delay_load_helper.cpp), enters through src/app/process_entry.cpp
#       before the C runtime, carries a load configuration with DependentLoadFlags = System32 only, is
#       terminal-server aware, declares Windows 10 (OS and subsystem version 10.0, so older Windows
#       refuses to start it rather than failing on a missing entry point) and has no link time stamp
#       (the same source gives the same bytes).
#
# The system DLLs the program uses that are not KnownDLLs. Each is delay-loaded through a delay-import
# library that dlltool makes from mingw-w64's import library (cmake/delay_import_library.py).
set(ARDENWICK_DELAY_LOADED_DLLS winhttp wintrust crypt32 bcrypt version comctl32 dwmapi uxtheme)

if(WIN32)
    find_program(ARDENWICK_MINGW_NM x86_64-w64-mingw32-nm REQUIRED)
    find_program(ARDENWICK_MINGW_DLLTOOL x86_64-w64-mingw32-dlltool REQUIRED)
    find_package(Python3 COMPONENTS Interpreter REQUIRED)

    set(ardenwick_delay_lib_dir ${CMAKE_BINARY_DIR}/delay-import)
    set(ardenwick_delay_libs)
    foreach(dll IN LISTS ARDENWICK_DELAY_LOADED_DLLS)
        find_library(ARDENWICK_IMPORT_LIB_${dll} NAMES ${dll} REQUIRED)
        set(output ${ardenwick_delay_lib_dir}/lib${dll}_delay.a)
        add_custom_command(OUTPUT ${output}
            COMMAND ${CMAKE_COMMAND} -E make_directory ${ardenwick_delay_lib_dir}
            COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/cmake/delay_import_library.py
                --nm ${ARDENWICK_MINGW_NM} --dlltool ${ARDENWICK_MINGW_DLLTOOL}
                --import-lib ${ARDENWICK_IMPORT_LIB_${dll}} --dll ${dll}.dll --output ${output}
            DEPENDS ${CMAKE_SOURCE_DIR}/cmake/delay_import_library.py ${ARDENWICK_IMPORT_LIB_${dll}}
            COMMENT "Delay-import library for ${dll}.dll"
            VERBATIM)
        list(APPEND ardenwick_delay_libs ${output})
    endforeach()
    add_custom_target(ardenwick_delay_import_libraries DEPENDS ${ardenwick_delay_libs})

    # What ardenwick_win32 links for these DLLs: the ordinary import libraries, or for a target whose
    # ARDENWICK_DELAY_LOAD property is set, the delay-import ones.
    add_library(ardenwick_delay_loadable_imports INTERFACE)
    target_link_libraries(ardenwick_delay_loadable_imports INTERFACE
        "$<IF:$<BOOL:$<TARGET_PROPERTY:ARDENWICK_DELAY_LOAD>>,${ardenwick_delay_libs},${ARDENWICK_DELAY_LOADED_DLLS}>")

    set(ardenwick_pe_directories_script ${CMAKE_SOURCE_DIR}/cmake/pe_data_directories.py)

    function(ardenwick_harden_executable target)
        set_target_properties(${target} PROPERTIES ARDENWICK_DELAY_LOAD ON LINK_DEPENDS "${ardenwick_delay_libs}")
        add_dependencies(${target} ardenwick_delay_import_libraries)
        target_sources(${target} PRIVATE
            ${CMAKE_SOURCE_DIR}/src/app/process_entry.cpp
            ${CMAKE_SOURCE_DIR}/src/app/delay_load_helper.cpp
            ${CMAKE_SOURCE_DIR}/src/app/load_config.cpp)
        set(map ${CMAKE_CURRENT_BINARY_DIR}/${target}.map)
        target_link_options(${target} PRIVATE
            -Wl,--entry=ardenwickProcessEntry
            -Wl,--undefined=_load_config_used
            -Wl,--undefined=ardenwickDelayImportEnd
            -Wl,--tsaware
            -Wl,--major-os-version=10 -Wl,--minor-os-version=0
            -Wl,--major-subsystem-version=10 -Wl,--minor-subsystem-version=0
            -Wl,--no-insert-timestamp
            -Wl,-Map=${map})
        # GNU ld 2.40 fills neither the load-config nor the delay-import entry of the data directory:
        # point them at _load_config_used and the delay-import descriptors, read from the linker map.
        add_custom_command(TARGET ${target} POST_BUILD
            COMMAND ${Python3_EXECUTABLE} ${ardenwick_pe_directories_script} --map ${map}
                $<TARGET_FILE:${target}>
            COMMENT "Setting the load-config and delay-import directories of ${target}"
            VERBATIM)
    endfunction()
endif()
