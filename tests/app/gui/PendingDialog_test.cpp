// The busy window: its text, shown as written, and its place over the
// window it works for.
#include "app/gui/PendingDialog.h"

#include <QLabel>

#include "support/GuiTest.h"

class PendingDialogTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { gt::test::filterQtMessages(); }

    void showsItsTextAsWritten() {
        // Texts come from the cloud too: markup in them is never read (an
        // <img> would make the label load whatever path it names).
        QString const texts[] = {
            QStringLiteral("<img src=\"/nonexistent/quorvane.png\">"),
            QStringLiteral("<b>a.example:1234</b>\r\n已复制到剪贴板"),
            QStringLiteral("正在连接…"),
        };
        for (QString const& text : texts) {
            QWidget window;
            window.setGeometry(100, 100, 730, 522);
            window.show();
            PendingDialog pending(&window);
            pending.showText(text);
            QVERIFY(pending.isVisible());
            QLabel* label = pending.findChild<QLabel*>("labelInfo");
            QCOMPARE(label->textFormat(), Qt::PlainText);
            QCOMPARE(label->text(), text);
            QCOMPARE(pending.text(), text);
            QCOMPARE(pending.pos() + QPoint(pending.width() / 2, pending.height() / 2),
                     window.pos() + QPoint(365, 261));
        }
    }
};

GT_GUI_TEST_MAIN(PendingDialogTest)
#include "PendingDialog_test.moc"
