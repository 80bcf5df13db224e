#include "app/gui/MessageDialog.h"

#include <QLabel>
#include <QPushButton>
#include <QToolButton>

#include "app/gui/UiScale.h"
#include "support/GuiTest.h"

namespace {

enum Kind { QUESTION, INFORMATION, WARNING, COMPLETE };

// Runs one operation of a fresh box with the user's step done inside it;
// what the box looked like while open is kept in `seen`.
struct Seen {
    bool btn1Visible = false;
    QString btn1Text, btn2Text, title, text, iconSheet;
    Qt::TextFormat format = Qt::AutoText;
    bool btn2Default = false;
};

int run(Kind kind, QString const& title, QString const& text, std::function<void(MessageDialog&)> step,
        Seen* seen = nullptr, QWidget* parent = nullptr,
        MessageDialog::Text format = MessageDialog::PLAIN_TEXT) {
    MessageDialog box(parent, format);
    auto ran = gt::test::whenShown(&box, [&] {
        if (seen) {
            seen->btn1Visible = box.findChild<QPushButton*>("btn_1")->isVisible();
            seen->btn1Text = box.findChild<QPushButton*>("btn_1")->text();
            seen->btn2Text = box.findChild<QPushButton*>("btn_2")->text();
            seen->btn2Default = box.findChild<QPushButton*>("btn_2")->isDefault();
            seen->title = box.findChild<QLabel*>("labelTitle")->text();
            auto label = box.findChild<QLabel*>("labelText");
            seen->text = label->text();
            seen->format = label->textFormat();
            seen->iconSheet = box.findChild<QWidget*>("widgetIcon")->styleSheet();
        }
        step(box);
    });
    int result = -1;
    switch (kind) {
        case QUESTION:
            result = box.question(title, text) ? 1 : 0;
            break;
        case INFORMATION:
            result = box.information(title, text);
            break;
        case WARNING:
            result = box.warning(title, text);
            break;
        case COMPLETE:
            result = box.complete(title, text);
            break;
    }
    if (!*ran) return -2;
    return result;
}

}  // namespace

class MessageDialogTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { gt::test::filterQtMessages(); }
    void cleanup() { UiScale::setFactor(0); }

    void questionAnswers() {
        struct Case {
            char const* name;
            std::function<void(MessageDialog&)> step;
            int result;
        } const cases[] = {
            {"yes button", [](MessageDialog& b) { gt::test::click(&b, "btn_1"); }, 1},
            {"Enter chooses the default", [](MessageDialog& b) { QTest::keyClick(&b, Qt::Key_Return); }, 1},
            {"no button", [](MessageDialog& b) { gt::test::click(&b, "btn_2"); }, 0},
            {"close button", [](MessageDialog& b) { gt::test::click(&b, "btnClose"); }, 0},
            {"Escape", [](MessageDialog& b) { QTest::keyClick(&b, Qt::Key_Escape); }, 0},
        };
        for (auto const& c : cases) {
            Seen seen;
            QCOMPARE(run(QUESTION, QStringLiteral("删除设备"), QStringLiteral("确认删除？"), c.step, &seen),
                     c.result);
            QVERIFY2(seen.btn1Visible, c.name);
            QCOMPARE(seen.btn1Text, QStringLiteral("是"));
            QCOMPARE(seen.btn2Text, QStringLiteral("否"));
            QCOMPARE(seen.title, QStringLiteral("删除设备"));
            QVERIFY2(!seen.btn2Default, c.name);
        }
    }

    void oneButtonKinds() {
        struct Case {
            Kind kind;
            char const* icon;
        } const kinds[] = {{INFORMATION, "icon_msgbox_information"},
                           {WARNING, "icon_msgbox_warning"},
                           {COMPLETE, "icon_msgbox_complete"}};
        std::function<void(MessageDialog&)> const steps[] = {
            [](MessageDialog& b) { gt::test::click(&b, "btn_2"); },
            [](MessageDialog& b) { QTest::keyClick(&b, Qt::Key_Return); },
            [](MessageDialog& b) { gt::test::click(&b, "btnClose"); },
        };
        for (auto const& k : kinds) {
            for (auto const& step : steps) {
                Seen seen;
                QVERIFY(run(k.kind, QStringLiteral("提示"), QStringLiteral("完成"), step, &seen) >= 0);
                QVERIFY(!seen.btn1Visible);
                QVERIFY(seen.btn2Default);
                QCOMPARE(seen.btn2Text, QStringLiteral("确定"));
                QCOMPARE(seen.text, QStringLiteral("完成"));
                QCOMPARE(seen.iconSheet,
                         QStringLiteral("border-image: url(':/rc/") + k.icon + QStringLiteral(".png');"));
            }
        }
    }

    void iconFollowsTheScale() {
        UiScale::setFactor(1.5);
        Seen seen;
        run(
            WARNING, "t", "x", [](MessageDialog& b) { b.close(); }, &seen);
        QCOMPARE(seen.iconSheet, QStringLiteral("border-image: url(':/rc/icon_msgbox_warning@1.5x.png');"));
    }

    void warningShowsCloudTextAsPlainText() {
        // An error message from the cloud is never markup: shown as written.
        QString hostile = QStringLiteral("<a href='https://evil.example/'>点此</a><img src='x'>");
        Seen seen;
        run(
            WARNING, QStringLiteral("未能登录"), hostile, [](MessageDialog& b) { b.close(); }, &seen);
        QCOMPARE(seen.format, Qt::PlainText);
        QCOMPARE(seen.text, hostile);
        QCOMPARE(seen.title, QStringLiteral("未能登录"));
    }

    void everyKindShowsItsTextAsWritten() {
        // Whatever the kind, a text is never read as markup unless the
        // caller asks (an <img> would make the label load the path it names).
        QString const text = QStringLiteral("<img src=\"/nonexistent/quorvane.png\"><br>完成");
        for (Kind kind : {QUESTION, INFORMATION, WARNING, COMPLETE}) {
            Seen seen;
            run(
                kind, QStringLiteral("提示"), text, [](MessageDialog& b) { b.close(); }, &seen);
            QCOMPARE(seen.format, Qt::PlainText);
            QCOMPARE(seen.text, text);
        }
    }

    void messagesMayCarryRichTextAndLinks() {
        QString text =
            QStringLiteral("环境诊断：没有问题<br><small>（现有版本仅限检测运行环境问题）</small>");
        Seen seen;
        MessageDialog probe;
        auto label = probe.findChild<QLabel*>("labelText");
        QVERIFY(label->openExternalLinks());
        QVERIFY(label->wordWrap());
        QVERIFY(label->textInteractionFlags() & Qt::LinksAccessibleByMouse);
        // Our own markup is asked for.
        for (Kind kind : {QUESTION, INFORMATION, COMPLETE}) {
            run(
                kind, QStringLiteral("诊断完成"), text, [](MessageDialog& b) { b.close(); }, &seen, nullptr,
                MessageDialog::RICH_TEXT);
            QCOMPARE(seen.format, Qt::RichText);
            QCOMPARE(seen.text, text);
        }
    }

    void centredOverItsParent() {
        QWidget parent;
        parent.setGeometry(200, 100, 730, 522);
        MessageDialog box(&parent);
        QCOMPARE(box.size(), QSize(418, 226));
        QCOMPARE(box.pos(), QPoint(200 + 365 - 209, 100 + 261 - 113));
        QVERIFY(box.windowFlags().testFlag(Qt::FramelessWindowHint));
        QVERIFY(box.testAttribute(Qt::WA_TranslucentBackground));
    }

    void scaledAtConstruction() {
        UiScale::setFactor(1.25);
        MessageDialog box;
        QCOMPARE(box.size(), QSize(522, 282));
        QCOMPARE(box.findChild<QWidget*>("btn_1")->geometry(), QRect(290, 218, 90, 35));
    }
};

GT_GUI_TEST_MAIN(MessageDialogTest)
#include "MessageDialog_test.moc"
