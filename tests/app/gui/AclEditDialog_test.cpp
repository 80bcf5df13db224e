// The access-policy editor over a logged-in main window and the test cloud:
// how it shows a new and a stored policy, the list text it sends (the exact
// "acl" object the cloud records for create_acl and modify_acl), the gateway
// question, the member dialog's changes kept or dropped, refusals, the
// section bar and the wheel over the combo boxes.
#include <QComboBox>
#include <QJsonArray>
#include <QJsonObject>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QWheelEvent>
#include <QtTest>
#include <functional>
#include <memory>

#include "app/gui/AclEditDialog.h"
#include "app/gui/AclMemberDialog.h"
#include "app/gui/GuiUtil.h"
#include "app/gui/MainWindow.h"
#include "support/CloudCalls.h"
#include "support/DialogWatcher.h"
#include "support/GuiClient.h"
#include "support/GuiTest.h"

using gt::core::Array;
using gt::core::String;
using gt::test::cloudParams;
using gt::test::DialogWatcher;
using gt::test::GuiClient;
using gt::test::jsonObject;

namespace {

constexpr int kLoginMs = 30000;
constexpr long long kPolicyId = 5;

// A stored policy: black list on, white list waiting, the gateway on with a
// member whose expiry the cloud gives as null.
constexpr char kStored[] = R"({"cmd": "put", "kind": "acls", "item": {
    "id": 5, "user_id": 1, "label": "office", "ip_filter": "enabled_black", "gateway": "enabled",
    "create_time": 1700000000, "ip": {"white": "9.9.9.9", "black": "1.2.3.4;10.0.*.*"},
    "members": [{"name": "abcd", "pwd": "cloud-digest", "state": "enabled", "remark": "r",
                 "expire_time": null}]}})";

QStringList list(Array<String> const& entries) {
    QStringList out;
    for (String const& entry : entries)
        out << toQString(entry);
    return out;
}

}  // namespace

class AclEditDialogTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<GuiClient> m_env;
    std::unique_ptr<MainWindow> m_window;

    template <class T>
    static T* child(QWidget* parent, char const* name) {
        T* widget = parent->findChild<T*>(QString::fromLatin1(name));
        if (!widget) qFatal("no %s", name);
        return widget;
    }

    std::string command(QJsonObject const& object) { return gt::test::cloudCommand(m_env->cloud(), object); }

    tunnel::Acl storedPolicy() {
        [&] { QCOMPARE(command(jsonObject(kStored)), std::string("ok")); }();
        tunnel::Acl acl;
        [&] {
            QVERIFY(m_window->refreshAcls());
            QVERIFY(m_window->aclManager()->find(kPolicyId, &acl));
        }();
        return acl;
    }

    // Runs the editor on acl: body acts on it from inside its loop, prompts
    // answer the boxes that body makes it show. exec's result.
    bool run(tunnel::Acl const& acl, std::function<void(AclEditDialog*)> body,
             QList<DialogWatcher::Step> const& prompts = {}) {
        AclEditDialog editor(m_window.get());
        DialogWatcher script;
        script.then([&](QDialog*) { body(&editor); });
        for (DialogWatcher::Step const& step : prompts)
            script.then(step);
        bool const saved = editor.exec(acl);
        [&] { QVERIFY2(script.done(), qPrintable(script.titles())); }();
        [&] { QCOMPARE(script.unexpected(), 0); }();
        m_lastSeen = script.seen();
        return saved;
    }
    QList<DialogWatcher::Seen> m_lastSeen;

    static void typeInto(QPlainTextEdit* box, QStringList const& lines) {
        box->selectAll();
        QTest::keyClick(box, Qt::Key_Delete);
        for (int i = 0; i < lines.count(); ++i) {
            if (i > 0) QTest::keyClick(box, Qt::Key_Return);
            QTest::keyClicks(box, lines[i]);
        }
    }

private slots:
    void initTestCase() {
        m_env.reset(new GuiClient);
        GuiClient::saveAccount(GuiClient::NAME, GuiClient::PASSWORD);
        m_window = m_env->open();
        QVERIFY(m_window);
        QTRY_VERIFY_WITH_TIMEOUT(m_window->isLoggedIn(), kLoginMs);
    }
    void cleanup() {
        m_env->cloud().command("clear");
        m_env->cloud().command("forget");
    }
    void cleanupTestCase() { m_env->reset(m_window); }

    void listText_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("entries");
        QTest::newRow("empty") << "" << QStringList();
        QTest::newRow("one entry") << "1.2.3.4" << QStringList{"1.2.3.4"};
        QTest::newRow("blank line and final break") << "1.1.1.1\n\n2.2.2.2\n"
                                                    << QStringList{"1.1.1.1", "2.2.2.2", ""};
        QTest::newRow("CR LF and bare CR") << "a\r\nb\rc\r\n\r\nd" << QStringList{"a", "b", "c", "d"};
        QTest::newRow("break at the start") << "\n\n\na" << QStringList{"", "a"};
        QTest::newRow("blanks and wildcards kept") << " 10.0.*.* \n*" << QStringList{" 10.0.*.* ", "*"};
        QTest::newRow("only breaks") << "\r\n\r\n" << QStringList{"", ""};
    }
    void listText() {
        QFETCH(QString, text);
        QFETCH(QStringList, entries);
        QCOMPARE(list(AclEditDialog::parseList(text)), entries);
    }

    void newPolicyOpensBlankAndCreatesAsIs() {
        QString hint;
        bool boxEnabled = true;
        int filter = -1;
        int gateway = -1;
        bool secondExec = true;
        bool const saved = run(tunnel::Acl(), [&](AclEditDialog* editor) {
            QPlainTextEdit* box = child<QPlainTextEdit>(editor, "editIp");
            hint = box->toPlainText();
            boxEnabled = box->isEnabled();
            filter = child<QComboBox>(editor, "comboBoxIpFilter")->currentIndex();
            gateway = child<QComboBox>(editor, "comboBoxGateway")->currentIndex();
            secondExec = editor->exec(tunnel::Acl());
            gt::test::click(editor, "btnOK");
        });
        QVERIFY(saved);
        QCOMPARE(hint, QString::fromUtf16(AclEditDialog::IP_HINT));
        QVERIFY(!boxEnabled);
        QCOMPARE(filter, 0);
        QCOMPARE(gateway, 0);
        QVERIFY(!secondExec);
        QList<QJsonObject> const creates = cloudParams(m_env->cloud(), "create_acl");
        QCOMPARE(creates.count(), 1);
        QCOMPARE(creates[0].value("acl").toObject(),
                 jsonObject(R"({"id": -1, "label": "", "ip_filter": "disabled", "gateway": "disabled",
                               "create_time": 0, "ip": {"white": "", "black": ""}, "members": [],
                               "forwards": 0})"));
        QVERIFY(cloudParams(m_env->cloud(), "modify_acl").isEmpty());
    }

    void storedPolicyShowsItsListsAndSendsWhatWasTyped() {
        tunnel::Acl const acl = storedPolicy();
        QString blackShown;
        bool blackEnabled = false;
        int filter = -1;
        int gateway = -1;
        QString whiteWaiting;
        QString whiteShown;
        bool const saved = run(acl, [&](AclEditDialog* editor) {
            QPlainTextEdit* box = child<QPlainTextEdit>(editor, "editIp");
            QComboBox* mode = child<QComboBox>(editor, "comboBoxIpFilter");
            filter = mode->currentIndex();
            gateway = child<QComboBox>(editor, "comboBoxGateway")->currentIndex();
            blackShown = box->toPlainText();
            blackEnabled = box->isEnabled();
            whiteWaiting = box->property(AclEditDialog::IP_WHITE).toString();
            mode->setCurrentIndex(AclEditDialog::IP_WHITE_LIST);
            whiteShown = box->toPlainText();
            typeInto(box, {"1.1.1.1", "", "2.2.2.2", ""});
            // Back to no filter: both lists stay as last typed.
            mode->setCurrentIndex(AclEditDialog::IP_DISABLED);
            child<QLineEdit>(editor, "editLabel")->setText(QStringLiteral(" 办公室 "));
            gt::test::click(editor, "btnOK");
        });
        QVERIFY(saved);
        QCOMPARE(filter, 2);
        // A policy whose gateway is on opens without the question.
        QCOMPARE(gateway, 1);
        QCOMPARE(m_lastSeen.count(), 1);
        QCOMPARE(blackShown, "1.2.3.4\n10.0.*.*");
        QVERIFY(blackEnabled);
        QCOMPARE(whiteWaiting, "9.9.9.9");
        QCOMPARE(whiteShown, "9.9.9.9");

        QList<QJsonObject> const modifies = cloudParams(m_env->cloud(), "modify_acl");
        QCOMPARE(modifies.count(), 1);
        QCOMPARE(modifies[0].value("acl_id").toInteger(), kPolicyId);
        QCOMPARE(modifies[0].value("acl").toObject(),
                 jsonObject(R"({"id": 5, "label": " 办公室 ", "ip_filter": "disabled", "gateway": "enabled",
                               "create_time": 1700000000,
                               "ip": {"white": "1.1.1.1;2.2.2.2;", "black": "1.2.3.4;10.0.*.*"},
                               "members": [{"name": "abcd", "pwd": "", "state": "enabled", "remark": "r",
                                            "expire_time": 0}],
                               "forwards": 0})"));
        QVERIFY(cloudParams(m_env->cloud(), "create_acl").isEmpty());
    }

    void gatewayAsksBeforeItTurnsOn() {
        QList<int> indexes;
        bool const saved = run(tunnel::Acl(),
                               [&](AclEditDialog* editor) {
                                   QComboBox* gateway = child<QComboBox>(editor, "comboBoxGateway");
                                   // The user's choices: "强制开启" twice (refused, then agreed), then
                                   // "不使用".
                                   QTest::keyClick(gateway, Qt::Key_Down);
                                   indexes << gateway->currentIndex();
                                   QTest::keyClick(gateway, Qt::Key_Down);
                                   indexes << gateway->currentIndex();
                                   QTest::keyClick(gateway, Qt::Key_Up);
                                   indexes << gateway->currentIndex();
                                   gt::test::click(editor, "btnCancel");
                               },
                               {DialogWatcher::no(), DialogWatcher::yes()});
        QVERIFY(!saved);
        QCOMPARE(indexes, QList<int>({0, 1, 0}));
        QCOMPARE(m_lastSeen.count(), 3);
        for (int i : {1, 2}) {
            QCOMPARE(m_lastSeen[i].className, "InformationDialog");
            QCOMPARE(m_lastSeen[i].title, "网关授权");
            QVERIFY2(m_lastSeen[i].text.contains("访问者必须同时运行网关服务（详细说明）。"),
                     qPrintable(m_lastSeen[i].text));
            QVERIFY(m_lastSeen[i].text.endsWith("确认开启？"));
        }
        QVERIFY(cloudParams(m_env->cloud(), "create_acl").isEmpty());
    }

    void membersGoOutWithTheSaveAndNotWithACancel_data() {
        QTest::addColumn<bool>("save");
        QTest::newRow("saved") << true;
        QTest::newRow("cancelled") << false;
    }
    void membersGoOutWithTheSaveAndNotWithACancel() {
        QFETCH(bool, save);
        tunnel::Acl const acl = storedPolicy();
        bool const saved =
            run(acl,
                [&](AclEditDialog* editor) {
                    gt::test::click(editor, "btnMember");
                    gt::test::click(editor, save ? "btnOK" : "btnCancel");
                },
                {[](QDialog* members) {
                     gt::test::click(members, "btnAdd");
                     members->close();
                 },
                 DialogWatcher::type("newbie"), DialogWatcher::type("pw"), DialogWatcher::type("")});
        QCOMPARE(saved, save);
        QCOMPARE(m_lastSeen[1].className, "AclMemberDialog");
        QList<QJsonObject> const modifies = cloudParams(m_env->cloud(), "modify_acl");
        // The caller's record is never changed: the editor works on a copy.
        QCOMPARE(acl.members.count(), 1);
        if (!save) {
            QVERIFY(modifies.isEmpty());
            return;
        }
        QCOMPARE(modifies.count(), 1);
        QJsonArray const members = modifies[0].value("acl").toObject().value("members").toArray();
        QCOMPARE(members.count(), 2);
        QCOMPARE(members[0].toObject(), jsonObject(R"({"name": "abcd", "pwd": "", "state": "enabled",
                                                      "remark": "r", "expire_time": 0})"));
        QJsonObject added =
            jsonObject(R"({"name": "newbie", "state": "enabled", "remark": "", "expire_time": 0})");
        added.insert("pwd", toQString(AclMemberDialog::passwordDigest("pw")));
        QCOMPARE(members[1].toObject(), added);
    }

    void refusalWarnsAndKeepsTheEditorOpen_data() {
        QTest::addColumn<bool>("stored");
        QTest::addColumn<QString>("method");
        QTest::addColumn<QString>("title");
        QTest::newRow("create") << false << "create_acl"
                                << "未能创建";
        QTest::newRow("modify") << true << "modify_acl"
                                << "未能保存";
    }
    void refusalWarnsAndKeepsTheEditorOpen() {
        QFETCH(bool, stored);
        QFETCH(QString, method);
        QFETCH(QString, title);
        tunnel::Acl const acl = stored ? storedPolicy() : tunnel::Acl();
        // The cloud's reason is shown as it is, markup and all.
        QString const reason = QStringLiteral("<b>refused</b> & <i>why</i>");
        QJsonObject fault{{"cmd", "fault"},    {"kind", "rpc_error"}, {"code", 203},
                          {"message", reason}, {"method", method},    {"times", 1}};
        QCOMPARE(command(fault), std::string("ok"));
        bool openAfterRefusal = false;
        QString labelAfterRefusal;
        bool const saved = run(acl,
                               [&](AclEditDialog* editor) {
                                   child<QLineEdit>(editor, "editLabel")->setText("second try");
                                   gt::test::click(editor, "btnOK");
                                   openAfterRefusal = editor->isVisible();
                                   labelAfterRefusal = child<QLineEdit>(editor, "editLabel")->text();
                                   gt::test::click(editor, "btnOK");
                               },
                               {DialogWatcher::ok()});
        QVERIFY(saved);
        QVERIFY(openAfterRefusal);
        QCOMPARE(labelAfterRefusal, "second try");
        QCOMPARE(m_lastSeen.count(), 2);
        QCOMPARE(m_lastSeen[1].title, title);
        QCOMPARE(m_lastSeen[1].text, reason);
        QList<QJsonObject> const calls = cloudParams(m_env->cloud(), method);
        QCOMPARE(calls.count(), 2);
        QCOMPARE(calls[0].value("acl"), calls[1].value("acl"));
    }

    void sectionBarFollowsTheColumn() {
        run(tunnel::Acl(), [&](AclEditDialog* editor) {
            QScrollBar* bar = child<QScrollArea>(editor, "scrollAreaMain")->verticalScrollBar();
            QPushButton* sections[] = {child<QPushButton>(editor, "btnSection1"),
                                       child<QPushButton>(editor, "btnSection2"),
                                       child<QPushButton>(editor, "btnSection3")};
            QWidget* section2 = child<QWidget>(editor, "labelSection2");
            QVERIFY(sections[0]->isChecked());
            QVERIFY(bar->maximum() > 0);
            bar->setValue(bar->maximum());
            QVERIFY(sections[2]->isChecked());
            bar->setValue(bar->maximum() - 1);
            QVERIFY(sections[1]->isChecked());
            QTest::mouseClick(sections[0], Qt::LeftButton);
            QCOMPARE(bar->value(), 0);
            QVERIFY(sections[0]->isChecked());
            QTest::mouseClick(sections[1], Qt::LeftButton);
            QCOMPARE(bar->value(), section2->y());
            QVERIFY(sections[1]->isChecked());

            // The wheel over a combo box neither picks an entry nor scrolls.
            for (char const* name : {"comboBoxIpFilter", "comboBoxGateway"}) {
                QComboBox* combo = child<QComboBox>(editor, name);
                int const before = combo->currentIndex();
                int const scrolled = bar->value();
                QPointF const at(combo->width() / 2, combo->height() / 2);
                QWheelEvent wheel(at, combo->mapToGlobal(at), QPoint(), QPoint(0, -120), Qt::NoButton,
                                  Qt::NoModifier, Qt::NoScrollPhase, false);
                QApplication::sendEvent(combo, &wheel);
                QCOMPARE(combo->currentIndex(), before);
                QCOMPARE(bar->value(), scrolled);
            }
            gt::test::click(editor, "btnClose");
        });
        QVERIFY(cloudParams(m_env->cloud(), "create_acl").isEmpty());
    }

    void listHelpShowsTheThreeParagraphs() {
        run(tunnel::Acl(),
            [&](AclEditDialog* editor) {
                gt::test::click(editor, "btnIpTip");
                gt::test::click(editor, "btnCancel");
            },
            {DialogWatcher::ok()});
        QCOMPARE(m_lastSeen.count(), 2);
        QCOMPARE(m_lastSeen[1].title, "地址授权");
        for (char const* heading : {"开启IP白名单", "开启IP黑名单", "列表格式"})
            QVERIFY2(m_lastSeen[1].text.contains(QString::fromUtf8(heading)), qPrintable(m_lastSeen[1].text));
        QVERIFY(!m_lastSeen[1].text.contains("<p>"));
    }
};

GT_GUI_CLIENT_TEST_MAIN(AclEditDialogTest)
#include "AclEditDialog_test.moc"
