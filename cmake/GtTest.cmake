# gt_test(<name> SOURCES <files...> DEPS <libraries...>)
# One GoogleTest executable from an explicit list of sources. It links the
# given libraries (the layer it tests) and the test support only, so a test
# that reaches into a higher layer fails to link.
function(gt_test name)
    cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_DEPS} test_support GTest::gtest GTest::gtest_main GTest::gmock)
    gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
        PROPERTIES ENVIRONMENT "TZ=UTC-8;GT_SOURCE_DIR=${PROJECT_SOURCE_DIR}")
endfunction()
