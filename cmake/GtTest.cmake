# gt_test(<name> SOURCES <files...> DEPS <libraries...>)
# One GoogleTest executable from an explicit list of sources. It links the
# given libraries (the layer it tests) and the test support only, so a test
# that reaches into a higher layer fails to link.
# Tests that start QvrSvr, or a cloud double on the port built into it, hold
# this CTest resource lock, so that no two of them meet on that port.
set(GT_BUILTIN_CLOUD_LOCK builtin_cloud_port)

function(gt_test name)
    cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_DEPS} test_support GTest::gtest GTest::gtest_main GTest::gmock)
    # The desktop client's tests may run the real QvrSvr, which always calls
    # the cloud port built into it: they take turns with every other test
    # that does (GT_BUILTIN_CLOUD_LOCK).
    set(lock "")
    if(name MATCHES "^app_")
        set(lock RESOURCE_LOCK ${GT_BUILTIN_CLOUD_LOCK})
    endif()
    gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
        PROPERTIES ENVIRONMENT "TZ=UTC-8;GT_SOURCE_DIR=${PROJECT_SOURCE_DIR}" ${lock})
endfunction()
