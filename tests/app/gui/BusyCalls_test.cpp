// The window keeps painting while the client waits: a cloud that takes its
// time over a page's reload and an editor's save. A 20 ms timer
// stands for the painting; its longest gap must stay far below the wait.
// What was typed into a field before the wait is still there afterwards.
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>
#include <memory>

#include "app/gui/DeviceEditDialog.h"
#include "app/gui/ForwardManageWidget.h"
#include "app/gui/MainWindow.h"
#include "support/DialogWatcher.h"
#include "support/GapMeter.h"
#include "support/GuiClient.h"
#include "support/GuiTest.h"

using gt::test::DialogWatcher;
using gt::test::GapMeter;
using gt::test::GuiClient;

namespace {

constexpr int kLoginMs = 30000;
// How long the cloud holds its answer. The gap bound tells a window that
// pumped through the wait from one that sat in it for the whole time; a
// loaded machine may stall the GUI thread for hundreds of ms, never for the
// wait itself.
constexpr int kCloudDelayMs = 4000;
constexpr int kGapBoundMs = 1000;

}  // namespace

class BusyCallsTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<GuiClient> m_env;
    std::unique_ptr<MainWindow> m_window;

    void delayCloud(char const* method) {
        m_env->cloud().command(std::string("fault delay ms=") + std::to_string(kCloudDelayMs) +
                               " method=" + method + " times=1");
    }

private slots:
    void initTestCase() { m_env.reset(new GuiClient); }

    void init() {
        GuiClient::saveAccount(GuiClient::NAME, GuiClient::PASSWORD);
        m_window = m_env->open();
        QVERIFY(m_window);
        QTRY_VERIFY_WITH_TIMEOUT(m_window->isLoggedIn(), kLoginMs);
        QTRY_VERIFY_WITH_TIMEOUT(m_window->deviceManager()->find(GuiClient::DEVICE_ID, nullptr), kLoginMs);
    }

    void cleanup() {
        m_env->cloud().command("clear");
        m_env->reset(m_window);
    }

    // The page reload and the editor save each wait on a slow cloud: the
    // window goes on ticking and the calls still get their answers.
    void slowCloudCallsKeepTheWindowPainting() {
        QLineEdit typed;
        typed.show();
        QTest::keyClicks(&typed, "abc");

        m_window->forwardWidget()->showPage();
        delayCloud("enum_forwards");
        {
            GapMeter meter;
            m_window->forwardWidget()->reload();
            QVERIFY2(meter.longest() < kGapBoundMs, QByteArray::number(meter.longest()));
        }

        tunnel::Device device;
        QVERIFY(m_window->deviceManager()->find(GuiClient::DEVICE_ID, &device));
        delayCloud("modify_device");
        bool saved = false;
        {
            GapMeter meter;
            DialogWatcher script;
            script.then([](QDialog* dialog) {
                QLineEdit* edit = dialog->findChild<QLineEdit*>("editLabel");
                edit->setText("slow");
                dialog->findChild<QPushButton*>("btnOK")->click();
            });
            DeviceEditDialog dialog(m_window.get());
            saved = dialog.exec(device);
            QVERIFY2(meter.longest() < kGapBoundMs, QByteArray::number(meter.longest()));
        }
        QVERIFY(saved);
        QCOMPARE(typed.text(), QString("abc"));
    }
};

GT_GUI_CLIENT_TEST_MAIN(BusyCallsTest)
#include "BusyCalls_test.moc"
