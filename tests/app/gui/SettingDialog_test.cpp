// The settings dialog against the real QvrSvr (console child, or a service
// of our service manager in the test's registry): the autostart entry in
// the test's XDG_CONFIG_HOME, the local address that restarts the service
// program, a service that does not stop, and an address the settings file
// did not get.
#include "app/gui/SettingDialog.h"

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QMenu>
#include <QPushButton>
#include <QtTest>
#include <memory>

#include "app/ClientConstants.h"
#include "app/SvrControlService.h"
#include "app/gui/GuiUtil.h"
#include "app/gui/MainWindow.h"
#include "gt/core/io/SystemFolders.h"
#include "gt/svc/ServiceManager.h"
#include "support/DialogWatcher.h"
#include "support/GuiClient.h"
#include "support/GuiTest.h"
#include "support/Text.h"
#include "support/TextFit.h"

using gt::core::String;
using gt::test::DialogWatcher;
using gt::test::GuiClient;
using tunnel::ClientConstants;

namespace {

constexpr int kLoginMs = 30000;
constexpr char kChoose[] = "选定接入网卡";

QString linkFile() { return toQString(ClientConstants::STARTUP_LINK_FILE()); }

QByteArray readAll(QString const& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

gt::core::Array<String> addresses(std::initializer_list<char16_t const*> list) {
    gt::core::Array<String> out;
    for (char16_t const* address : list)
        out.add(String(address));
    return out;
}

// Presses OK; the dialog closes when everything was applied.
void pressOk(QDialog* dialog) { dialog->findChild<QPushButton*>("btnOk")->click(); }

}  // namespace

class SettingDialogTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<GuiClient> m_env;
    std::unique_ptr<MainWindow> m_window;

    tunnel::SvrControlService* control() { return m_window->svrControl(); }

    void openRunning() {
        GuiClient::saveAccount(GuiClient::NAME, GuiClient::PASSWORD);
        m_window = m_env->open();
        QVERIFY(m_window);
        QTRY_VERIFY_WITH_TIMEOUT(m_window->isLoggedIn() && control()->isRunning(), kLoginMs);
    }

    // Runs a dialog of ours on the window with the adapters given, while a
    // script plays the user.
    int run(gt::core::Array<String> const& adapters = {}) {
        SettingDialog dialog(m_window.get());
        dialog.listAddresses = [adapters] { return adapters; };
        return dialog.exec();
    }

    // Checks the address box and picks the entry at index from the choice.
    static DialogWatcher::Step choose(int index, QStringList* offered) {
        return [index, offered](QDialog* select) {
            QComboBox* box = select->findChild<QComboBox*>("comboBox");
            for (int i = 0; i < box->count(); ++i)
                *offered << box->itemText(i);
            offered->append(QString("current %1").arg(box->currentIndex()));
            box->setCurrentIndex(index);
            select->findChild<QPushButton*>("btn_1")->click();
        };
    }

    // Checks the address box, takes the first address offered and presses
    // OK, which is to warn ("提示") and leave the dialog open: the warning as
    // "title: text", empty when it went otherwise.
    QString failedAddressChange(gt::core::Array<String> const& adapters) {
        QStringList offered;
        bool stillOpen = false;
        DialogWatcher script;
        script
            .then([&](QDialog* dialog) {
                dialog->findChild<QCheckBox*>("checkBoxLocalIp")->click();
                pressOk(dialog);
                stillOpen = dialog->isVisible();
                dialog->reject();
            })
            .then(choose(0, &offered))
            .then(DialogWatcher::yes());
        bool const rejected = run(adapters) == QDialog::Rejected;
        if (!rejected || !stillOpen || !script.done() || !script.unexpected() == 0)
            return "unexpected: " + script.titles();
        DialogWatcher::Seen const* warning = script.find("提示");
        return warning ? warning->title + ": " + warning->text : QString();
    }

private slots:
    void initTestCase() { m_env.reset(new GuiClient); }
    void cleanup() {
        QFile::remove(linkFile());
        // No service outlives its test.
        bool const serviceMode = m_window && control()->isServiceMode();
        bool const removed = !serviceMode || control()->stopUninstall();
        m_env->reset(m_window);
        QVERIFY(removed);
    }

    // Every text of the form fits its width in the fonts of this machine,
    // the longest address the adapter box can name included.
    void everyTextFits() {
        m_window = m_env->open();
        QVERIFY(m_window);
        SettingDialog dialog(m_window.get());
        dialog.findChild<QCheckBox*>("checkBoxLocalIp")->setText("选定接入网卡（255.255.255.255）");
        QCOMPARE(gt::test::clippedTexts(&dialog), QStringList());
    }

    // From the tray menu: the entry is written with the client's program and
    // "--minimize=true", taken away again, and one made by hand is kept.
    void autostartEntryIsCreatedAndRemoved() {
        openRunning();
        QVERIFY(linkFile().startsWith(qEnvironmentVariable("XDG_CONFIG_HOME") + "/autostart/"));
        QAction* settings = nullptr;
        for (QMenu* menu : m_window->findChildren<QMenu*>())
            for (QAction* action : menu->actions())
                if (action->text() == "设置") settings = action;
        QVERIFY(settings);

        DialogWatcher script;
        script.then([](QDialog* dialog) {
            QCheckBox* autostart = dialog->findChild<QCheckBox*>("checkBoxAuto");
            QVERIFY(!autostart->isChecked());
            autostart->setChecked(true);
            pressOk(dialog);
        });
        settings->trigger();
        QVERIFY(script.done());
        QByteArray const entry = readAll(linkFile());
        QString const program = toQString(gt::core::getProgramFile());
        QVERIFY2(entry.contains("\nExec=\"" + program.toUtf8() + "\" \"--minimize=true\"\n"),
                 entry.constData());
        QVERIFY(entry.startsWith("[Desktop Entry]\nType=Application\n"));

        script.then([](QDialog* dialog) {
            QCheckBox* autostart = dialog->findChild<QCheckBox*>("checkBoxAuto");
            QVERIFY(autostart->isChecked());
            autostart->setChecked(false);
            pressOk(dialog);
        });
        QCOMPARE(run(), int(QDialog::Accepted));
        QVERIFY(!QFile::exists(linkFile()));

        // An entry that is there already is left as it is.
        QFile byHand(linkFile());
        QVERIFY(byHand.open(QIODevice::WriteOnly));
        byHand.write("[Desktop Entry]\nExec=mine\n");
        byHand.close();
        script.then([](QDialog* dialog) {
            QVERIFY(dialog->findChild<QCheckBox*>("checkBoxAuto")->isChecked());
            pressOk(dialog);
        });
        QCOMPARE(run(), int(QDialog::Accepted));
        QCOMPARE(readAll(linkFile()), QByteArray("[Desktop Entry]\nExec=mine\n"));
        QVERIFY(script.unexpected() == 0);
    }

    // Choosing another adapter stores it and restarts the console child so
    // that it binds to it; OK without a change touches nothing.
    void aLocalAddressChangeRestartsTheService() {
        openRunning();
        int const first = control()->consolePid();
        QVERIFY(first > 0);
        QString const settingsFile = toQString(ClientConstants::PROPERTIES_FILE());
        QByteArray const before = readAll(settingsFile);

        // Nothing changed: nothing is touched.
        DialogWatcher script;
        script.then(pressOk);
        QCOMPARE(run(), int(QDialog::Accepted));
        QCOMPARE(control()->consolePid(), first);
        QCOMPARE(readAll(settingsFile), before);
        QVERIFY(!QFile::exists(linkFile()));

        // Only loopback and none: no choice is shown, the box stays
        // unchecked, and the user is told why.
        script
            .then([](QDialog* dialog) {
                QCheckBox* box = dialog->findChild<QCheckBox*>("checkBoxLocalIp");
                box->click();
                QVERIFY(!box->isChecked());
                QCOMPARE(box->text(), QString("选定接入网卡"));
                dialog->findChild<QPushButton*>("btnCancel")->click();
            })
            .then(DialogWatcher::ok());
        QCOMPARE(run(addresses({u"127.0.0.1", u"0.0.0.0"})), int(QDialog::Rejected));
        QVERIFY(script.done());
        QVERIFY(!script.find(kChoose));
        DialogWatcher::Seen const* why = script.find("提示");
        QVERIFY(why);
        QVERIFY2(why->text.contains("没有可选定的网卡"), qPrintable(why->text));

        QStringList offered;
        script
            .then([](QDialog* dialog) {
                QCheckBox* box = dialog->findChild<QCheckBox*>("checkBoxLocalIp");
                box->click();
                QCOMPARE(box->text(), QString("选定接入网卡（10.0.0.7）"));
                pressOk(dialog);
            })
            .then(choose(1, &offered));
        QCOMPARE(run(addresses({u"127.0.0.1", u"192.168.1.5", u"10.0.0.7"})), int(QDialog::Accepted));
        QCOMPARE(offered, (QStringList{"192.168.1.5", "10.0.0.7", "current 0"}));
        QVERIFY(script.find(kChoose));
        QCOMPARE(GuiClient::setting(u"net.local_ip"), QString("10.0.0.7"));
        int const second = control()->consolePid();
        QVERIFY(second > 0 && second != first);
        QVERIFY(control()->isConsoleRunning());

        // The stored address shows; unchecking clears it and restarts again.
        script.then([](QDialog* dialog) {
            QCheckBox* box = dialog->findChild<QCheckBox*>("checkBoxLocalIp");
            QVERIFY(box->isChecked());
            QCOMPARE(box->text(), QString("选定接入网卡（10.0.0.7）"));
            box->click();
            QCOMPARE(box->text(), QString("选定接入网卡"));
            pressOk(dialog);
        });
        QCOMPARE(run(), int(QDialog::Accepted));
        QCOMPARE(GuiClient::setting(u"net.local_ip"), QString());
        QVERIFY(GuiClient::settings().values().contains(u"net.local_ip"));
        QVERIFY(control()->consolePid() != second);
        QVERIFY(control()->isConsoleRunning());
        QVERIFY(script.unexpected() == 0);
    }

    // In service mode a service that does not stop (held stopped here, as a
    // hung one) is reported with the controller's reason; the new address
    // stays saved.
    void aServiceThatDoesNotStopIsReportedWithItsReason() {
        openRunning();
        {
            DialogWatcher script;
            script.then([](QDialog* dialog) {
                dialog->findChild<QCheckBox*>("checkBoxService")->setChecked(true);
                pressOk(dialog);
            });
            QCOMPARE(run(), int(QDialog::Accepted));
        }
        QVERIFY(control()->isServiceMode());
        QVERIFY(control()->isServiceRunning());
        gt::svc::ServiceStatus status;
        QCOMPARE(gt::svc::ServiceManager().queryStatus(u"QvrSvr", &status), int(gt::svc::SERVICE_OK));
        QVERIFY(status.processId > 0);
        QCOMPARE(::kill(status.processId, SIGSTOP), 0);

        QString const warning = failedAddressChange(addresses({u"192.168.1.5"}));
        QCOMPARE(::kill(status.processId, SIGCONT), 0);
        QCOMPARE(warning, "提示: " + QString::fromUtf16(tunnel::SvrControlService::SERVICE_STOP_MESSAGE));
        QCOMPARE(GuiClient::setting(u"net.local_ip"), QString("192.168.1.5"));
    }

    // An address the settings file did not get is not applied: warned with
    // the file's reason, and the service program keeps running as it was.
    void anAddressTheSettingsFileDidNotGetIsNotApplied() {
        openRunning();
        int const pid = control()->consolePid();
        std::string const file = gt::test::utf8(ClientConstants::PROPERTIES_FILE());
        ::unlink(file.c_str());
        ::mkdir(file.c_str(), 0700);
        QString const warning = failedAddressChange(addresses({u"10.0.0.7"}));
        ::rmdir(file.c_str());
        QVERIFY2(warning.contains("properties.cfg"), qPrintable(warning));
        QCOMPARE(control()->consolePid(), pid);
        QVERIFY(m_window->context()->userProperties()->get(u"net.local_ip").isEmpty());
    }
};

GT_GUI_CLIENT_TEST_MAIN(SettingDialogTest)
#include "SettingDialog_test.moc"
