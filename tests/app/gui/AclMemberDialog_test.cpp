// The gateway member dialog: its expiry texts and days rule at fixed times
// (the tests run in UTC+8), adding with its checks and masked password,
// deleting in order, the row actions and the context menu, driven through
// the dialog's own input and message boxes.
#include <QAction>
#include <QContextMenuEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTableWidget>
#include <QtTest>
#include <functional>

#include "app/gui/AclMemberDialog.h"
#include "app/gui/GuiUtil.h"
#include "support/DialogWatcher.h"
#include "support/GuiTest.h"

using gt::core::Array;
using gt::core::DateTime;
using gt::core::String;
using gt::test::DialogWatcher;
using tunnel::AclMember;

namespace {

// 2024-03-10 12:00:00 in UTC+8, and that day's local midnight.
constexpr long long kNoon = 1710043200;
constexpr long long kMidnight = 1710000000;
constexpr long long kDay = 86400;
constexpr int kInput = QLineEdit::Normal;
constexpr int kMasked = QLineEdit::Password;

AclMember member(char const* name, char const* state = "enabled", long long expire = 0) {
    AclMember m;
    m.name = String::fromUtf8(name);
    m.state = String::fromUtf8(state);
    m.expire_time = DateTime(expire);
    return m;
}

QStringList names(Array<AclMember> const& members) {
    QStringList list;
    for (AclMember const& m : members)
        list << toQString(m.name);
    return list;
}

// Midnight today plus days, as the dialog computes it now.
long long fromToday(int days) { return DateTime::now().date().seconds() + days * kDay; }

}  // namespace

class AclMemberDialogTest : public QObject {
    Q_OBJECT

private:
    // Runs the dialog on members with body acting on it from inside its
    // loop (the dialog closes after it) and prompts answering the boxes
    // body makes it show. Returns the script for its notes.
    std::unique_ptr<DialogWatcher> run(Array<AclMember>* members, std::function<void(AclMemberDialog*)> body,
                                       QList<DialogWatcher::Step> const& prompts = {}) {
        AclMemberDialog dialog(nullptr);
        auto script = std::make_unique<DialogWatcher>();
        script->then([&](QDialog*) {
            body(&dialog);
            dialog.close();
        });
        for (DialogWatcher::Step const& step : prompts)
            script->then(step);
        dialog.exec(members);
        [&] { QVERIFY2(script->done(), qPrintable(script->titles())); }();
        [&] { QCOMPARE(script->unexpected(), 0); }();
        return script;
    }

    static QTableWidget* table(AclMemberDialog* dialog) {
        return dialog->findChild<QTableWidget*>("tableMember");
    }
    static QString cell(AclMemberDialog* dialog, int row, int column) {
        QTableWidgetItem* item = table(dialog)->item(row, column);
        return item ? item->text() : QStringLiteral("<none>");
    }
    static void select(AclMemberDialog* dialog, int row) { table(dialog)->setCurrentCell(row, 0); }
    static QAction* action(AclMemberDialog* dialog, QString const& text) {
        for (QAction* a : dialog->findChild<QMenu*>()->actions())
            if (a->text() == text) return a;
        return nullptr;
    }

private slots:
    void initTestCase() { gt::test::filterQtMessages(); }

    void expiryText_data() {
        QTest::addColumn<QString>("state");
        QTest::addColumn<qlonglong>("expire");
        QTest::addColumn<qlonglong>("now");
        QTest::addColumn<QString>("text");
        QTest::newRow("never") << "enabled" << 0LL << kNoon << "永不过期";
        QTest::newRow("no state, never") << "" << 0LL << kNoon << "永不过期";
        QTest::newRow("disabled with a date") << "disabled" << kNoon + 5 * kDay << kNoon << "停用";
        QTest::newRow("disabled, never") << "disabled" << 0LL << kNoon << "停用";
        QTest::newRow("a second ago") << "enabled" << kNoon - 1 << kNoon << "2024-03-10 已到期";
        QTest::newRow("long ago") << "enabled" << 86400LL << kNoon << "1970-01-02 已到期";
        QTest::newRow("right now") << "enabled" << kNoon << kNoon << "2024-03-10 0天";
        QTest::newRow("ten hours") << "enabled" << kNoon + 36000 << kNoon << "2024-03-10 0天";
        QTest::newRow("one and a half days")
            << "enabled" << kMidnight + 2 * kDay << kNoon << "2024-03-12 1天";
        QTest::newRow("two days at midnight")
            << "enabled" << kMidnight + 2 * kDay << kMidnight << "2024-03-12 2天";
        QTest::newRow("a thousand days")
            << "enabled" << kMidnight + 1000 * kDay << kNoon << "2026-12-05 999天";
    }
    void expiryText() {
        QFETCH(QString, state);
        QFETCH(qlonglong, expire);
        QFETCH(qlonglong, now);
        QFETCH(QString, text);
        AclMember m = member("abcd", state.toUtf8().constData(), expire);
        QCOMPARE(AclMemberDialog::expiryText(m, DateTime(now)), text);
    }

    void expiryFromDays_data() {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<qlonglong>("now");
        QTest::addColumn<qlonglong>("expire");
        QTest::newRow("blank") << "" << kNoon << 0LL;
        QTest::newRow("zero") << "0" << kNoon << 0LL;
        QTest::newRow("negative") << "-5" << kNoon << 0LL;
        QTest::newRow("a thousand") << "1000" << kNoon << 0LL;
        QTest::newRow("no digits") << "abc" << kNoon << 0LL;
        QTest::newRow("beyond int") << "99999999999" << kNoon << 0LL;
        QTest::newRow("one") << "1" << kNoon << kMidnight + 2 * kDay;
        QTest::newRow("one at midnight") << "1" << kMidnight << kMidnight + 2 * kDay;
        QTest::newRow("one a second before midnight") << "1" << kMidnight + kDay - 1 << kMidnight + 2 * kDay;
        QTest::newRow("blanks and sign") << "  +7" << kNoon << kMidnight + 8 * kDay;
        QTest::newRow("digits then text") << "12天" << kNoon << kMidnight + 13 * kDay;
        QTest::newRow("largest") << "999" << kNoon << kMidnight + 1000 * kDay;
    }
    void expiryFromDays() {
        QFETCH(QString, answer);
        QFETCH(qlonglong, now);
        QFETCH(qlonglong, expire);
        QCOMPARE(AclMemberDialog::expiryFromDays(fromQString(answer), DateTime(now)).seconds(), expire);
    }

    void passwordDigestIsMd5OfUtf8() {
        QCOMPARE(toQString(AclMemberDialog::passwordDigest("secret")), "5ebe2294ecd0e0f08eab7690d2a6ee69");
        QCOMPARE(toQString(AclMemberDialog::passwordDigest("密码 1")), "1e845287b3a02a1ad61a58c5aaa7b1e0");
    }

    void addingTrimsTheNameMasksThePasswordAndSetsTheExpiry() {
        Array<AclMember> members;
        members.add(member("old-member"));
        bool tipHiddenAtOpen = false;
        bool tipShownAfter = false;
        QString expiryCell;
        long long const before = fromToday(2);
        auto script = run(&members,
                          [&](AclMemberDialog* dialog) {
                              tipHiddenAtOpen = !dialog->findChild<QLabel*>("labelTip")->isVisible();
                              gt::test::click(dialog, "btnAdd");
                              tipShownAfter = dialog->findChild<QLabel*>("labelTip")->isVisible();
                              expiryCell = cell(dialog, 1, 1);
                          },
                          {DialogWatcher::type("  abcd  "), DialogWatcher::type(""), DialogWatcher::ok(),
                           DialogWatcher::type("secret"), DialogWatcher::type("1")});
        long long const after = fromToday(2);

        QCOMPARE(names(members), QStringList({"old-member", "abcd"}));
        AclMember const& added = members[1];
        QCOMPARE(toQString(added.pwd), "5ebe2294ecd0e0f08eab7690d2a6ee69");
        QCOMPARE(toQString(added.state), "enabled");
        QCOMPARE(toQString(added.remark), "");
        QVERIFY(added.expire_time.seconds() == before || added.expire_time.seconds() == after);
        QVERIFY2(expiryCell.endsWith(" 1天") || expiryCell.endsWith(" 2天"), qPrintable(expiryCell));
        QVERIFY(members[0].pwd.isEmpty());
        QVERIFY(tipHiddenAtOpen);
        QVERIFY(tipShownAfter);

        QList<DialogWatcher::Seen> const& seen = script->seen();
        QCOMPARE(seen.count(), 6);
        struct Expected {
            char const* title;
            char const* text;
            int echo;
        } const expected[] = {
            {"添加成员", "新账号（字母与数字，长度4至24位）：", kInput},
            {"密码", "请输入密码：", kMasked},
            {"添加成员", "请输入密码", -1},
            {"密码", "请输入密码：", kMasked},
            {"到期时间", "请输入到期天数（留空则永不到期）：", kInput},
        };
        for (int i = 0; i < 5; ++i) {
            QCOMPARE(seen[i + 1].title, QString::fromUtf8(expected[i].title));
            QCOMPARE(seen[i + 1].text, QString::fromUtf8(expected[i].text));
            QCOMPARE(seen[i + 1].echo, expected[i].echo);
        }
    }

    void addingRefusesBadNamesAndAddsNothingWhenCancelled_data() {
        QTest::addColumn<QStringList>("answers");  // "-" cancels that box
        QTest::addColumn<QStringList>("notices");
        QTest::newRow("short, long, taken, then cancel")
            << QStringList{"abc", QString(25, 'x'), "ABCD", "-"}
            << QStringList{"请输入有效的账号格式", "请输入有效的账号格式", "账号已存在"};
        QTest::newRow("blanks only count as nothing")
            << QStringList{"    ab    ", "-"} << QStringList{"请输入有效的账号格式"};
        QTest::newRow("cancel at the password") << QStringList{"newer", "-"} << QStringList{};
        QTest::newRow("cancel at the expiry") << QStringList{"newer", "pw", "-"} << QStringList{};
    }
    void addingRefusesBadNamesAndAddsNothingWhenCancelled() {
        QFETCH(QStringList, answers);
        QFETCH(QStringList, notices);
        Array<AclMember> members;
        members.add(member("abcd"));
        QList<DialogWatcher::Step> prompts;
        for (int i = 0; i < answers.count(); ++i) {
            prompts << (answers[i] == "-" ? DialogWatcher::cancel() : DialogWatcher::type(answers[i]));
            if (i < notices.count()) prompts << DialogWatcher::ok();
        }
        bool tipHidden = false;
        auto script = run(
            &members,
            [&](AclMemberDialog* dialog) {
                gt::test::click(dialog, "btnAdd");
                tipHidden = !dialog->findChild<QLabel*>("labelTip")->isVisible();
            },
            prompts);
        QCOMPARE(names(members), QStringList{"abcd"});
        QVERIFY(tipHidden);
        QStringList shown;
        for (DialogWatcher::Seen const& s : script->seen())
            if (s.className == "MessageDialog") shown << s.text;
        QCOMPARE(shown, notices);
    }

    void deletingKeepsTheOrderOfTheOthers() {
        Array<AclMember> members;
        members.add(member("first"));
        members.add(member("second"));
        members.add(member("third"));
        bool delHiddenAtOpen = false;
        bool delShownOnSelection = false;
        QStringList afterNo;
        QStringList rows;
        auto script = run(&members,
                          [&](AclMemberDialog* dialog) {
                              delHiddenAtOpen = !dialog->findChild<QPushButton*>("btnDel")->isVisible();
                              select(dialog, 1);
                              delShownOnSelection = dialog->findChild<QPushButton*>("btnDel")->isVisible();
                              gt::test::click(dialog, "btnDel");
                              afterNo = names(members);
                              gt::test::click(dialog, "btnDel");
                              for (int row = 0; row < table(dialog)->rowCount(); ++row)
                                  rows << cell(dialog, row, 0);
                          },
                          {DialogWatcher::no(), DialogWatcher::yes()});
        QVERIFY(delHiddenAtOpen);
        QVERIFY(delShownOnSelection);
        QCOMPARE(afterNo, QStringList({"first", "second", "third"}));
        QCOMPARE(names(members), QStringList({"first", "third"}));
        QCOMPARE(rows, QStringList({"first", "third"}));
        QCOMPARE(script->seen()[1].title, "删除成员");
        QCOMPARE(script->seen()[1].text.trimmed(), "成员删除后，将在策略保存时生效。确认删除？");
    }

    void deletingTheOnlyMemberLeavesAnEmptyTableWithTheTip() {
        Array<AclMember> members;
        members.add(member("only"));
        int rowsAfter = -1;
        bool tipShown = false;
        run(&members,
            [&](AclMemberDialog* dialog) {
                select(dialog, 0);
                QVERIFY(action(dialog, "删除"));
                action(dialog, "删除")->trigger();
                rowsAfter = table(dialog)->rowCount();
                tipShown = dialog->findChild<QLabel*>("labelTip")->isVisible();
            },
            {DialogWatcher::yes()});
        QVERIFY(members.isEmpty());
        QCOMPARE(rowsAfter, 0);
        QVERIFY(tipShown);
    }

    void rowActionsChangePasswordExpiryAndRemark() {
        Array<AclMember> members;
        members.add(member("first"));
        members.add(member("second", "disabled", kNoon));
        QString remarkCell;
        QString stateCell;
        auto script =
            run(&members,
                [&](AclMemberDialog* dialog) {
                    stateCell = cell(dialog, 1, 1);
                    select(dialog, 0);
                    action(dialog, "重设密码")->trigger();
                    action(dialog, "备注")->trigger();
                    remarkCell = cell(dialog, 0, 2);
                    // A double click on a row asks for its expiry.
                    QTableWidget* t = table(dialog);
                    QRect const rect = t->visualItemRect(t->item(0, 1));
                    QTest::mouseClick(t->viewport(), Qt::LeftButton, Qt::NoModifier, rect.center());
                    QTest::mouseDClick(t->viewport(), Qt::LeftButton, Qt::NoModifier, rect.center());
                    QTest::mouseRelease(t->viewport(), Qt::LeftButton, Qt::NoModifier, rect.center());
                    select(dialog, 1);
                    action(dialog, "到期时间")->trigger();
                },
                {DialogWatcher::type(""), DialogWatcher::ok(), DialogWatcher::type("新密码"),
                 DialogWatcher::type("<b>note</b>"), DialogWatcher::type("3"), DialogWatcher::type("")});

        QCOMPARE(toQString(members[0].pwd), toQString(AclMemberDialog::passwordDigest("新密码")));
        QCOMPARE(toQString(members[0].remark), "<b>note</b>");
        QCOMPARE(remarkCell, "<b>note</b>");
        QVERIFY(members[0].expire_time.seconds() == fromToday(4) ||
                members[0].expire_time.seconds() == fromToday(3));
        // No action changes a state; a blank expiry means never.
        QCOMPARE(toQString(members[1].state), "disabled");
        QCOMPARE(members[1].expire_time.seconds(), 0LL);
        QCOMPARE(stateCell, "停用");
        QVERIFY(members[1].pwd.isEmpty());

        QList<DialogWatcher::Seen> const& seen = script->seen();
        QCOMPARE(seen.count(), 7);
        QCOMPARE(seen[1].title, "重设密码");
        QCOMPARE(seen[1].echo, kMasked);
        QCOMPARE(seen[2].title, "重设密码");
        QCOMPARE(seen[2].text, "请输入密码");
        QCOMPARE(seen[3].echo, kMasked);
        QCOMPARE(seen[4].title, "备注");
        QCOMPARE(seen[4].echo, kInput);
        QCOMPARE(seen[5].title, "到期时间");
        QCOMPARE(seen[6].title, "到期时间");
    }

    void contextMenuOnlyOverAMember() {
        Array<AclMember> members;
        members.add(member("first"));
        bool menuWithoutRow = true;
        bool menuWithRow = false;
        run(&members, [&](AclMemberDialog* dialog) {
            QTableWidget* t = table(dialog);
            QMenu* menu = dialog->findChild<QMenu*>();
            QCOMPARE(menu->actions().count(), 4);
            auto rightClick = [t] {
                QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(10, 10),
                                        t->viewport()->mapToGlobal(QPoint(10, 10)));
                QApplication::sendEvent(t->viewport(), &event);
            };
            rightClick();
            menuWithoutRow = menu->isVisible();
            select(dialog, 0);
            rightClick();
            menuWithRow = menu->isVisible();
            menu->close();
        });
        QVERIFY(!menuWithoutRow);
        QVERIFY(menuWithRow);
    }

    void actionsOutsideARunDoNothing() {
        AclMemberDialog dialog(nullptr);
        // No list: exec returns at once and shows nothing.
        dialog.exec(nullptr);
        QVERIFY(!dialog.isVisible());
        DialogWatcher script;
        action(&dialog, "删除")->trigger();
        action(&dialog, "备注")->trigger();
        QMetaObject::invokeMethod(&dialog, "on_btnAdd_clicked");
        QMetaObject::invokeMethod(&dialog, "on_btnDel_clicked");
        QTest::qWait(50);
        QVERIFY(script.seen().isEmpty());
    }
};

GT_GUI_TEST_MAIN(AclMemberDialogTest)
#include "AclMemberDialog_test.moc"
