// The access-policy page inside a logged-in main window, against the test
// cloud: the cell texts, the slide, adding and editing through the editor
// (the list reloads and the service is told), deleting (it is not), refusals
// and a store that changed since the table was filled.
//
// Whether the service was told is seen on the signal mailbox: with no
// service program running, "QvrSvr --refresh" removes a left-over
// svr.signal, so the file goes exactly when the page sent the refresh.
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QtTest>
#include <memory>

#include "app/ClientConstants.h"
#include "app/gui/AclManageWidget.h"
#include "app/gui/GuiUtil.h"
#include "app/gui/MainWindow.h"
#include "support/CloudCalls.h"
#include "support/DialogWatcher.h"
#include "support/GuiClient.h"
#include "support/GuiTest.h"

using gt::core::Any;
using gt::core::Array;
using gt::core::Dictionary;
using gt::core::String;
using gt::test::cloudMethods;
using gt::test::cloudParams;
using gt::test::DialogWatcher;
using gt::test::GuiClient;
using gt::test::jsonObject;

namespace {

constexpr int kLoginMs = 30000;

// Two policies: one that shows markup in its name, with a white list and a
// gateway member; one without filter or gateway whose members do not count,
// loaded by the demo forward (set by the test).
constexpr char kFirst[] = R"({"cmd": "put", "kind": "acls", "item": {
    "id": 7, "user_id": 1, "label": "<b>x</b>", "ip_filter": "enabled_white", "gateway": "enabled",
    "ip": {"white": "1.1.1.1;2.2.2.*", "black": "3.3.3.3"},
    "members": [{"name": "abcd", "state": "enabled", "remark": "", "expire_time": 0}]}})";
constexpr char kSecond[] = R"({"cmd": "put", "kind": "acls", "item": {
    "id": 8, "user_id": 1, "label": "second", "ip_filter": "disabled", "gateway": "disabled",
    "ip": {"white": "1.1.1.1", "black": ""},
    "members": [{"name": "m1"}, {"name": "m2"}]}})";

tunnel::Acl acl(char const* ipFilter, int white, int black, char const* gateway, int members, int forwards) {
    tunnel::Acl a;
    a.ip_filter = String::fromUtf8(ipFilter);
    a.gateway = String::fromUtf8(gateway);
    for (int i = 0; i < white; ++i)
        a.white.add(u"1.1.1.1");
    for (int i = 0; i < black; ++i)
        a.black.add(u"2.2.2.2");
    for (int i = 0; i < members; ++i)
        a.members.add(tunnel::AclMember());
    a.forwards = forwards;
    return a;
}

QString signalFile() { return toQString(tunnel::ClientConstants::DATA_DIR()) + "/svr.signal"; }

}  // namespace

Q_DECLARE_METATYPE(tunnel::Acl)

class AclManageWidgetTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<GuiClient> m_env;
    std::unique_ptr<MainWindow> m_window;

    AclManageWidget* page() { return m_window->aclWidget(); }
    QTableWidget* table() { return page()->findChild<QTableWidget*>("tableAcl"); }
    QPushButton* button(char const* name) { return page()->findChild<QPushButton*>(name); }
    QStringList row(int r) {
        QStringList cells;
        for (int c = 0; c < 4; ++c)
            cells << (table()->item(r, c) ? table()->item(r, c)->text() : QStringLiteral("<none>"));
        return cells;
    }
    QStringList column0() {
        QStringList cells;
        for (int r = 0; r < table()->rowCount(); ++r)
            cells << row(r)[0];
        return cells;
    }

    template <class Command>
    std::string command(Command const& command) {
        return gt::test::cloudCommand(m_env->cloud(), command);
    }

    void showPage() {
        QMetaObject::invokeMethod(m_window.get(), "_on_actUtilAcl_triggered");
        QTRY_COMPARE(page()->pos(), QPoint(0, 0));
        QVERIFY(page()->isVisible());
    }
    // A left-over mailbox that "QvrSvr --refresh" removes.
    static void leaveSignalFile() {
        QFile file(signalFile());
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    }
    static bool refreshSent() { return !QFile::exists(signalFile()); }

private slots:
    void initTestCase() {
        m_env.reset(new GuiClient);
        GuiClient::saveAccount(GuiClient::NAME, GuiClient::PASSWORD);
        m_window = m_env->open();
        QVERIFY(m_window);
        QTRY_VERIFY_WITH_TIMEOUT(m_window->isLoggedIn(), kLoginMs);
        // The window starts the service program; the test wants none.
        QTRY_VERIFY_WITH_TIMEOUT(m_window->svrControl()->isRunning(), kLoginMs);
        m_window->svrControl()->killConsole();
    }
    void init() {
        // The two policies alone (loading a state would end the session).
        std::string const state = m_env->cloud().command("state");
        QVERIFY(state.rfind("ok ", 0) == 0);
        for (QJsonValue const& stored : QJsonDocument::fromJson(QByteArray::fromStdString(state.substr(3)))
                                            .object()
                                            .value("acls")
                                            .toArray())
            QCOMPARE(command(QJsonObject{
                         {"cmd", "remove"}, {"kind", "acls"}, {"id", stored.toObject().value("id")}}),
                     std::string("ok"));
        QCOMPARE(command(kFirst), std::string("ok"));
        QCOMPARE(command(kSecond), std::string("ok"));
        Dictionary<Any> fields;
        fields.set(u"acl_id", Any(8LL));
        QVERIFY(m_window->context()->apiClient()->modifyForward(100, fields));
        showPage();
        m_env->cloud().command("forget");
        leaveSignalFile();
    }
    void cleanup() {
        page()->closePage();
        QTRY_VERIFY(!page()->isVisible());
        m_env->cloud().command("clear");
        m_env->cloud().command("forget");
    }
    void cleanupTestCase() { m_env->reset(m_window); }

    void cellTexts_data() {
        QTest::addColumn<tunnel::Acl>("policy");
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QString>("gateway");
        QTest::addColumn<QString>("load");
        QTest::newRow("list of a filter that is off") << acl("disabled", 3, 0, "disabled", 0, 0) << "不限制"
                                                      << "不使用"
                                                      << "无";
        QTest::newRow("empty white list") << acl("enabled_white", 0, 4, "enabled", 0, 2) << "白名单 0 条"
                                          << "成员 0 个"
                                          << "映射 2 条";
        QTest::newRow("black list") << acl("enabled_black", 1, 2, "disabled", 5, 1) << "黑名单 2 条"
                                    << "不使用"
                                    << "映射 1 条";
        QTest::newRow("unknown texts") << acl("Enabled_White", 1, 1, "ENABLED", 1, -3) << "不限制"
                                       << "不使用"
                                       << "无";
    }
    void cellTexts() {
        QFETCH(tunnel::Acl, policy);
        QFETCH(QString, filter);
        QFETCH(QString, gateway);
        QFETCH(QString, load);
        QCOMPARE(AclManageWidget::ipFilterText(policy), filter);
        QCOMPARE(AclManageWidget::gatewayText(policy), gateway);
        QCOMPARE(AclManageWidget::forwardsText(policy), load);
    }

    void tableShowsThePoliciesAndSlidesOut() {
        QCOMPARE(table()->rowCount(), 2);
        // The cloud's texts go into plain cells: markup shows as typed.
        QCOMPARE(row(0), QStringList({"<b>x</b>", "白名单 2 条", "成员 1 个", "无"}));
        QCOMPARE(row(1), QStringList({"second", "不限制", "不使用", "映射 1 条"}));
        QCOMPARE(table()->horizontalHeaderItem(0)->text(), "策略名称");
        QCOMPARE(table()->horizontalHeaderItem(3)->text(), "有效加载");
        QVERIFY(!button("btnEdit")->isEnabled());
        QVERIFY(!button("btnDel")->isEnabled());
        QVERIFY(button("btnCreate")->isEnabled());
        table()->selectRow(1);
        QVERIFY(button("btnEdit")->isEnabled());
        QVERIFY(button("btnDel")->isEnabled());

        // Escape slides the page out; it hides when the slide ends.
        QTest::keyClick(m_window.get(), Qt::Key_Escape);
        QVERIFY(page()->isVisible());
        QTRY_VERIFY(!page()->isVisible());
        QVERIFY(table()->selectedItems().isEmpty());
        QTest::keyClick(m_window.get(), Qt::Key_Escape);
        QVERIFY(!page()->isVisible());
        QVERIFY(!refreshSent());
    }

    void addingReloadsAndTellsTheService() {
        DialogWatcher script;
        script.then([](QDialog* editor) {
            editor->findChild<QLineEdit*>("editLabel")->setText("新策略");
            gt::test::click(editor, "btnOK");
        });
        QTest::mouseClick(button("btnCreate"), Qt::LeftButton);
        QTRY_VERIFY(script.done());
        QCOMPARE(script.seen().count(), 1);
        QCOMPARE(script.seen()[0].title, "编辑策略");
        QList<QJsonObject> const creates = cloudParams(m_env->cloud(), "create_acl");
        QCOMPARE(creates.count(), 1);
        QCOMPARE(creates[0].value("acl").toObject().value("id").toInteger(), -1);
        QCOMPARE(creates[0].value("acl").toObject().value("label").toString(), "新策略");
        QStringList const methods = cloudMethods(m_env->cloud());
        QVERIFY2(methods.indexOf("enum_acls") > methods.indexOf("create_acl"), qPrintable(methods.join(",")));
        QCOMPARE(column0(), QStringList({"<b>x</b>", "second", "新策略"}));
        QVERIFY(refreshSent());
    }

    void cancelledEditorChangesNothing() {
        DialogWatcher script;
        script.then([](QDialog* editor) { gt::test::click(editor, "btnCancel"); });
        QTest::mouseClick(button("btnCreate"), Qt::LeftButton);
        QTRY_VERIFY(script.done());
        QCOMPARE(cloudMethods(m_env->cloud()).filter("acl"), QStringList());
        QVERIFY(!refreshSent());
    }

    void doubleClickEditsThatPolicy() {
        QString shown;
        DialogWatcher script;
        script.then([&](QDialog* editor) {
            QLineEdit* label = editor->findChild<QLineEdit*>("editLabel");
            shown = label->text();
            label->setText("renamed");
            gt::test::click(editor, "btnOK");
        });
        QRect const rect = table()->visualItemRect(table()->item(1, 0));
        QTest::mouseClick(table()->viewport(), Qt::LeftButton, Qt::NoModifier, rect.center());
        QTest::mouseDClick(table()->viewport(), Qt::LeftButton, Qt::NoModifier, rect.center());
        QTRY_VERIFY(script.done());
        QCOMPARE(shown, "second");
        QList<QJsonObject> const modifies = cloudParams(m_env->cloud(), "modify_acl");
        QCOMPARE(modifies.count(), 1);
        QCOMPARE(modifies[0].value("acl_id").toInteger(), 8);
        QStringList const methods = cloudMethods(m_env->cloud());
        QVERIFY(methods.indexOf("enum_acls") > methods.indexOf("modify_acl"));
        QCOMPARE(column0(), QStringList({"<b>x</b>", "renamed"}));
        QVERIFY(refreshSent());
    }

    void deletingAsksReloadsAndTellsTheServiceNothing() {
        table()->selectRow(0);
        DialogWatcher script;
        script.then(DialogWatcher::no()).then(DialogWatcher::yes());
        QTest::mouseClick(button("btnDel"), Qt::LeftButton);
        QVERIFY(cloudParams(m_env->cloud(), "remove_acl").isEmpty());
        QTest::mouseClick(button("btnDel"), Qt::LeftButton);
        QTRY_VERIFY(script.done());
        QCOMPARE(script.seen()[0].title, "删除访问策略");
        QCOMPARE(script.seen()[0].text, "该访问策略删除后，配置不可恢复。确认删除？");
        QList<QJsonObject> const removes = cloudParams(m_env->cloud(), "remove_acl");
        QCOMPARE(removes.count(), 1);
        QCOMPARE(removes[0].value("acl_id").toInteger(), 7);
        QCOMPARE(column0(), QStringList{"second"});
        QVERIFY(!refreshSent());
        // The row that moved up is not selected in the deleted one's place.
        QVERIFY(table()->selectedItems().isEmpty());
        QVERIFY(!button("btnDel")->isEnabled());
        QVERIFY(!button("btnEdit")->isEnabled());
    }

    void refusedDeletionShowsTheReasonAndKeepsTheRows() {
        QString const reason = QStringLiteral("<b>在用</b> & loaded");
        QCOMPARE(command(QJsonObject{{"cmd", "fault"},
                                     {"kind", "rpc_error"},
                                     {"code", 203},
                                     {"message", reason},
                                     {"method", "remove_acl"},
                                     {"times", 1}}),
                 std::string("ok"));
        table()->selectRow(1);
        DialogWatcher script;
        script.then(DialogWatcher::yes()).then(DialogWatcher::ok());
        QTest::mouseClick(button("btnDel"), Qt::LeftButton);
        QTRY_VERIFY(script.done());
        QCOMPARE(script.seen().count(), 2);
        QCOMPARE(script.seen()[1].title, "未能删除");
        QCOMPARE(script.seen()[1].text, reason);
        QCOMPARE(cloudMethods(m_env->cloud()).filter("enum_acls"), QStringList());
        QCOMPARE(column0(), QStringList({"<b>x</b>", "second"}));
    }

    void failedReloadKeepsTheRows() {
        page()->closePage();
        QTRY_VERIFY(!page()->isVisible());
        QCOMPARE(command(R"({"cmd": "remove", "kind": "acls", "id": 7})"), std::string("ok"));
        QCOMPARE(command(R"({"cmd": "fault", "kind": "rpc_error", "code": 500, "message": "busy",
                            "method": "enum_acls", "times": 1})"),
                 std::string("ok"));
        DialogWatcher script;
        script.then(DialogWatcher::ok());
        QVERIFY(!page()->showPage());
        QTRY_VERIFY(script.done());
        QCOMPARE(script.seen()[0].title, "未能刷新");
        QCOMPARE(column0(), QStringList({"<b>x</b>", "second"}));
        QVERIFY(page()->reload());
        QCOMPARE(column0(), QStringList{"second"});
    }

    void rowsStandForThePolicyTheyShow() {
        // The store is refreshed elsewhere after the table was filled.
        Array<tunnel::Acl> const shown = m_window->aclManager()->acls();
        Array<tunnel::Acl> reversed;
        reversed.add(shown[1]);
        reversed.add(shown[0]);
        m_window->aclManager()->setAcls(reversed);
        table()->selectRow(0);
        DialogWatcher script;
        script.then(DialogWatcher::yes());
        QTest::mouseClick(button("btnDel"), Qt::LeftButton);
        QTRY_VERIFY(script.done());
        QList<QJsonObject> const removes = cloudParams(m_env->cloud(), "remove_acl");
        QCOMPARE(removes.count(), 1);
        QCOMPARE(removes[0].value("acl_id").toInteger(), 7);

        // A row whose policy is no longer stored does nothing.
        Array<tunnel::Acl> none;
        m_window->aclManager()->setAcls(none);
        table()->selectRow(0);
        DialogWatcher quiet;
        QTest::mouseClick(button("btnDel"), Qt::LeftButton);
        QTest::mouseClick(button("btnEdit"), Qt::LeftButton);
        QTest::qWait(100);
        QVERIFY(quiet.seen().isEmpty());
    }
};

GT_GUI_CLIENT_TEST_MAIN(AclManageWidgetTest)
#include "AclManageWidget_test.moc"
