// The main window's blocking calls: the work runs on a fresh worker thread
// behind the busy window while this window keeps painting and ticking
// (BlockingCallRunner). The client context forwards its execute and
// executeResult here.
#include "app/gui/MainWindow.h"

void MainWindow::execute(QString const& text, std::function<void()> const& action) {
    m_runner.execute(text, action);
}

bool MainWindow::executeResult(QString const& text, std::function<bool()> const& action) {
    return m_runner.executeResult(text, action);
}

void MainWindow::refreshService() {
    execute(QStringLiteral("正在通知后台服务…"), [this] { m_svrControl.sendRefresh(); });
}
