#include "app/gui/InputDialog.h"

#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "support/GuiTest.h"

namespace {

struct Seen {
    QString title, label, shown, selected;
    bool focused = false;
    QLineEdit::EchoMode echo = QLineEdit::Normal;
    Qt::Alignment alignment;
};

// One getText() with the user's steps run on the open box; returns its result.
bool ask(InputDialog& box, QString const& proposal, std::function<void(InputDialog&, QLineEdit*)> step,
         Seen* seen = nullptr, QLineEdit::EchoMode echo = QLineEdit::Normal) {
    auto ran = gt::test::whenShown(&box, [&] {
        QLineEdit* edit = box.findChild<QLineEdit*>("editText");
        if (seen) {
            seen->title = box.findChild<QLabel*>("labelTitle")->text();
            seen->label = box.findChild<QLabel*>("labelMsg")->text();
            seen->shown = edit->text();
            seen->selected = edit->selectedText();
            seen->focused = box.focusWidget() == edit;
            seen->echo = edit->echoMode();
            seen->alignment = edit->alignment();
        }
        step(box, edit);
    });
    bool result = box.getText(QStringLiteral("注册域名前缀"), QStringLiteral("您需要注册一个域名前缀"),
                              proposal, Qt::AlignLeft, echo);
    if (!*ran) qWarning("the input box never showed");
    return result;
}

// Chinese text as the input method commits it (QTest::keyClicks asserts on it).
void commit(QLineEdit* edit, QString const& text) {
    QInputMethodEvent event;
    event.setCommitString(text);
    QApplication::sendEvent(edit, &event);
}

}  // namespace

class InputDialogTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { gt::test::filterQtMessages(); }

    void proposalIsShownSelectedAndTypingReplacesIt() {
        InputDialog box;
        Seen seen;
        bool ok = ask(
            box, QStringLiteral("myhost"),
            [](InputDialog&, QLineEdit* edit) {
                QTest::keyClicks(edit, "new");
                QTest::keyClick(edit, Qt::Key_Return);
            },
            &seen);
        QVERIFY(ok);
        QCOMPARE(seen.shown, QStringLiteral("myhost"));
        QCOMPARE(seen.selected, QStringLiteral("myhost"));
        QVERIFY(seen.focused);
        QCOMPARE(seen.title, QStringLiteral("注册域名前缀"));
        QCOMPARE(seen.label, QStringLiteral("您需要注册一个域名前缀"));
        QVERIFY(seen.alignment & Qt::AlignLeft);
        QCOMPARE(box.text(), QStringLiteral("new"));
    }

    void promptIsShownAsWritten() {
        // Prompts may carry names from the cloud: markup in them is never
        // read (an <img> would make the label load the path it names).
        QString const markup = QStringLiteral("<img src=\"/nonexistent/quorvane.png\">");
        InputDialog box;
        QList<QLabel*> labels;
        gt::test::whenShown(&box, [&] {
            labels = {box.findChild<QLabel*>("labelTitle"), box.findChild<QLabel*>("labelMsg")};
            gt::test::click(&box, "btn_2");
        });
        QVERIFY(!box.getText(markup, markup + QStringLiteral("名称"), markup));
        QCOMPARE(labels.size(), 2);
        QCOMPARE(labels[0]->text(), markup);
        QCOMPARE(labels[1]->text(), markup + QStringLiteral("名称"));
        for (QLabel* label : labels)
            QCOMPARE(label->textFormat(), Qt::PlainText);
    }

    void emptyProposalLeavesAnEmptyEdit() {
        InputDialog box;
        Seen seen;
        QVERIFY(ask(
            box, QString(),
            [](InputDialog& b, QLineEdit* edit) {
                commit(edit, QStringLiteral("设备一"));
                gt::test::typeText(edit, QStringLiteral("号"));
                gt::test::click(&b, "btn_1");
            },
            &seen));
        QVERIFY(seen.shown.isEmpty());
        QVERIFY(seen.focused);
        QCOMPARE(box.text(), QStringLiteral("设备一号"));
    }

    void cancelWaysReturnFalseAndKeepTheProposal() {
        struct Case {
            char const* name;
            std::function<void(InputDialog&, QLineEdit*)> step;
        } const cases[] = {
            {"cancel", [](InputDialog& b, QLineEdit*) { gt::test::click(&b, "btn_2"); }},
            {"close", [](InputDialog& b, QLineEdit*) { gt::test::click(&b, "btnClose"); }},
            {"Escape", [](InputDialog&, QLineEdit* e) { QTest::keyClick(e, Qt::Key_Escape); }},
        };
        for (auto const& c : cases) {
            InputDialog box;
            bool ok = ask(box, QStringLiteral("abc"), [&](InputDialog& b, QLineEdit* edit) {
                QTest::keyClicks(edit, "typed");
                c.step(b, edit);
            });
            QVERIFY2(!ok, c.name);
            QCOMPARE(box.text(), QStringLiteral("abc"));
            QVERIFY2(box.findChild<QLineEdit*>("editText")->text().isEmpty(), c.name);
        }
    }

    void acceptedTextIsReturnedAsTyped() {
        struct Case {
            char const* name;
            char const* proposal;
            char const* typed;  // after the proposal was cleared
            char const* result;
        } const cases[] = {
            {"emptied", "abc", "", ""},
            {"blanks at both ends", "", "  a b  ", "  a b  "},
            {"proposal kept", "keep me", nullptr, "keep me"},
        };
        for (auto const& c : cases) {
            InputDialog box;
            bool ok = ask(box, QString::fromUtf8(c.proposal), [&](InputDialog& b, QLineEdit* edit) {
                if (c.typed) {
                    QTest::keyClick(edit, Qt::Key_Delete);  // the proposal is selected
                    QTest::keyClicks(edit, c.typed);
                }
                gt::test::click(&b, "btn_1");
            });
            QVERIFY2(ok, c.name);
            QCOMPARE(box.text(), QString::fromUtf8(c.result));
        }
    }

    void passwordEchoHidesTheInput() {
        InputDialog box;
        Seen seen;
        QString display;
        QVERIFY(ask(
            box, QString(),
            [&](InputDialog& b, QLineEdit* edit) {
                QTest::keyClicks(edit, "s3cret");
                display = edit->displayText();
                gt::test::click(&b, "btn_1");
            },
            &seen, QLineEdit::Password));
        QCOMPARE(seen.echo, QLineEdit::Password);
        QVERIFY(!display.contains(QStringLiteral("s3cret")));
        QCOMPARE(display.size(), 6);
        QCOMPARE(box.text(), QStringLiteral("s3cret"));
    }

    void centredOverItsParent() {
        QWidget parent;
        parent.setGeometry(10, 20, 500, 300);
        InputDialog box(&parent);
        QCOMPARE(box.pos(), QPoint(10 + 250 - 209, 20 + 150 - 113));
    }
};

GT_GUI_TEST_MAIN(InputDialogTest)
#include "InputDialog_test.moc"
