#include "app/util/QuitSignals.h"

#include <signal.h>

#include <QCoreApplication>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

using tunnel::QuitSignals;

// Runs the application's loop with the signal raised once it runs: 0 when
// the signal quit it, 1 when only the guard (long past any prompt quit)
// ended it.
int runUntilQuit(int signal) {
    int argc = 1;
    char name[] = "quit_signals_test";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    QuitSignals quit;
    EXPECT_TRUE(quit.isInstalled());
    QTimer::singleShot(0, [signal] { ::raise(signal); });
    QTimer::singleShot(30000, [] { QCoreApplication::exit(1); });
    return app.exec();
}

TEST(QuitSignals, EachSignalQuitsTheLoop) {
    for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(signal);
        EXPECT_EQ(runUntilQuit(signal), 0);
    }
}

TEST(QuitSignals, OnlyOneInstanceHandlesTheSignals) {
    int argc = 1;
    char name[] = "quit_signals_test";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    {
        QuitSignals first;
        QuitSignals second;
        EXPECT_TRUE(first.isInstalled());
        EXPECT_FALSE(second.isInstalled());
    }
    // The first one gave the signals back: a new one takes them again.
    QuitSignals again;
    EXPECT_TRUE(again.isInstalled());
}

}  // namespace
