// The device page against the test cloud: binding this computer (join,
// cancel, a refused join, take-over, a binding the settings file cannot
// hold or did not get), deleting and renaming devices, the table, and a
// reload that fails.
#include "app/gui/DeviceManageWidget.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QHeaderView>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QtTest>
#include <memory>

#include "app/ClientConstants.h"
#include "app/gui/GuiUtil.h"
#include "app/gui/MainWindow.h"
#include "app/gui/UiScale.h"
#include "gt/net/socket/SocketAddress.h"
#include "support/CloudCalls.h"
#include "support/DialogWatcher.h"
#include "support/GuiClient.h"
#include "support/GuiTest.h"
#include "support/ShowRecorder.h"
#include "support/Text.h"

using gt::test::DialogWatcher;
using gt::test::GuiClient;
using gt::test::ShowRecorder;

namespace {

constexpr int kLoginMs = 30000;
constexpr char kJoin[] = "新设备加入";
constexpr char kTakeOver[] = "设备接管";

QString hostName() { return toQString(gt::net::hostName()); }

}  // namespace

class DeviceManageWidgetTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<GuiClient> m_env;
    std::unique_ptr<MainWindow> m_window;

    DeviceManageWidget* page() { return m_window->deviceWidget(); }
    QTableWidget* table() { return page()->findChild<QTableWidget*>("tableDevice"); }
    QString statusLine() { return m_window->findChild<QLabel*>("labelMain")->text(); }

    QList<QJsonObject> calls(QString const& method) { return gt::test::cloudParams(m_env->cloud(), method); }
    // The params of a call without the session.
    static QJsonObject withoutSession(QJsonObject out) {
        out.remove("session_id");
        return out;
    }
    // A device of the cloud's state by id.
    QJsonObject cloudDevice(qlonglong id) {
        std::string const state = m_env->cloud().command("state").substr(3);
        for (QJsonValue const& device :
             QJsonDocument::fromJson(QByteArray::fromStdString(state)).object()["devices"].toArray())
            if (device.toObject()["id"].toInteger() == id) return device.toObject();
        return QJsonObject();
    }

    // Opens the window logged in and lets the script answer the binding
    // check that follows the login.
    void openAndCheck(DialogWatcher& script, GuiClient::Binding binding = GuiClient::KEEP_BINDING) {
        GuiClient::saveAccount(GuiClient::NAME, GuiClient::PASSWORD);
        m_window = m_env->open(binding);
        QVERIFY(m_window);
        QTRY_VERIFY_WITH_TIMEOUT(m_window->isLoggedIn() && script.done(), kLoginMs);
        QVERIFY2(script.unexpected() == 0, qPrintable(script.titles()));
    }

    // Waits for the binding check after login to end and the status line to follow.
    void expectStatus(QString const& text) {
        QTRY_COMPARE_WITH_TIMEOUT(page()->statusText(), text, kLoginMs);
        if (!text.isEmpty()) QTRY_VERIFY_WITH_TIMEOUT(statusLine().contains(text), kLoginMs);
    }

    void selectDevice(qlonglong id) {
        auto const& devices = m_window->deviceManager()->devices();
        for (int row = 0; row < devices.count(); ++row)
            if (devices[row].id == id) table()->selectRow(row);
    }

private slots:
    void initTestCase() { m_env.reset(new GuiClient); }
    void cleanup() {
        m_env->reset(m_window);
        UiScale::setFactor(0);
    }

    void joiningBindsThisComputerAsANewDevice() {
        DialogWatcher script;
        QString proposal;
        script.then([&](QDialog* dialog) {
            proposal = dialog->findChild<QLineEdit*>("editText")->text();
            DialogWatcher::type("办公室主机")(dialog);
        });
        openAndCheck(script);
        expectStatus("");
        QCOMPARE(script.titles(), QString("%1: 请输入一个名称便于识别（比如：办公室主机）").arg(kJoin));
        QCOMPARE(proposal, hostName());
        QList<QJsonObject> const created = calls("create_device");
        QCOMPARE(created.size(), 1);
        QCOMPARE(withoutSession(created[0]), (QJsonObject{{"label", "办公室主机"}}));
        qlonglong const id = GuiClient::setting(u"device.id").toLongLong();
        QJsonObject const device = cloudDevice(id);
        QCOMPARE(device["label"].toString(), QString("办公室主机"));
        QCOMPARE(GuiClient::setting(u"device.token"), device["token"].toString());
        QVERIFY(page()->isDeviceBound());
        QVERIFY(page()->isDeviceInAccount());
        // Bound and listed: a check asks nothing and refreshes twice.
        m_env->cloud().command("forget");
        QVERIFY(page()->checkDeviceBinding());
        QCOMPARE(calls("enum_devices").size(), 2);
        QVERIFY(script.unexpected() == 0);
    }

    // Cancelling leaves it unbound with the status text; the repair link
    // asks again.
    void cancellingTheJoinLeavesThisComputerUnbound() {
        DialogWatcher script;
        script.then(DialogWatcher::no());
        openAndCheck(script);
        expectStatus(QString::fromUtf16(DeviceManageWidget::NOT_JOINED_TEXT));
        QVERIFY(statusLine().contains("app:///repair?type=device"));
        QVERIFY(GuiClient::setting(u"device.id").isEmpty());
        QVERIFY(GuiClient::setting(u"device.token").isEmpty());
        QCOMPARE(calls("create_device").size(), 0);

        script.then(DialogWatcher::type("later"));
        QVERIFY(m_window->repair(u"device"));
        QVERIFY(script.done());
        QCOMPARE(page()->statusText(), QString());
        QVERIFY(page()->isDeviceInAccount());
    }

    // A refused join warns with the cloud's reason and asks again, with the
    // host name, not the text typed before.
    void aRefusedJoinAsksAgainWithTheHostName() {
        m_env->cloud().command("fault rpc_error method=create_device times=1 code=205 message=名称已被占用");
        DialogWatcher script;
        script.then(DialogWatcher::type("first")).then(DialogWatcher::yes()).then([&](QDialog* dialog) {
            QCOMPARE(dialog->findChild<QLineEdit*>("editText")->text(), hostName());
            DialogWatcher::type("second")(dialog);
        });
        openAndCheck(script);
        expectStatus("");
        QVERIFY2(script.titles().contains("未能加入: 名称已被占用"), qPrintable(script.titles()));
        QList<QJsonObject> const created = calls("create_device");
        QCOMPARE(created.size(), 2);
        QCOMPARE(withoutSession(created[0]), (QJsonObject{{"label", "first"}}));
        QCOMPARE(withoutSession(created[1]), (QJsonObject{{"label", "second"}}));
        QCOMPARE(cloudDevice(GuiClient::setting(u"device.id").toLongLong())["label"].toString(),
                 QString("second"));
    }

    // Bound to a device the account does not list: declining keeps the
    // binding; taking over clears it and joins anew.
    void aComputerOfAnotherAccountIsTakenOverOnlyWhenTheUserAgrees() {
        GuiClient::saveDevice(99, "other-token");
        DialogWatcher script;
        script.then(DialogWatcher::no());
        openAndCheck(script);
        expectStatus(QString::fromUtf16(DeviceManageWidget::OTHER_ACCOUNT_TEXT));
        QVERIFY(script.find(kTakeOver));
        QCOMPARE(GuiClient::setting(u"device.id"), QString("99"));
        QCOMPARE(GuiClient::setting(u"device.token"), QString("other-token"));
        QVERIFY(page()->isDeviceBound());
        QVERIFY(!page()->isDeviceInAccount());

        script.then(DialogWatcher::yes()).then(DialogWatcher::type("taken over"));
        QVERIFY(page()->checkDeviceBinding());
        QVERIFY(script.done());
        QCOMPARE(page()->statusText(), QString());
        qlonglong const id = GuiClient::setting(u"device.id").toLongLong();
        QVERIFY(id != 99);
        QCOMPARE(GuiClient::setting(u"device.token"), cloudDevice(id)["token"].toString());
        QCOMPARE(cloudDevice(id)["label"].toString(), QString("taken over"));
    }

    // The window scales its pages after building them: the page slides in
    // from just below the body at its scaled height, and back there.
    void slidesFromBelowTheScaledPage() {
        UiScale::setFactor(1.25);
        DialogWatcher script;
        openAndCheck(script, GuiClient::BIND_DEMO_DEVICE);
        int const height = page()->height();
        QVERIFY(height > 512);  // 512 as built
        ShowRecorder shown(page());
        page()->showPage();
        QCOMPARE(shown.positions, QList<QPoint>{QPoint(0, height)});
        QTRY_VERIFY(page()->pos() == QPoint(0, 0));
        page()->closePage();
        QTRY_VERIFY(!page()->isVisible());
        QCOMPARE(page()->pos(), QPoint(0, height));
    }

    // Deleting this computer's device leaves the binding in place; the next
    // check finds it gone from the account and asks to take over.
    void deletingThisComputerKeepsItsBindingUntilTheNextCheck() {
        DialogWatcher script;
        openAndCheck(script, GuiClient::BIND_DEMO_DEVICE);
        expectStatus("");
        page()->showPage();
        QTRY_VERIFY(page()->isVisible() && page()->pos() == QPoint(0, 0));
        QCOMPARE(table()->rowCount(), 1);
        auto del = page()->findChild<QPushButton*>("btnDel");
        auto edit = page()->findChild<QPushButton*>("btnEdit");
        QVERIFY(!del->isEnabled());
        QVERIFY(!edit->isEnabled());
        selectDevice(GuiClient::DEVICE_ID);
        QVERIFY(del->isEnabled());
        QVERIFY(edit->isEnabled());
        m_env->cloud().command("forget");

        // Not confirmed: nothing is sent.
        script.then(DialogWatcher::no());
        QTest::mouseClick(del, Qt::LeftButton);
        QVERIFY(script.done());
        QCOMPARE(calls("remove_device").size(), 0);

        script.then(DialogWatcher::yes());
        QTest::mouseClick(del, Qt::LeftButton);
        QVERIFY(script.done());
        QList<QJsonObject> const removed = calls("remove_device");
        QCOMPARE(removed.size(), 1);
        QCOMPARE(withoutSession(removed[0]), (QJsonObject{{"device_id", GuiClient::DEVICE_ID}}));
        QCOMPARE(table()->rowCount(), 0);
        QVERIFY(!del->isEnabled());
        QCOMPARE(GuiClient::setting(u"device.id"), QString::number(GuiClient::DEVICE_ID));
        QCOMPARE(GuiClient::setting(u"device.token"), QString(GuiClient::DEVICE_TOKEN));

        script.then(DialogWatcher::no());
        QVERIFY(!page()->checkDeviceBinding());
        QVERIFY(script.done());
        QCOMPARE(page()->statusText(), QString::fromUtf16(DeviceManageWidget::OTHER_ACCOUNT_TEXT));

        // The page slides out and is hidden when the run ends.
        page()->closePage();
        QVERIFY(page()->isVisible());
        QTRY_VERIFY(!page()->isVisible());
        QVERIFY(script.unexpected() == 0);
    }

    // The rows below a deleted device move up; none of them takes its
    // place in the selection, so the next 删除 cannot hit another device.
    void afterADeleteNothingIsSelected() {
        for (int id : {12, 13})
            m_env->cloud().command(QString(R"(put devices {"id": %1, "user_id": 1, "label": "lab %1", )"
                                           R"("create_time": 1700000000, "login_ip": "10.1.2.3"})")
                                       .arg(id)
                                       .toStdString());
        DialogWatcher script;
        openAndCheck(script, GuiClient::BIND_DEMO_DEVICE);
        page()->showPage();
        QCOMPARE(table()->rowCount(), 3);
        selectDevice(12);
        int const row = table()->currentRow();
        QVERIFY(row < 2);
        auto del = page()->findChild<QPushButton*>("btnDel");
        script.then(DialogWatcher::yes());
        QTest::mouseClick(del, Qt::LeftButton);
        QVERIFY(script.done());
        QCOMPARE(calls("remove_device").size(), 1);
        QCOMPARE(table()->rowCount(), 2);
        QVERIFY(table()->selectedItems().isEmpty());
        QCOMPARE(table()->currentRow(), -1);
        QVERIFY(!del->isEnabled());
        QVERIFY(!page()->findChild<QPushButton*>("btnEdit")->isEnabled());
        QVERIFY(script.unexpected() == 0);
    }

    void tableShowsEachDeviceAndRenamesThroughTheEditor() {
        m_env->cloud().command(
            R"(put devices {"id": 12, "user_id": 1, "label": "<b>lab</b>", "create_time": 1700000000, )"
            R"("login_ip": "10.1.2.3", "is_online": true})");
        DialogWatcher script;
        openAndCheck(script, GuiClient::BIND_DEMO_DEVICE);
        page()->showPage();
        QCOMPARE(table()->rowCount(), 2);
        QStringList headers;
        for (int column = 0; column < table()->columnCount(); ++column)
            headers << table()->horizontalHeaderItem(column)->text();
        QCOMPARE(headers, (QStringList{"设备名称", "安装日期", "最近登录", "资源使用", "状态"}));
        auto text = [&](int row, int column) { return table()->item(row, column)->text(); };
        QCOMPARE(text(0, 0), QString("demo computer"));
        // 1700000000 is 2023-11-15 06:13 in the tests' zone (UTC+8).
        QCOMPARE(text(0, 1), QString("2023-11-15"));
        QCOMPARE(text(0, 3), QString("映射 1 条"));
        QCOMPARE(text(1, 0), QString("<b>lab</b>"));
        QCOMPARE(text(1, 2), QString("10.1.2.3"));
        QCOMPARE(text(1, 3), QString());
        QCOMPARE(text(1, 4), QString("在线"));
        QCOMPARE(table()->item(1, 4)->textAlignment(), int(Qt::AlignCenter));
        QVERIFY(!(table()->item(1, 0)->flags() & Qt::ItemIsEditable));

        // Double-clicking a row edits it; a save reloads the list.
        m_env->cloud().command("forget");
        script.then([](QDialog* dialog) {
            QCOMPARE(dialog->findChild<QLineEdit*>("editLabel")->text(), QString("<b>lab</b>"));
            QLineEdit* edit = dialog->findChild<QLineEdit*>("editLabel");
            edit->setText("实验室");
            dialog->findChild<QPushButton*>("btnOK")->click();
        });
        QTRY_VERIFY(page()->pos() == QPoint(0, 0));
        QRect const cell = table()->visualItemRect(table()->item(1, 0));
        QTest::mouseClick(table()->viewport(), Qt::LeftButton, Qt::NoModifier, cell.center());
        QTest::mouseDClick(table()->viewport(), Qt::LeftButton, Qt::NoModifier, cell.center());
        QVERIFY2(script.done(), qPrintable(script.titles()));
        QCOMPARE(withoutSession(calls("modify_device").at(0)),
                 (QJsonObject{{"device_id", 12}, {"fields", QJsonObject{{"label", "实验室"}}}}));
        QCOMPARE(calls("enum_devices").size(), 1);
        QCOMPARE(text(1, 0), QString("实验室"));
        QVERIFY(script.unexpected() == 0);
    }

    // The table offers only devices the cloud has just listed: after a
    // failed reload it is empty and nothing can be edited or deleted.
    void aFailedReloadKeepsNoStaleRows() {
        DialogWatcher script;
        openAndCheck(script, GuiClient::BIND_DEMO_DEVICE);
        page()->showPage();
        QCOMPARE(table()->rowCount(), 1);
        table()->selectRow(0);
        m_env->cloud().command("fault rpc_error method=enum_devices times=1 code=500 message=维护中");
        script.then(DialogWatcher::yes());
        QVERIFY(!page()->reload());
        QVERIFY(script.done());
        QVERIFY(script.titles().contains("未能刷新: 维护中"));
        QCOMPARE(table()->rowCount(), 0);
        QVERIFY(!page()->findChild<QPushButton*>("btnDel")->isEnabled());
        QVERIFY(!page()->findChild<QPushButton*>("btnEdit")->isEnabled());
        // Nor does a binding check go on without the account's list.
        m_env->cloud().command("fault rpc_error method=enum_devices times=1 code=500 message=维护中");
        script.then(DialogWatcher::yes());
        QVERIFY(!page()->checkDeviceBinding());
        QVERIFY(page()->reload());
        QCOMPARE(table()->rowCount(), 1);
    }

    // A token that would not read back from the settings file as it is
    // (an unpaired brace) is refused with the reason, and nothing is stored.
    void aTokenTheSettingsFileCannotHoldIsRefused() {
        m_env->cloud().command(R"({"cmd": "fault", "kind": "result", "method": "create_device", "times": 1, )"
                               R"("value": {"device_id": 77, "device_token": "tok}device.id{1"}})");
        DialogWatcher script;
        script.then(DialogWatcher::type("brace")).then(DialogWatcher::yes());
        openAndCheck(script);
        expectStatus(QString::fromUtf16(DeviceManageWidget::NOT_JOINED_TEXT));
        QVERIFY2(script.find("未能加入") && script.find("未能加入")->text.contains("device.token"),
                 qPrintable(script.titles()));
        QVERIFY(GuiClient::setting(u"device.id").isEmpty());
        QVERIFY(GuiClient::setting(u"device.token").isEmpty());
        QVERIFY(!page()->isDeviceBound());
    }

    // A binding that did not reach the settings file is no binding: the
    // service reads the file, not this window's memory.
    void aBindingTheSettingsFileDidNotGetIsNoBinding() {
        std::string const file = gt::test::utf8(tunnel::ClientConstants::PROPERTIES_FILE());
        DialogWatcher script;
        script
            .then([&](QDialog* dialog) {
                // The file's place is taken by a folder: it cannot be replaced.
                ::unlink(file.c_str());
                ::mkdir(file.c_str(), 0700);
                DialogWatcher::type("unsaved")(dialog);
            })
            .then(DialogWatcher::yes());
        openAndCheck(script);
        expectStatus(QString::fromUtf16(DeviceManageWidget::NOT_JOINED_TEXT));
        QVERIFY2(script.find("未能加入") && script.find("未能加入")->text.contains("properties.cfg"),
                 qPrintable(script.titles()));
        QVERIFY(!page()->isDeviceBound());
        QVERIFY(m_window->context()->userProperties()->get(u"device.token").isEmpty());
        ::rmdir(file.c_str());
    }
};

GT_GUI_CLIENT_TEST_MAIN(DeviceManageWidgetTest)
#include "DeviceManageWidget_test.moc"
