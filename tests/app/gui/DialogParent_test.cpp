// Where message boxes go: over the active window, else over the main window
// that the caller (a page, an editor, a dialog of an editor) belongs to;
// and a warning lies centred over it with its text as written.
#include "app/gui/DialogParent.h"

#include <QDialog>
#include <QLabel>

#include "app/gui/MessageDialog.h"
#include "support/DialogSteps.h"
#include "support/GuiTest.h"

namespace {

// A main window with a page in its body, an editor over it and a box of
// the editor, as the client nests them.
struct Windows {
    QWidget main;
    QWidget* body;
    QWidget* page;
    QDialog editor;
    QDialog box;

    Windows() : body(new QWidget(&main)), page(new QWidget(body)), editor(&main), box(&editor) {
        main.setGeometry(200, 100, 730, 522);
        body->setGeometry(5, 69, 720, 448);
        page->setGeometry(0, 0, 720, 448);
        editor.setGeometry(300, 120, 400, 300);
        box.setGeometry(320, 140, 200, 100);
        main.show();
    }
};

}  // namespace

class DialogParentTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { gt::test::filterQtMessages(); }
    void cleanup() { QApplication::setActiveWindow(nullptr); }

    void theActiveWindowWhenOneShows() {
        Windows windows;
        windows.editor.show();
        QApplication::setActiveWindow(&windows.editor);
        QCOMPARE(QApplication::activeWindow(), &windows.editor);
        for (QWidget* from : {static_cast<QWidget*>(windows.page), static_cast<QWidget*>(&windows.main),
                              static_cast<QWidget*>(&windows.box), static_cast<QWidget*>(nullptr)})
            QCOMPARE(DialogParent::of(from), &windows.editor);
    }

    void theMainWindowWhenNoneIsActive() {
        Windows windows;
        windows.editor.show();
        struct Case {
            char const* name;
            QWidget* active;
        } const cases[] = {
            {"no active window", nullptr},
            // Just closed, still named active until the next one is.
            {"a hidden active window", &windows.box},
        };
        for (auto const& c : cases) {
            QApplication::setActiveWindow(c.active);
            QVERIFY2(DialogParent::of(windows.page) == &windows.main, c.name);
            QVERIFY2(DialogParent::of(&windows.editor) == &windows.main, c.name);
            QVERIFY2(DialogParent::of(&windows.box) == &windows.main, c.name);
            QVERIFY2(DialogParent::of(&windows.main) == &windows.main, c.name);
        }
        QApplication::setActiveWindow(nullptr);
        QCOMPARE(DialogParent::of(nullptr), static_cast<QWidget*>(nullptr));
    }

    void aWarningLiesOverTheMainWindowAsPlainText() {
        Windows windows;
        QApplication::setActiveWindow(nullptr);
        QString const text = QStringLiteral("<img src=\"/nonexistent/quorvane.png\">");
        QWidget* parent = nullptr;
        QPoint centre;
        QString shown;
        Qt::TextFormat format = Qt::AutoText;
        auto seen = gt::test::whenDialog<MessageDialog>([&](MessageDialog* box) {
            parent = box->parentWidget();
            centre = box->pos() + QPoint(box->width() / 2, box->height() / 2);
            QLabel* label = box->findChild<QLabel*>("labelText");
            shown = label->text();
            format = label->textFormat();
            gt::test::clickLater(box, "btn_2");
        });
        DialogParent::warn(windows.page, QStringLiteral("未能刷新"), text);
        QVERIFY(seen->shown);
        QCOMPARE(parent, &windows.main);
        QCOMPARE(centre, windows.main.pos() + QPoint(365, 261));
        QCOMPARE(shown, text);
        QCOMPARE(format, Qt::PlainText);
    }
};

GT_GUI_TEST_MAIN(DialogParentTest)
#include "DialogParent_test.moc"
