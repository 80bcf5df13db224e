// Entry of the desktop client Quorvane. The order matters:
//   1. the crash filter, before anything can fail;
//   2. the data folder and the single-instance lock, before any thread
//      starts: a second start leaves the running client a request to come to
//      the front and ends with exit code 2 while it is still single-threaded;
//      a lock that cannot be had for another reason ends it with 1 and says why;
//   3. the application object and the one main window, which owns the rest.
// The client reads no option of its own: the arguments go to Qt only, and
// "--minimize=true" of the autostart entry has no effect.
#include <QApplication>
#include <QIcon>
#include <clocale>
#include <cstdio>
#include <memory>

#include "app/Client.h"
#include "app/ClientConstants.h"
#include "app/InstanceLock.h"
#include "app/gui/GuiUtil.h"
#include "app/gui/MainWindow.h"
#include "app/gui/MessageDialog.h"
#include "app/util/CrashFilter.h"
#include "app/util/QuitSignals.h"
#include "gt/core/io/FileSystem.h"
#include "tunnel/api/ProcessSingleton.h"

int main(int argc, char** argv) {
    tunnel::installCrashFilter();
    tunnel::ClientConstants::init();
    gt::core::createDirectories(tunnel::ClientConstants::DATA_DIR());

    auto lock = std::make_unique<tunnel::ProcessSingleton>(tunnel::ClientConstants::APP_LOCK_FILE(), true);
    gt::core::String reason;
    switch (tunnel::InstanceLock::take(lock.get(), &reason)) {
        case tunnel::InstanceLock::TAKEN:
            break;
        case tunnel::InstanceLock::RUNNING:
            tunnel::Client::setActived(true);
            std::fprintf(stderr, "Quorvane is already running; it was asked to come to the front.\n");
            return 2;
        case tunnel::InstanceLock::FAILED: {
            // No instance is running: the cause is said where a person sees
            // it, so that it can be mended.
            std::fprintf(stderr, "Quorvane cannot start: %s\n", toQString(reason).toUtf8().constData());
            QApplication app(argc, argv);
            MessageDialog(nullptr).warning(QStringLiteral("无法启动"), toQString(reason));
            return 1;
        }
    }

    QApplication app(argc, argv);
    // Number text stays free of the user's locale.
    std::setlocale(LC_NUMERIC, "C");
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/rc/icon_logo.png")));
    // SIGTERM and the terminal's signals close the client in order.
    tunnel::QuitSignals quitSignals;

    MainWindow window(std::move(lock));
    window.show();
    return app.exec();
}
