# Tests that photograph the screen must have it to themselves: another test's
# window on top would spoil the pixels. They are Wine tests like those of
# engine_win_test, run one at a time (RUN_SERIAL), in both locale passes.
function(splash_screen_test name)
    if(NOT ENGINE_WIN_TESTS OR NOT BUILD_TESTING)
        return()
    endif()
    engine_add_test_target(${name} ${ARGN})
    target_link_libraries(${name} PRIVATE ${ENGINE_SYSTEM_LIBS})
    gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 180
        TEST_FILTER "-*Japanese*"
        PROPERTIES LABELS wine TIMEOUT 300 RUN_SERIAL TRUE ENVIRONMENT "LANG=C.UTF-8;LC_ALL=C.UTF-8")
    gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 180
        TEST_FILTER "*Japanese*"
        PROPERTIES LABELS wine TIMEOUT 300 RUN_SERIAL TRUE ENVIRONMENT "LANG=ja_JP.UTF-8;LC_ALL=ja_JP.UTF-8")
endfunction()
