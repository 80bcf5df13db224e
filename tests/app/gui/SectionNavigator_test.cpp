// The section bar of the editors on a small form: which button the scroll
// position checks, where a click scrolls, and that the current section is
// drawn in the accent colour and the others are not.
#include "app/gui/SectionNavigator.h"

#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>

#include "support/GuiTest.h"

namespace {

// A bar of three buttons beside a 100 px view of a 700 px column whose
// headings lie at 0, 200 and 400.
struct Form {
    QWidget window;
    QPushButton* buttons[3];
    QLabel* headings[3];
    QScrollArea* area;
    SectionNavigator* sections;

    Form() {
        window.resize(400, 120);
        // The editors' own sheet: other push buttons go by "checkable".
        window.setStyleSheet(
            QStringLiteral("* { color: #aaa; background: #333; }\n"
                           "QPushButton[checkable=\"false\"] { background: #3a3a3a; }"));
        QWidget* bar = new QWidget(&window);
        bar->setGeometry(0, 0, 120, 120);
        area = new QScrollArea(&window);
        area->setGeometry(130, 0, 260, 100);
        area->setWidgetResizable(true);
        QWidget* column = new QWidget;
        column->setMinimumHeight(700);
        area->setWidget(column);
        for (int i = 0; i < 3; ++i) {
            buttons[i] = new QPushButton(QStringLiteral("Section %1").arg(i + 1), bar);
            buttons[i]->setGeometry(8, 8 + 32 * i, 104, 24);
            headings[i] = new QLabel(QStringLiteral("Heading %1").arg(i + 1), column);
            headings[i]->setGeometry(0, 200 * i, 200, 24);
        }
        sections = new SectionNavigator(
            area, {{buttons[0], headings[0]}, {buttons[1], headings[1]}, {buttons[2], headings[2]}});
        window.show();
    }

    QScrollBar* bar() { return area->verticalScrollBar(); }
    int checked() const {
        int found = -1;
        for (int i = 0; i < 3; ++i)
            if (buttons[i]->isChecked()) found = found < 0 ? i : 99;
        return found;
    }
};

}  // namespace

class SectionNavigatorTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { gt::test::filterQtMessages(); }

    void scrollingChecksTheSectionAtTheTop() {
        Form form;
        QCOMPARE(form.checked(), 0);
        QVERIFY(form.bar()->maximum() >= 400);
        struct Case {
            int value;
            int section;
        } const cases[] = {{199, 0}, {200, 1}, {399, 1}, {400, 2}, {0, 0}, {form.bar()->maximum(), 2}};
        for (auto const& c : cases) {
            form.bar()->setValue(c.value);
            QVERIFY2(form.checked() == c.section, qPrintable(QString::number(c.value)));
            QCOMPARE(form.sections->current(), c.section);
        }
    }

    void aClickScrollsToItsHeadingAndStays() {
        Form form;
        for (int i : {2, 1, 0, 2}) {
            QTest::mouseClick(form.buttons[i], Qt::LeftButton);
            QCOMPARE(form.bar()->value(), form.headings[i]->y());
            QCOMPARE(form.checked(), i);
        }
        form.sections->scrollTo(1);
        QCOMPARE(form.bar()->value(), 200);
        QCOMPARE(form.checked(), 1);
        // Outside the list: nothing moves.
        form.sections->scrollTo(3);
        form.sections->scrollTo(-1);
        QCOMPARE(form.bar()->value(), 200);
    }

    void theCurrentSectionIsHighlighted() {
        Form form;
        QColor const accent(QStringLiteral("#FFA924"));
        form.sections->scrollTo(1);
        QVERIFY(gt::test::drawsColour(form.buttons[1], accent));
        QVERIFY(!gt::test::drawsColour(form.buttons[0], accent));
        QVERIFY(!gt::test::drawsColour(form.buttons[2], accent));
    }
};

GT_GUI_TEST_MAIN(SectionNavigatorTest)
#include "SectionNavigator_test.moc"
