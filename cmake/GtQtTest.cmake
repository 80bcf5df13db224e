# gt_qt_test(<name> [XVFB] SOURCES <files...> DEPS <libraries...>)
# One Qt Test executable (one test object, one window or dialog) from an
# explicit list of sources, run as one CTest case without a display: the
# offscreen platform, a private 0700 runtime folder, short crash output and
# the time zone of the other tests. In the sanitizer build LeakSanitizer
# skips the leaks that Qt's font and bus libraries keep for the life of the
# process (tests/support/qt_lsan.supp, matched by library name). With XVFB
# the program runs under a private virtual X server on the xcb platform
# instead (tests/helpers/xvfb_run.py).
set(GT_QT_RUNTIME_DIR ${PROJECT_BINARY_DIR}/qt-runtime)
file(MAKE_DIRECTORY ${GT_QT_RUNTIME_DIR})
file(CHMOD ${GT_QT_RUNTIME_DIR} PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)
set(GT_QT_LSAN_SUPPRESSIONS ${PROJECT_SOURCE_DIR}/tests/support/qt_lsan.supp)

function(gt_qt_test name)
    cmake_parse_arguments(ARG "XVFB" "" "SOURCES;DEPS" ${ARGN})
    # The support header is listed so that AUTOMOC sees its QObject classes.
    add_executable(${name} ${ARG_SOURCES} ${PROJECT_SOURCE_DIR}/tests/support/GuiTest.h)
    set_target_properties(${name} PROPERTIES AUTOMOC ON)
    target_link_libraries(${name} PRIVATE ${ARG_DEPS} test_support Qt6::Test)
    if(ARG_XVFB)
        find_package(Python3 REQUIRED COMPONENTS Interpreter)
        add_test(NAME ${name} COMMAND ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/tests/helpers/xvfb_run.py
                 $<TARGET_FILE:${name}>)
        set(platform "")
    else()
        add_test(NAME ${name} COMMAND ${name})
        set(platform "QT_QPA_PLATFORM=offscreen;")
    endif()
    set_tests_properties(${name} PROPERTIES
        RESOURCE_LOCK ${GT_BUILTIN_CLOUD_LOCK}
        TIMEOUT 120
        ENVIRONMENT "TZ=UTC-8;GT_SOURCE_DIR=${PROJECT_SOURCE_DIR};${platform}XDG_RUNTIME_DIR=${GT_QT_RUNTIME_DIR};QTEST_DISABLE_STACK_DUMP=1;LSAN_OPTIONS=suppressions=${GT_QT_LSAN_SUPPRESSIONS}")
endfunction()
