// The device editor against the test cloud: the name it sends (exact
// params), closing without sending, a refused save, and the section buttons
// that follow the scroll position.
#include "app/gui/DeviceEditDialog.h"

#include <QComboBox>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QtTest>
#include <memory>

#include "app/gui/MainWindow.h"
#include "support/CloudCalls.h"
#include "support/DialogWatcher.h"
#include "support/GuiClient.h"
#include "support/GuiTest.h"

using gt::test::DialogWatcher;
using gt::test::GuiClient;

namespace {

constexpr int kLoginMs = 30000;

}  // namespace

class DeviceEditDialogTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<GuiClient> m_env;
    std::unique_ptr<MainWindow> m_window;

    QList<QJsonObject> calls(QString const& method) { return gt::test::cloudParams(m_env->cloud(), method); }

    tunnel::Device demoDevice() {
        tunnel::Device device;
        m_window->deviceManager()->find(GuiClient::DEVICE_ID, &device);
        return device;
    }

    // Runs the editor on the demo device; the script plays the user.
    bool edit(DialogWatcher::Step action) {
        DialogWatcher script;
        script.then(std::move(action));
        DeviceEditDialog dialog(m_window.get());
        return dialog.exec(demoDevice());
    }

    static DialogWatcher::Step rename(QString const& name) {
        return [name](QDialog* dialog) {
            QLineEdit* edit = dialog->findChild<QLineEdit*>("editLabel");
            edit->clear();
            edit->setFocus();
            gt::test::typeText(edit, name);
            dialog->findChild<QPushButton*>("btnOK")->click();
        };
    }

private slots:
    void initTestCase() { m_env.reset(new GuiClient); }

    void init() {
        GuiClient::saveAccount(GuiClient::NAME, GuiClient::PASSWORD);
        m_window = m_env->open();
        QVERIFY(m_window);
        QTRY_VERIFY_WITH_TIMEOUT(m_window->isLoggedIn(), kLoginMs);
        QTRY_VERIFY_WITH_TIMEOUT(m_window->deviceManager()->find(GuiClient::DEVICE_ID, nullptr), kLoginMs);
        m_env->cloud().command("forget");
    }

    void cleanup() { m_env->reset(m_window); }

    void savingSendsTheTypedNameAsIs() {
        QString const name = "  办公室 <b>主机</b>";
        QVERIFY(edit(rename(name)));
        QList<QJsonObject> const sent = calls("modify_device");
        QCOMPARE(sent.size(), 1);
        QJsonObject params = sent[0];
        QVERIFY(!params.take("session_id").toString().isEmpty());
        QCOMPARE(params, (QJsonObject{{"device_id", GuiClient::DEVICE_ID},
                                      {"fields", QJsonObject{{"label", name}}}}));
        QVERIFY(m_window->refreshDevices());
        QCOMPARE(toQString(demoDevice().label), name);

        // The same name again is still sent.
        QVERIFY(edit([](QDialog* dialog) { dialog->findChild<QPushButton*>("btnOK")->click(); }));
        QCOMPARE(calls("modify_device").size(), 2);
        QCOMPARE(calls("modify_device")[1]["fields"].toObject(), (QJsonObject{{"label", name}}));
    }

    void closingSendsNothing_data() {
        QTest::addColumn<QString>("how");
        QTest::newRow("close button") << "btnClose";
        QTest::newRow("cancel") << "btnCancel";
        QTest::newRow("escape") << "";
    }
    void closingSendsNothing() {
        QFETCH(QString, how);
        bool const saved = edit([how](QDialog* dialog) {
            dialog->findChild<QLineEdit*>("editLabel")->setText("other");
            if (how.isEmpty()) {
                QTest::keyClick(dialog, Qt::Key_Escape);
            } else {
                QTest::mouseClick(dialog->findChild<QAbstractButton*>(how), Qt::LeftButton);
            }
        });
        QVERIFY(!saved);
        QCOMPARE(calls("modify_device").size(), 0);
    }

    // A refused save warns with the cloud's reason as plain text and keeps
    // the dialog open with the typed name.
    void aRefusedSaveWarnsAndStaysOpen() {
        m_env->cloud().command(
            "fault rpc_error method=modify_device times=1 code=201 message=<b>no-such</b>");
        DeviceEditDialog dialog(m_window.get());
        DialogWatcher script;
        QString typedAfterWarning;
        bool stillOpen = false;
        script.then(rename("新名字")).then([&](QDialog* warning) {
            QLabel* text = warning->findChild<QLabel*>("labelText");
            QCOMPARE(text->textFormat(), Qt::PlainText);
            QCOMPARE(text->text(), QString("<b>no-such</b>"));
            warning->accept();
            // Back in the editor.
            QTimer::singleShot(0, &dialog, [&] {
                stillOpen = dialog.isVisible();
                typedAfterWarning = dialog.findChild<QLineEdit*>("editLabel")->text();
                dialog.close();
            });
        });
        QVERIFY(!dialog.exec(demoDevice()));
        QVERIFY(stillOpen);
        QCOMPARE(typedAfterWarning, QString("新名字"));
        QCOMPARE(script.unexpected(), 0);
        QVERIFY(script.find("未能保存"));
        QCOMPARE(calls("modify_device").size(), 1);
        QVERIFY(m_window->refreshDevices());
        QCOMPARE(toQString(demoDevice().label), QString("demo computer"));
    }

    void sectionButtonsFollowTheScrollPosition() {
        DeviceEditDialog dialog(m_window.get());
        auto ran = gt::test::whenShown(&dialog, [&] {
            QScrollBar* bar = dialog.findChild<QScrollArea*>("scrollAreaMain")->verticalScrollBar();
            auto section1 = dialog.findChild<QPushButton*>("btnSection1");
            auto section2 = dialog.findChild<QPushButton*>("btnSection2");
            int const second = dialog.findChild<QLabel*>("labelSection2")->y();
            QVERIFY(section1->isChecked());
            QVERIFY(bar->maximum() >= second);
            bar->setValue(second);
            QVERIFY(section2->isChecked());
            QVERIFY(!section1->isChecked());
            bar->setValue(second - 1);
            QVERIFY(section1->isChecked());
            // A click scrolls to its section; the buttons do not flicker back.
            QTest::mouseClick(section2, Qt::LeftButton);
            QCOMPARE(bar->value(), second);
            QVERIFY(section2->isChecked());
            QTest::mouseClick(section1, Qt::LeftButton);
            QCOMPARE(bar->value(), 0);
            QVERIFY(section1->isChecked());
            // The policy choice is not open in this version.
            QVERIFY(!dialog.findChild<QComboBox*>("comboBoxInstance")->isEnabled());
            QVERIFY(!dialog.findChild<QPushButton*>("btnCreateInstance")->isEnabled());
            // A second edit while this one shows is refused at once.
            QVERIFY(!dialog.exec(demoDevice()));
            dialog.close();
        });
        QVERIFY(!dialog.exec(demoDevice()));
        QVERIFY(*ran);
    }
};

GT_GUI_CLIENT_TEST_MAIN(DeviceEditDialogTest)
#include "DeviceEditDialog_test.moc"
