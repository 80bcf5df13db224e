#include "app/gui/SelectDialog.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>

#include "app/gui/UiScale.h"
#include "support/GuiTest.h"

namespace {

struct Seen {
    int current = -2;
    int count = -1;
    QString title, prompt;
    bool focused = false;
    QSize hint;
};

int choose(SelectDialog& box, QStringList const& items, int current,
           std::function<void(QDialog&, QComboBox*)> step, Seen* seen = nullptr) {
    gt::test::whenShown(&box, [&] {
        QComboBox* combo = box.findChild<QComboBox*>("comboBox");
        if (seen) {
            seen->current = combo->currentIndex();
            seen->count = combo->count();
            seen->title = box.findChild<QLabel*>("labelTitle")->text();
            seen->prompt = box.findChild<QLabel*>("labelMsg")->text();
            seen->focused = box.focusWidget() == combo;
            if (combo->count() > 0) seen->hint = combo->itemData(0, Qt::SizeHintRole).toSize();
        }
        step(box, combo);
    });
    return box.select(QStringLiteral("移动到其他设备"), QStringLiteral("将该映射移动到："), items, current);
}

}  // namespace

class SelectDialogTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { gt::test::filterQtMessages(); }
    void cleanup() { UiScale::setFactor(0); }

    void choices() {
        QStringList const three = {QStringLiteral("设备一"), QStringLiteral("设备二"),
                                   QStringLiteral("设备三")};
        struct Case {
            char const* name;
            QStringList items;
            int current;
            std::function<void(QDialog&, QComboBox*)> step;
            int shown;  // the entry selected when the box opened
            int result;
        } const cases[] = {
            {"one item, OK",
             {QStringLiteral("only")},
             0,
             [](QDialog& b, QComboBox*) { gt::test::click(&b, "btn_1"); },
             0,
             0},
            {"preselection kept", three, 2, [](QDialog& b, QComboBox*) { gt::test::click(&b, "btn_1"); }, 2,
             2},
            {"changed choice", three, 0,
             [](QDialog& b, QComboBox* c) {
                 c->setCurrentIndex(1);
                 gt::test::click(&b, "btn_1");
             },
             0, 1},
            {"Enter accepts", three, 1, [](QDialog& b, QComboBox*) { QTest::keyClick(&b, Qt::Key_Return); },
             1, 1},
            {"beyond the list: none, OK gives -1", three, 7,
             [](QDialog& b, QComboBox*) { gt::test::click(&b, "btn_1"); }, -1, -1},
            {"negative: none", three, -3, [](QDialog& b, QComboBox*) { gt::test::click(&b, "btn_1"); }, -1,
             -1},
            {"cancel", three, 1, [](QDialog& b, QComboBox*) { gt::test::click(&b, "btn_2"); }, 1, -1},
            {"close", three, 1, [](QDialog& b, QComboBox*) { gt::test::click(&b, "btnClose"); }, 1, -1},
            {"Escape", three, 1, [](QDialog& b, QComboBox*) { QTest::keyClick(&b, Qt::Key_Escape); }, 1, -1},
        };
        for (auto const& c : cases) {
            SelectDialog box;
            Seen seen;
            QVERIFY2(choose(box, c.items, c.current, c.step, &seen) == c.result, c.name);
            QVERIFY2(seen.current == c.shown, c.name);
            QCOMPARE(seen.count, c.items.size());
            QCOMPARE(seen.title, QStringLiteral("移动到其他设备"));
            QCOMPARE(seen.prompt, QStringLiteral("将该映射移动到："));
            QVERIFY2(seen.focused, c.name);
            QCOMPARE(seen.hint, QSize(0, 28));
        }
    }

    void textsAreShownAsWritten() {
        // A device's or policy's name comes from the cloud: markup in it is
        // never read (an <img> would make the label load the path it names).
        QString const markup = QStringLiteral("<img src=\"/nonexistent/quorvane.png\">");
        SelectDialog box;
        QList<QLabel*> labels;
        QString entry;
        gt::test::whenShown(&box, [&] {
            labels = {box.findChild<QLabel*>("labelTitle"), box.findChild<QLabel*>("labelMsg")};
            entry = box.findChild<QComboBox*>("comboBox")->currentText();
            gt::test::click(&box, "btn_2");
        });
        box.select(markup + QStringLiteral("标题"), markup + QStringLiteral("将该映射移动到："), {markup}, 0);
        QCOMPARE(labels.size(), 2);
        QCOMPARE(labels[0]->text(), markup + QStringLiteral("标题"));
        QCOMPARE(labels[1]->text(), markup + QStringLiteral("将该映射移动到："));
        for (QLabel* label : labels)
            QCOMPARE(label->textFormat(), Qt::PlainText);
        QCOMPARE(entry, markup);
    }

    void emptyListShowsNothing() {
        SelectDialog box;
        bool shown = false;
        gt::test::whenShown(
            &box,
            [&] {
                shown = true;
                box.close();
            },
            200);
        QCOMPARE(box.select(QStringLiteral("t"), QStringLiteral("p"), {}, 0), -1);
        QTest::qWait(50);
        QVERIFY(!shown);
    }

    void cancelClearsTheList() {
        SelectDialog box;
        choose(box, {QStringLiteral("a"), QStringLiteral("b")}, 0,
               [](QDialog& b, QComboBox*) { gt::test::click(&b, "btn_2"); });
        QCOMPARE(box.findChild<QComboBox*>("comboBox")->count(), 0);
    }

    void itemHeightFollowsTheScale() {
        UiScale::setFactor(1.25);
        SelectDialog box;
        Seen seen;
        choose(
            box, {QStringLiteral("a")}, 0, [](QDialog& b, QComboBox*) { gt::test::click(&b, "btn_1"); },
            &seen);
        QCOMPARE(seen.hint, QSize(0, 35));
    }

    void popupIsFrameless() {
        SelectDialog box;
        QComboBox* combo = box.findChild<QComboBox*>("comboBox");
        QWidget* popup = combo->view()->window();
        QVERIFY(popup->windowFlags().testFlag(Qt::FramelessWindowHint));
        QVERIFY(popup->testAttribute(Qt::WA_TranslucentBackground));
        QCOMPARE(combo->cursor().shape(), Qt::PointingHandCursor);
    }
};

GT_GUI_TEST_MAIN(SelectDialogTest)
#include "SelectDialog_test.moc"
