#include "app/gui/InformationDialog.h"

#include <QDesktopServices>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextBrowser>
#include <QUrl>

#include "support/GuiTest.h"

namespace {

// Clicks the first character of `text` in the browser.
void clickText(QTextBrowser* browser, QString const& text) {
    QTextCursor found = browser->document()->find(text);
    QVERIFY(!found.isNull());
    QTextCursor at(browser->document());
    at.setPosition(found.selectionStart() + 1);
    QPoint point = browser->cursorRect(at).center();
    QTest::mouseClick(browser->viewport(), Qt::LeftButton, Qt::NoModifier, point);
}

}  // namespace

class InformationDialogTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { gt::test::filterQtMessages(); }

    void questionAnswers() {
        struct Case {
            char const* name;
            std::function<void(QDialog&)> step;
            bool result;
        } const cases[] = {
            {"yes", [](QDialog& b) { gt::test::click(&b, "btn_1"); }, true},
            {"Enter", [](QDialog& b) { QTest::keyClick(&b, Qt::Key_Return); }, true},
            {"no", [](QDialog& b) { gt::test::click(&b, "btn_2"); }, false},
            {"close", [](QDialog& b) { gt::test::click(&b, "btnClose"); }, false},
            {"Escape", [](QDialog& b) { QTest::keyClick(&b, Qt::Key_Escape); }, false},
        };
        for (auto const& c : cases) {
            InformationDialog box(nullptr, true);
            QString yes, no;
            bool yesShown = false;
            auto ran = gt::test::whenShown(&box, [&] {
                yes = box.findChild<QPushButton*>("btn_1")->text();
                no = box.findChild<QPushButton*>("btn_2")->text();
                yesShown = box.findChild<QPushButton*>("btn_1")->isVisible();
                c.step(box);
            });
            QCOMPARE(box.question(QStringLiteral("确认注册"), QStringLiteral("注册 <b>abc</b>？")), c.result);
            QVERIFY2(*ran, c.name);
            QVERIFY(yesShown);
            QCOMPARE(yes, QStringLiteral("是"));
            QCOMPARE(no, QStringLiteral("否"));
            QCOMPARE(box.findChild<QLabel*>("labelTitle")->text(), QStringLiteral("确认注册"));
        }
    }

    void informationHasOneButton() {
        std::function<void(QDialog&)> const steps[] = {
            [](QDialog& b) { gt::test::click(&b, "btn_2"); },
            [](QDialog& b) { gt::test::click(&b, "btnClose"); },
            [](QDialog& b) { QTest::keyClick(&b, Qt::Key_Return); },
        };
        for (auto const& step : steps) {
            InformationDialog box(nullptr, false);
            bool yesShown = true;
            QString ok;
            auto ran = gt::test::whenShown(&box, [&] {
                yesShown = box.findChild<QPushButton*>("btn_1")->isVisible();
                ok = box.findChild<QPushButton*>("btn_2")->text();
                step(box);
            });
            QCOMPARE(box.information(QStringLiteral("异常"), QStringLiteral("服务未能启动")), 0);
            QVERIFY(*ran);
            QVERIFY(!yesShown);
            QCOMPARE(ok, QStringLiteral("确定"));
        }
    }

    void plainAndRichText() {
        InformationDialog rich(nullptr, true);
        InformationDialog plain(nullptr, false);
        auto show = [](InformationDialog& box, QString const& text) {
            gt::test::whenShown(&box, [&box] { box.close(); });
            box.information(QStringLiteral("t"), text);
            return box.findChild<QTextBrowser*>("textBrowser")->toPlainText();
        };
        QCOMPARE(show(rich, QStringLiteral("<p><strong>开启IP白名单</strong><br>x</p>")),
                 QStringLiteral("开启IP白名单\nx"));
        QCOMPARE(show(plain, QStringLiteral("line one\nline two")), QStringLiteral("line one\nline two"));
        // Without html nothing is read as markup, however much it looks like
        // it (an <img> would make the box load the path it names).
        for (QString const& text : {QStringLiteral("<img src=\"/nonexistent/quorvane.png\">"),
                                    QStringLiteral("<b>未能启动</b><br>&amp; 重试")})
            QCOMPARE(show(plain, text), text);
    }

    void linksOpenOutsideAndTheBoxStays() {
        gt::test::UrlSink sink(QStringLiteral("https"));
        InformationDialog box(nullptr, true);
        QTextBrowser* browser = box.findChild<QTextBrowser*>("textBrowser");
        QString before;
        auto ran = gt::test::whenShown(&box, [&] {
            before = browser->toPlainText();
            clickText(browser, QStringLiteral("详细说明"));
            QTest::qWait(50);
            gt::test::click(&box, "btn_2");
        });
        box.information(
            QStringLiteral("网关授权"),
            QStringLiteral("访问者必须同时运行网关服务（<a href='https://help.example/gateway.html'>"
                           "<font color='#CE891D'>详细说明</font></a>）。"));
        QVERIFY(*ran);
        QCOMPARE(sink.urls.size(), 1);
        QCOMPARE(sink.urls[0], QUrl(QStringLiteral("https://help.example/gateway.html")));
        // The browser did not navigate: the same text and no source.
        QCOMPARE(browser->toPlainText(), before);
        QVERIFY(browser->source().isEmpty());
    }

    void longTextScrollsInsideAFixedWindow() {
        InformationDialog box(nullptr, false);
        QTextBrowser* browser = box.findChild<QTextBrowser*>("textBrowser");
        QStringList lines;
        for (int i = 0; i < 200; ++i)
            lines << QStringLiteral("第 %1 行").arg(i);
        int maximum = 0;
        gt::test::whenShown(&box, [&] {
            maximum = browser->verticalScrollBar()->maximum();
            box.close();
        });
        box.information(QStringLiteral("长文本"), lines.join(QLatin1Char('\n')));
        QVERIFY(maximum > 0);
        QCOMPARE(box.size(), QSize(458, 418));
    }

    void centredOverItsParent() {
        QWidget parent;
        parent.setGeometry(0, 0, 730, 522);
        InformationDialog box(&parent, false);
        QCOMPARE(box.pos(), QPoint(365 - 229, 261 - 209));
    }
};

GT_GUI_TEST_MAIN(InformationDialogTest)
#include "InformationDialog_test.moc"
