# setup_stub_program(NAME CARRIED_FILE CARRIED_TARGET [DIST])
# Links a setup stub that carries CARRIED_FILE, made by target CARRIED_TARGET,
# as its engine resource, and the engine's icon as its own (mkpackage may
# replace it). setup-stub.exe carries installer.exe; tests build
# variants that carry a probe instead. DIST copies the result to dist/ in the
# tree that ships the Windows programs.
function(setup_stub_program name carried_file carried_target)
    cmake_parse_arguments(S "DIST" "" "" ${ARGN})
    set(rc "${CMAKE_CURRENT_BINARY_DIR}/${name}_engine.rc")
    set(res "${CMAKE_CURRENT_BINARY_DIR}/${name}_engine.res.o")
    file(GENERATE OUTPUT "${rc}" CONTENT
        "#include \"tools/setup-stub/stub_resources.h\"\nSTUB_ENGINE_RESOURCE RCDATA \"${carried_file}\"\nSTUB_ICON_RESOURCE ICON \"res/instlang.ico\"\n")
    add_custom_command(OUTPUT "${res}"
        COMMAND ${CMAKE_RC_COMPILER} -I "${PROJECT_SOURCE_DIR}" -O coff -i "${rc}" -o "${res}"
        DEPENDS "${rc}" ${carried_target} "${carried_file}" "${PROJECT_SOURCE_DIR}/tools/setup-stub/stub_resources.h"
            "${PROJECT_SOURCE_DIR}/res/instlang.ico"
        VERBATIM)
    add_executable(${name} WIN32 "${res}" $<TARGET_OBJECTS:setup_stub_code>)
    target_link_libraries(${name} PRIVATE package_core package_shell setup_core system_shell system_core text_core text_shell runtime_core ${ENGINE_SYSTEM_LIBS})
    target_link_options(${name} PRIVATE -s -Wl,--gc-sections -Os)
    engine_link_freestanding(${name})
    if(S_DIST AND ENGINE_SHIPS)
        add_custom_command(TARGET ${name} POST_BUILD
            COMMAND ${CMAKE_COMMAND} -E make_directory "${ENGINE_DIST_DIR}"
            COMMAND ${CMAKE_COMMAND} -E copy "$<TARGET_FILE:${name}>" "${ENGINE_DIST_DIR}/")
    endif()
endfunction()
