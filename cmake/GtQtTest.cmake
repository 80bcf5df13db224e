# gt_qt_test(<name> SOURCES <files...> DEPS <libraries...>)
# One Qt Test executable (one test object, one window or dialog) from an
# explicit list of sources, run as one CTest case without a display: the
# offscreen platform, a private 0700 runtime folder, short crash output and
# the time zone of the other tests. In the sanitizer build LeakSanitizer
# skips the leaks that Qt's font and bus libraries keep for the life of the
# process (tests/support/qt_lsan.supp, matched by library name).
set(GT_QT_RUNTIME_DIR ${PROJECT_BINARY_DIR}/qt-runtime)
file(MAKE_DIRECTORY ${GT_QT_RUNTIME_DIR})
file(CHMOD ${GT_QT_RUNTIME_DIR} PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)
set(GT_QT_LSAN_SUPPRESSIONS ${PROJECT_SOURCE_DIR}/tests/support/qt_lsan.supp)

function(gt_qt_test name)
    cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
    # The support header is listed so that AUTOMOC sees its QObject classes.
    add_executable(${name} ${ARG_SOURCES} ${PROJECT_SOURCE_DIR}/tests/support/GuiTest.h)
    set_target_properties(${name} PROPERTIES AUTOMOC ON)
    target_link_libraries(${name} PRIVATE ${ARG_DEPS} test_support Qt6::Test)
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES
        TIMEOUT 120
        ENVIRONMENT "TZ=UTC-8;GT_SOURCE_DIR=${PROJECT_SOURCE_DIR};QT_QPA_PLATFORM=offscreen;XDG_RUNTIME_DIR=${GT_QT_RUNTIME_DIR};QTEST_DISABLE_STACK_DUMP=1;LSAN_OPTIONS=suppressions=${GT_QT_LSAN_SUPPRESSIONS}")
endfunction()
