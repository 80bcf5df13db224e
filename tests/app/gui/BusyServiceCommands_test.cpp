// The window keeps painting while a command of the service program hangs:
// "--exit" before the console instance starts at the first tick and when
// the window closes, "--refresh" after an editor's save. This program is
// built into a folder of its own with a stand-in beside it under the service
// program's name (tests/helpers/SvrStandIn.cpp), which sleeps on the
// commands named in QV_SVR_HANG. A 20 ms timer stands for the painting; its
// longest gap must stay far below the hang, and the wait still ends: by the
// command's run time-out or when the stand-in ends.
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QtTest>
#include <chrono>
#include <memory>

#include "app/gui/DeviceManageWidget.h"
#include "app/gui/MainWindow.h"
#include "support/DialogWatcher.h"
#include "support/GapMeter.h"
#include "support/GuiClient.h"
#include "support/GuiTest.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"
#include "support/Wait.h"

using gt::test::DialogWatcher;
using gt::test::GapMeter;
using gt::test::GuiClient;
using gt::test::ScopedEnv;

namespace {

constexpr int kLoginMs = 30000;
// The gap bound tells a window that pumped through the hang from one that
// sat in it; a loaded machine may stall the GUI thread for hundreds of ms,
// never for the hang itself.
constexpr int kGapBoundMs = 1000;
constexpr char const* kHangMs = "8000";
// At close the command is cut by a short run time-out, long before the
// stand-in would end by itself.
constexpr int kCloseRunTimeoutMs = 5000;
constexpr char const* kCloseHangMs = "60000";
constexpr int kCloseBoundMs = 30000;

}  // namespace

class BusyServiceCommandsTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<GuiClient> m_env;
    std::unique_ptr<MainWindow> m_window;
    std::unique_ptr<gt::test::TempDir> m_dir;
    std::unique_ptr<ScopedEnv> m_log;

    // What the stand-in wrote, one entry per line.
    QStringList logged() const {
        QFile file(QString::fromStdString(m_dir->path("svr.log")));
        if (!file.open(QIODevice::ReadOnly)) return {};
        return QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
    }

    void open() {
        GuiClient::saveAccount(GuiClient::NAME, GuiClient::PASSWORD);
        m_window = m_env->open();
        QVERIFY(m_window);
    }

    void awaitConsole() {
        QTRY_VERIFY_WITH_TIMEOUT(m_window->isLoggedIn(), kLoginMs);
        QTRY_VERIFY_WITH_TIMEOUT(m_window->svrControl()->isConsoleRunning(), kLoginMs);
        QTRY_VERIFY_WITH_TIMEOUT(m_window->deviceManager()->find(GuiClient::DEVICE_ID, nullptr), kLoginMs);
    }

private slots:
    void initTestCase() { m_env.reset(new GuiClient); }

    void init() {
        m_dir.reset(new gt::test::TempDir);
        m_log.reset(new ScopedEnv("QV_SVR_LOG", m_dir->path("svr.log").c_str()));
    }

    void cleanup() {
        m_env->reset(m_window);
        m_log.reset();
        m_dir.reset();
    }

    // Before the console instance starts the first tick asks a running one
    // to exit; that command hangs, and the console starts once it ended.
    void firstTickKeepsPaintingWhileTheExitHangs() {
        ScopedEnv hang("QV_SVR_HANG", "--exit");
        ScopedEnv hangMs("QV_SVR_HANG_MS", kHangMs);
        open();
        {
            GapMeter meter;
            QTRY_VERIFY_WITH_TIMEOUT(m_window->svrControl()->isConsoleRunning(), kLoginMs);
            QVERIFY2(meter.longest() < kGapBoundMs, QByteArray::number(meter.longest()));
        }
        QCOMPARE(logged(), (QStringList{"start --exit", "end --exit", "start --console"}));
        awaitConsole();
    }

    // At close the console instance is asked to exit; the hanging command is
    // killed at its run time-out and the window goes.
    void closeKeepsPaintingWhileTheExitHangs() {
        open();
        awaitConsole();
        ScopedEnv hang("QV_SVR_HANG", "--exit");
        ScopedEnv hangMs("QV_SVR_HANG_MS", kCloseHangMs);
        m_window->svrControl()->setRunTimeout(kCloseRunTimeoutMs);
        // The first tick's commands came before.
        int const before = logged().size();
        auto const started = std::chrono::steady_clock::now();
        {
            GapMeter meter;
            m_window.reset();
            QVERIFY2(meter.longest() < kGapBoundMs, QByteArray::number(meter.longest()));
        }
        // Ended by the run time-out, not by the stand-in's own end.
        QVERIFY(gt::test::elapsedMs(started) < kCloseBoundMs);
        QCOMPARE(logged().mid(before), QStringList{"start --exit"});
    }

    // After the device editor saved, the page asks the service to refresh;
    // that command hangs and the window waits for the stand-in to end.
    void refreshAfterASaveKeepsPaintingWhileItHangs() {
        open();
        awaitConsole();
        ScopedEnv hang("QV_SVR_HANG", "--refresh");
        ScopedEnv hangMs("QV_SVR_HANG_MS", kHangMs);
        DeviceManageWidget* page = m_window->deviceWidget();
        page->showPage();
        QTRY_VERIFY(page->isVisible());
        QTableWidget* table = page->findChild<QTableWidget*>("tableDevice");
        QCOMPARE(table->rowCount(), 1);
        table->selectRow(0);
        int const before = logged().size();
        {
            GapMeter meter;
            DialogWatcher script;
            script.then([](QDialog* dialog) {
                dialog->findChild<QLineEdit*>("editLabel")->setText("renamed");
                dialog->findChild<QPushButton*>("btnOK")->click();
            });
            QTest::mouseClick(page->findChild<QPushButton*>("btnEdit"), Qt::LeftButton);
            QVERIFY(script.done());
            QVERIFY2(meter.longest() < kGapBoundMs, QByteArray::number(meter.longest()));
        }
        QCOMPARE(logged().mid(before), (QStringList{"start --refresh", "end --refresh"}));
    }
};

GT_GUI_CLIENT_TEST_MAIN(BusyServiceCommandsTest)
#include "BusyServiceCommands_test.moc"
