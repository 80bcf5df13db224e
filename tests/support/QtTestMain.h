// The main function of a Qt test program of the desktop client:
//   - a private home made before anything computes a path: the shared data
//     folder (GT_COMMON_APPDATA), the per-user settings (XDG_CONFIG_HOME) and
//     our service registry (GT_SERVICE_REGISTRY) lie in a fresh temporary
//     folder, removed when the program ends;
//   - the offscreen platform's "propagateSizeHints" notice is dropped;
//   - a QApplication, then the test object through QTest::qExec.
//
//     GT_QT_TEST_MAIN(MainWindowTest)
#pragma once

#include <stdlib.h>

#include <QApplication>
#include <QtTest>
#include <clocale>

#include "support/TempDir.h"

namespace gt {
namespace test {

class QtTestHome {
public:
    QtTestHome() {
        ::setenv("GT_COMMON_APPDATA", m_dir.path("appdata").c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", m_dir.path("config").c_str(), 1);
        ::setenv("GT_SERVICE_REGISTRY", m_dir.path("services").c_str(), 1);
    }
    TempDir const& dir() const { return m_dir; }

private:
    TempDir m_dir;
};

inline QtMessageHandler& previousQtHandler() {
    static QtMessageHandler handler = nullptr;
    return handler;
}

inline void filterQtMessages(QtMsgType type, QMessageLogContext const& context, QString const& message) {
    if (message.contains(QLatin1String("propagateSizeHints"))) return;
    if (previousQtHandler()) previousQtHandler()(type, context, message);
}

}  // namespace test
}  // namespace gt

#define GT_QT_TEST_MAIN(TestObject)                                                          \
    int main(int argc, char** argv) {                                                        \
        ::gt::test::QtTestHome home;                                                         \
        ::gt::test::previousQtHandler() = qInstallMessageHandler(::gt::test::filterQtMessages); \
        QApplication app(argc, argv);                                                        \
        std::setlocale(LC_NUMERIC, "C");                                                     \
        TestObject test;                                                                     \
        return QTest::qExec(&test, argc, argv);                                              \
    }
