// Opening the client's web pages: a link that a handler takes opens quietly;
// without a browser (the offscreen platform has none, as a desktop without
// one) the user gets a box that says so and shows the address as text to
// copy, escaped rather than read as markup.
#include "app/gui/WebLinks.h"

#include <QTextBrowser>
#include <QtTest>

#include "app/gui/GuiUtil.h"
#include "app/gui/InformationDialog.h"
#include "support/DialogWatcher.h"
#include "support/GuiTest.h"

using gt::test::DialogWatcher;

class WebLinksTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { gt::test::filterQtMessages(); }

    void aTakenLinkOpensWithoutABox() {
        gt::test::UrlSink sink(QStringLiteral("https"));
        DialogWatcher watcher;
        QWidget parent;
        QVERIFY(InformationDialog::openLink(WebLinks::help(), &parent));
        QCOMPARE(sink.urls, QList<QUrl>{QUrl(WebLinks::help())});
        QTest::qWait(50);
        QVERIFY(watcher.seen().isEmpty());
    }

    void withoutABrowserTheAddressIsShownToCopy() {
        // The offscreen platform opens nothing itself.
        QVERIFY(!openUrl(QStringLiteral("https://nowhere.example/")));
        struct Case {
            char const* name;
            QString url;
        } const cases[] = {
            {"a page of ours", WebLinks::accountRegister()},
            {"markup stays text", QStringLiteral("https://x.example/<b>a</b>?q=1&r=<img src=x>")},
        };
        for (Case const& c : cases) {
            QString shown;
            Qt::TextInteractionFlags flags;
            DialogWatcher watcher;
            watcher.then([&](QDialog* dialog) {
                QVERIFY(qobject_cast<InformationDialog*>(dialog));
                QTextBrowser* text = dialog->findChild<QTextBrowser*>("textBrowser");
                shown = text->toPlainText();
                flags = text->textInteractionFlags();
                dialog->reject();
            });
            QWidget parent;
            QVERIFY2(!InformationDialog::openLink(c.url, &parent), c.name);
            QVERIFY2(watcher.done(), c.name);
            QCOMPARE(watcher.seen().at(0).title, QStringLiteral("未能打开浏览器"));
            QVERIFY2(shown.contains(QStringLiteral("没有找到可以打开网页的浏览器")), qPrintable(shown));
            // The address alone on its last line, exactly as written.
            QVERIFY2(shown.endsWith(QStringLiteral("\n") + c.url), qPrintable(shown));
            QVERIFY2(flags & Qt::TextSelectableByMouse, c.name);
        }
    }
};

GT_GUI_TEST_MAIN(WebLinksTest)
#include "WebLinks_test.moc"
