# Helpers that every folder's CMakeLists.txt uses to declare its targets.
#
#   engine_core_library(name src...)     portable code, built in every tree
#   engine_shell_library(name src...)    Win32 code, Windows tree only
#   engine_resources(file.rc)            resource script of installer.exe
#   engine_host_test(name SOURCES .. LIBS ..)   GoogleTest, native trees
#   engine_win_test(name SOURCES .. LIBS .. [SERIAL] [TIMEOUT s])  GoogleTest, run under Wine
#   engine_fuzz_target(name SOURCES .. LIBS .. SEEDS dir..)
#   engine_benchmark(name SOURCES .. LIBS ..)
#   engine_tool(name SOURCES .. LIBS .. [GUI] [NO_DIST])  shipped programs

set(ENGINE_SOURCE_ROOT "${PROJECT_SOURCE_DIR}/src")

# Which artefacts this tree ships into dist/: the 32-bit Windows tree ships the
# Windows programs, the native release tree the Linux tools. The 64-bit Windows
# tree exists for the Wine tests and ships nothing.
if(WIN32 AND CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(ENGINE_SHIPS ON)
    set(ENGINE_WIN_TESTS OFF)
elseif(WIN32)
    set(ENGINE_SHIPS OFF)
    set(ENGINE_WIN_TESTS ON)
else()
    set(ENGINE_WIN_TESTS OFF)
    if(ENGINE_SANITIZE)
        set(ENGINE_SHIPS OFF)
    else()
        set(ENGINE_SHIPS ON)
    endif()
endif()

# The engine's own code: small, no exceptions, no RTTI, warnings are errors.
set(ENGINE_CODE_FLAGS -Wall -Wextra -Werror -fno-exceptions -fno-rtti)
if(WIN32)
    list(APPEND ENGINE_CODE_FLAGS -Oz -ffunction-sections
        -fno-threadsafe-statics -fno-asynchronous-unwind-tables)
endif()
# 32-bit: no frame pointer, a 4-byte stack alignment (all that Windows gives a
# 32-bit thread anyway), and arguments pushed rather than stored, which makes
# the engine about a ninth smaller. The compiler pushes only without stack
# probes, so a frame must stay below the 4 KiB guard page that grows the stack:
# every return address pushed then touches the page below the one before.
# The few sources with larger frames keep the probes (engine_large_frames),
# also those whose functions grow large only when the whole-program step
# inlines their callees into them; the test EveryLargeFrameProbesTheStack
# finds any frame that was missed.
set(ENGINE_FRAME_LIMIT 3584)
# Tables and texts keep the alignment the ABI asks for, not a cache line's.
# installer.exe is optimised as a whole at link time (ENGINE_WHOLE_PROGRAM_LINK):
# the objects carry the compiler's intermediate form beside their machine code
# ("fat"), which the other programs link as usual. The compiler driver runs the
# whole-program step itself, since the linker plugin of binutils 2.40 crashes
# on these objects; so what only the linker names (the entry point) and what
# the compiler calls on its own (the runtime routines) stay outside the step.
if(WIN32 AND CMAKE_SIZEOF_VOID_P EQUAL 4)
    list(APPEND ENGINE_CODE_FLAGS -fomit-frame-pointer -mpreferred-stack-boundary=2
        -mno-accumulate-outgoing-args -mno-stack-arg-probe -malign-data=abi -Wframe-larger-than=${ENGINE_FRAME_LIMIT}
        -flto -ffat-lto-objects)
    add_link_options(-fno-use-linker-plugin -fno-lto)
    set(ENGINE_WHOLE_PROGRAM_LINK -Oz -flto -flto-partition=one -fwhole-program)
endif()

if(ENGINE_SANITIZE AND NOT WIN32)
    add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer -g)
    add_link_options(-fsanitize=address,undefined)
endif()

# Fuzz targets steer by the coverage of the code they call, so in a fuzzing
# tree every library is built with libFuzzer's coverage instrumentation.
if(ENGINE_FUZZ AND NOT WIN32)
    add_compile_options(-fsanitize=fuzzer-no-link)
endif()

if(WIN32)
    set(ENGINE_WINEPREFIX "${CMAKE_BINARY_DIR}/wineprefix" CACHE PATH "Wine prefix of this tree's test runs")
    set(CMAKE_CROSSCOMPILING_EMULATOR "${PROJECT_SOURCE_DIR}/scripts/wine-run;${ENGINE_WINEPREFIX}")
    # Static runtime everywhere, so that every program runs on a bare system.
    add_link_options(-static -static-libgcc -static-libstdc++)
endif()

find_package(Threads REQUIRED)
if(BUILD_TESTING)
    if(WIN32)
        set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
        set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
        add_subdirectory(/usr/src/googletest "${CMAKE_BINARY_DIR}/googletest" EXCLUDE_FROM_ALL)
        set(ENGINE_GTEST_MAIN gtest_main)
    else()
        find_package(GTest REQUIRED)
        set(ENGINE_GTEST_MAIN GTest::gtest_main)
    endif()
    include(GoogleTest)
endif()

function(engine_core_library name)
    add_library(${name} OBJECT ${ARGN})
    target_include_directories(${name} PUBLIC "${ENGINE_SOURCE_ROOT}")
    target_compile_options(${name} PRIVATE ${ENGINE_CODE_FLAGS})
    set_property(GLOBAL APPEND PROPERTY ENGINE_CORE_LIBS ${name})
endfunction()

function(engine_shell_library name)
    if(NOT WIN32)
        return()
    endif()
    add_library(${name} OBJECT ${ARGN})
    # res/resource.h: the ids the resource scripts share with the shell.
    target_include_directories(${name} PUBLIC "${ENGINE_SOURCE_ROOT}" "${PROJECT_SOURCE_DIR}")
    target_compile_options(${name} PRIVATE ${ENGINE_CODE_FLAGS})
    target_compile_definitions(${name} PUBLIC WINVER=0x0400 _WIN32_WINNT=0x0400 _WIN32_IE=0x0400)
    set_property(GLOBAL APPEND PROPERTY ENGINE_SHELL_LIBS ${name})
endfunction()

# engine_large_frames(file...): sources of this folder with a function whose
# frame is larger than ENGINE_FRAME_LIMIT; they probe the stack page by page.
function(engine_large_frames)
    if(WIN32 AND CMAKE_SIZEOF_VOID_P EQUAL 4)
        set_property(SOURCE ${ARGN} APPEND PROPERTY COMPILE_OPTIONS
            -maccumulate-outgoing-args -mstack-arg-probe -Wno-frame-larger-than)
    endif()
endfunction()

function(engine_resources)
    foreach(rc IN LISTS ARGN)
        get_filename_component(abs "${rc}" ABSOLUTE)
        set_property(GLOBAL APPEND PROPERTY ENGINE_RESOURCE_FILES "${abs}")
    endforeach()
endfunction()

# Windows libraries every Win32 program of ours may use; all exist on the 9x family.
set(ENGINE_SYSTEM_LIBS user32 gdi32 advapi32 shell32 shlwapi ole32 uuid comctl32 comdlg32)

function(engine_add_test_target name)
    cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${T_SOURCES})
    target_include_directories(${name} PRIVATE "${ENGINE_SOURCE_ROOT}" "${PROJECT_SOURCE_DIR}")
    target_link_libraries(${name} PRIVATE ${T_LIBS} ${ENGINE_GTEST_MAIN})
    target_compile_definitions(${name} PRIVATE
        ENGINE_TESTDATA_DIR="${ENGINE_TESTDATA_DIR}"
        ENGINE_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
        ENGINE_BINARY_DIR="${CMAKE_BINARY_DIR}")
endfunction()

# PREFIX: put before the name of each test, for a second build of the same
# test source.
function(engine_host_test name)
    if(WIN32 OR NOT BUILD_TESTING)
        return()
    endif()
    cmake_parse_arguments(H "" "PREFIX" "" ${ARGN})
    engine_add_test_target(${name} ${H_UNPARSED_ARGUMENTS})
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 TEST_PREFIX "${H_PREFIX}" PROPERTIES LABELS host)
endfunction()

# SERIAL: the test reads pixels off the shared screen, so it runs alone.
# TIMEOUT: seconds per test (300 unless given), for runs of the emulated 32-bit files.
function(engine_win_test name)
    if(NOT ENGINE_WIN_TESTS OR NOT BUILD_TESTING)
        return()
    endif()
    cmake_parse_arguments(W "SERIAL" "TIMEOUT" "" ${ARGN})
    if(NOT W_TIMEOUT)
        set(W_TIMEOUT 300)
    endif()
    engine_add_test_target(${name} ${W_UNPARSED_ARGUMENTS})
    target_link_libraries(${name} PRIVATE ${ENGINE_SYSTEM_LIBS})
    set(serial FALSE)
    if(W_SERIAL)
        set(serial TRUE)
    endif()
    # Wine takes a process's code page from the Unix locale it starts in, and
    # a child inherits it: tests with "Japanese" in their name run in a second
    # pass under a Japanese locale, every other test in an English one.
    gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 180
        TEST_FILTER "-*Japanese*"
        PROPERTIES LABELS wine TIMEOUT ${W_TIMEOUT} RUN_SERIAL ${serial} ENVIRONMENT "LANG=C.UTF-8;LC_ALL=C.UTF-8")
    gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 180
        TEST_FILTER "*Japanese*"
        PROPERTIES LABELS wine TIMEOUT ${W_TIMEOUT} RUN_SERIAL ${serial} ENVIRONMENT "LANG=ja_JP.UTF-8;LC_ALL=ja_JP.UTF-8")
endfunction()

# A fuzz target gives two tests: every seed and kept crash input once, then a
# short fuzzing run from a copy of the seeds.
function(engine_fuzz_target name)
    if(NOT ENGINE_FUZZ OR WIN32)
        return()
    endif()
    cmake_parse_arguments(F "" "" "SOURCES;LIBS;SEEDS" ${ARGN})
    # The minimised corpus of the last fuzzing campaign runs as seeds too.
    if(IS_DIRECTORY "${PROJECT_SOURCE_DIR}/fuzz/corpus/${name}")
        list(APPEND F_SEEDS "${PROJECT_SOURCE_DIR}/fuzz/corpus/${name}")
    endif()
    add_executable(${name} ${F_SOURCES})
    target_include_directories(${name} PRIVATE "${ENGINE_SOURCE_ROOT}" "${PROJECT_SOURCE_DIR}")
    target_link_libraries(${name} PRIVATE ${F_LIBS})
    target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
    set(corpus "${CMAKE_CURRENT_BINARY_DIR}/${name}_corpus")
    add_test(NAME fuzz.${name}.seeds COMMAND ${name} -runs=0 ${F_SEEDS})
    add_test(NAME fuzz.${name}.run COMMAND ${CMAKE_COMMAND}
        -DFUZZER=$<TARGET_FILE:${name}> -DCORPUS=${corpus} "-DSEEDS=${F_SEEDS}"
        -DSECONDS=${ENGINE_FUZZ_SECONDS} -P "${PROJECT_SOURCE_DIR}/cmake/RunFuzzer.cmake")
    set_tests_properties(fuzz.${name}.seeds fuzz.${name}.run PROPERTIES LABELS fuzz)
endfunction()

function(engine_benchmark name)
    if(NOT ENGINE_BENCH OR WIN32)
        return()
    endif()
    cmake_parse_arguments(B "" "" "SOURCES;LIBS" ${ARGN})
    find_package(benchmark REQUIRED)
    add_executable(${name} ${B_SOURCES})
    target_include_directories(${name} PRIVATE "${ENGINE_SOURCE_ROOT}" "${PROJECT_SOURCE_DIR}")
    target_link_libraries(${name} PRIVATE ${B_LIBS} benchmark::benchmark)
endfunction()

function(engine_tool name)
    cmake_parse_arguments(P "GUI;NO_DIST" "" "SOURCES;LIBS" ${ARGN})
    if(P_GUI)
        if(NOT WIN32)
            return()
        endif()
        add_executable(${name} WIN32 ${P_SOURCES})
    else()
        add_executable(${name} ${P_SOURCES})
    endif()
    target_include_directories(${name} PRIVATE "${ENGINE_SOURCE_ROOT}" "${PROJECT_SOURCE_DIR}")
    target_link_libraries(${name} PRIVATE ${P_LIBS})
    if(WIN32)
        target_link_libraries(${name} PRIVATE ${ENGINE_SYSTEM_LIBS})
    endif()
    if(WIN32 AND ENGINE_SHIPS)
        target_link_options(${name} PRIVATE -s)
    endif()
    if(NOT P_NO_DIST AND ENGINE_SHIPS)
        add_custom_command(TARGET ${name} POST_BUILD
            COMMAND ${CMAKE_COMMAND} -E make_directory "${ENGINE_DIST_DIR}"
            COMMAND ${CMAKE_COMMAND} -E copy "$<TARGET_FILE:${name}>" "${ENGINE_DIST_DIR}/")
    endif()
endfunction()

# The shipped Windows programs link no C runtime: Windows 95 as first shipped
# has no msvcrt.dll. runtime_shell supplies their entry point and the few
# memory and string routines the compiler calls; libgcc its arithmetic and
# stack probes.
function(engine_link_freestanding target)
    if(CMAKE_SIZEOF_VOID_P EQUAL 4)
        set(entry _ProcessEntry)
    else()
        set(entry ProcessEntry)
    endif()
    target_sources(${target} PRIVATE $<TARGET_OBJECTS:runtime_shell>)
    target_link_options(${target} PRIVATE -nostdlib -nostartfiles "-Wl,--entry=${entry}")
    target_link_libraries(${target} PRIVATE kernel32 gcc)
endfunction()

# installer.exe: every core and shell object, the resources, nothing else.
function(engine_link_installer)
    if(NOT WIN32)
        return()
    endif()
    get_property(core GLOBAL PROPERTY ENGINE_CORE_LIBS)
    get_property(shell GLOBAL PROPERTY ENGINE_SHELL_LIBS)
    get_property(rc GLOBAL PROPERTY ENGINE_RESOURCE_FILES)
    add_executable(installer WIN32 ${rc})
    target_link_libraries(installer PRIVATE ${core} ${shell} ${ENGINE_SYSTEM_LIBS})
    target_link_options(installer PRIVATE -s -Wl,--gc-sections ${ENGINE_WHOLE_PROGRAM_LINK})
    engine_link_freestanding(installer)
    add_custom_command(TARGET installer POST_BUILD
        COMMAND ${CMAKE_COMMAND} -DFILE=$<TARGET_FILE:installer> -P "${PROJECT_SOURCE_DIR}/cmake/PrintSize.cmake")
    if(ENGINE_SHIPS)
        add_custom_command(TARGET installer POST_BUILD
            COMMAND ${CMAKE_COMMAND} -E make_directory "${ENGINE_DIST_DIR}"
            COMMAND ${CMAKE_COMMAND} -E copy "$<TARGET_FILE:installer>" "${ENGINE_DIST_DIR}/installer.exe")
    endif()
endfunction()
