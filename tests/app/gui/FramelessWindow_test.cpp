#include "app/gui/FramelessWindow.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QDialog>
#include <QFrame>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>

#include "app/gui/GuiUtil.h"
#include "app/gui/UiScale.h"
#include "app/gui/WindowMover.h"
#include "support/GuiTest.h"

namespace {

// A frameless dialog with a marked caption holding a marked title, an
// unmarked label and a button.
struct Form {
    QDialog dialog;
    QWidget* caption;
    QLabel* title;
    QLabel* plain;
    QPushButton* button;

    explicit Form(QWidget* parent = nullptr) : dialog(parent) {
        dialog.resize(400, 200);
        caption = new QWidget(&dialog);
        caption->setGeometry(0, 0, 400, 64);
        caption->setProperty(WindowMover::PROPERTY, true);
        title = new QLabel(QStringLiteral("标题"), caption);
        title->setGeometry(24, 16, 200, 24);
        title->setProperty(WindowMover::PROPERTY, true);
        plain = new QLabel(QStringLiteral("plain"), caption);
        plain->setGeometry(240, 16, 60, 24);
        button = new QPushButton(QStringLiteral("x"), caption);
        button->setGeometry(360, 16, 32, 24);
        FramelessWindow::setupDialog(&dialog, parent);
    }
};

void send(QWidget* widget, QEvent::Type type, QPoint local, Qt::MouseButtons buttons,
          Qt::MouseButton button = Qt::LeftButton) {
    QPointF global = widget->mapToGlobal(local);
    QMouseEvent event(type, local, global, button, buttons, Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

// A press at `at` in widget, a move by delta, a release; returns how far the window went.
QPoint drag(QWidget* widget, QPoint at, QPoint delta) {
    QWidget* window = widget->window();
    QPoint before = window->pos();
    send(widget, QEvent::MouseButtonPress, at, Qt::LeftButton);
    // The widget's own coordinates stay where the press was while the window follows.
    QPointF global = widget->mapToGlobal(at) + delta;
    QMouseEvent move(QEvent::MouseMove, widget->mapFromGlobal(global), global, Qt::NoButton, Qt::LeftButton,
                     Qt::NoModifier);
    QApplication::sendEvent(widget, &move);
    send(widget, QEvent::MouseButtonRelease, widget->mapFromGlobal(global.toPoint()), Qt::NoButton);
    return window->pos() - before;
}

}  // namespace

class FramelessWindowTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { gt::test::filterQtMessages(); }
    void cleanup() { UiScale::setFactor(0); }

    void dialogIsFramelessAndTranslucent() {
        Form form;
        QVERIFY(form.dialog.windowFlags().testFlag(Qt::FramelessWindowHint));
        QVERIFY(form.dialog.windowFlags().testFlag(Qt::Window));
        QVERIFY(form.dialog.testAttribute(Qt::WA_TranslucentBackground));
    }

    void centredOverAWindowParent() {
        QWidget parent;
        parent.setGeometry(100, 80, 721, 523);
        Form form(&parent);
        // Integer halves: 100 + 360 - 200, 80 + 261 - 100.
        QCOMPARE(form.dialog.pos(), QPoint(260, 241));
    }

    void centredOverAChildParentWhereItIsOnScreen() {
        // A page inside the main window: its position counts on the screen,
        // not relative to the window.
        QWidget window;
        window.setGeometry(300, 200, 800, 600);
        auto page = new QWidget(&window);
        page->setGeometry(40, 30, 600, 400);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        Form form(page);
        QPoint pageOnScreen = page->mapToGlobal(QPoint(0, 0));
        QCOMPARE(form.dialog.pos(), pageOnScreen + QPoint(300 - 200, 200 - 100));
    }

    void withoutParentThePositionIsLeftAlone() {
        Form form;
        QCOMPARE(form.dialog.pos(), QPoint(0, 0));
        QVERIFY(!form.dialog.testAttribute(Qt::WA_Moved));
    }

    void dragOnMarkedWidgetsMovesTheWindow() {
        Form form;
        form.dialog.move(-900, 300);  // a monitor left of the primary one
        form.dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form.dialog));
        QCOMPARE(drag(form.title, QPoint(5, 5), QPoint(30, 12)), QPoint(30, 12));
        QCOMPARE(drag(form.caption, QPoint(10, 50), QPoint(-40, 7)), QPoint(-40, 7));
        QCOMPARE(form.dialog.pos(), QPoint(-910, 319));
    }

    void dragElsewhereDoesNothing() {
        Form form;
        form.dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form.dialog));
        QPoint start = form.dialog.pos();
        QCOMPARE(drag(form.button, QPoint(5, 5), QPoint(30, 30)), QPoint(0, 0));
        // An unmarked label passes the press up to the marked caption: still no drag.
        QCOMPARE(drag(form.plain, QPoint(5, 5), QPoint(30, 30)), QPoint(0, 0));
        // The body below the caption is not marked.
        QCOMPARE(drag(&form.dialog, QPoint(200, 150), QPoint(30, 30)), QPoint(0, 0));
        // The right button never drags.
        send(form.title, QEvent::MouseButtonPress, QPoint(5, 5), Qt::RightButton, Qt::RightButton);
        QPointF global = form.title->mapToGlobal(QPointF(40, 40));
        QMouseEvent move(QEvent::MouseMove, QPointF(40, 40), global, Qt::NoButton, Qt::RightButton,
                         Qt::NoModifier);
        QApplication::sendEvent(form.title, &move);
        QCOMPARE(form.dialog.pos(), start);
    }

    void buttonStillWorksInsideTheCaption() {
        Form form;
        form.dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form.dialog));
        QSignalSpy clicked(form.button, &QPushButton::clicked);
        QTest::mouseClick(form.button, Qt::LeftButton);
        QCOMPARE(clicked.count(), 1);
    }

    // The shadow frame: kept (translucent) where the desktop composites,
    // else left outside a window that is its opaque body alone.
    void shadowFrameFollowsTheCompositor() {
        for (bool composited : {true, false}) {
            QWidget window;
            window.resize(410, 210);
            auto background = new QWidget(&window);
            background->setObjectName("widgetBackground");
            background->setGeometry(0, 0, 410, 210);
            auto body = new QWidget(background);
            body->setObjectName("widgetMain");
            body->setGeometry(5, 5, 400, 200);
            auto button = new QPushButton("x", body);
            button->setGeometry(360, 16, 32, 24);
            FramelessWindow::setupShadow(&window, composited);
            QCOMPARE(window.testAttribute(Qt::WA_TranslucentBackground), composited);
            QCOMPARE(window.size(), composited ? QSize(410, 210) : QSize(400, 200));
            QCOMPARE(body->mapTo(&window, QPoint(0, 0)), composited ? QPoint(5, 5) : QPoint(0, 0));
            // The body's own layout is untouched.
            QCOMPARE(button->mapTo(body, QPoint(0, 0)), QPoint(360, 16));
        }
        // A form without the frame is only made translucent.
        QWidget plain;
        plain.resize(300, 100);
        FramelessWindow::setupShadow(&plain, false);
        QCOMPARE(plain.size(), QSize(300, 100));
        QVERIFY(plain.testAttribute(Qt::WA_TranslucentBackground));
    }

    void offscreenCountsAsComposited() { QVERIFY(FramelessWindow::isComposited()); }

    // Under the client's style the pop-up is its list alone: no margins
    // above or below the entries (the style sheets leave them white).
    void comboListFillsItsPopup() {
        QWidget window;
        window.setStyleSheet(mainStyleSheet());
        window.resize(300, 200);
        auto combo = new QComboBox(&window);
        combo->setGeometry(10, 10, 152, 33);
        combo->addItems({QStringLiteral("demo computer"), QStringLiteral("其他设备"), QStringLiteral("lab")});
        FramelessWindow::setupPopup(combo);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        combo->showPopup();
        auto popup = qobject_cast<QFrame*>(combo->view()->window());
        QVERIFY(popup);
        QTRY_VERIFY(popup->isVisible());
        int const frame = popup->frameWidth();
        QRect const list(combo->view()->mapTo(popup, QPoint(0, 0)), combo->view()->size());
        QCOMPARE(list.top(), frame);
        QCOMPARE(popup->height() - list.bottom() - 1, frame);
        combo->hidePopup();
    }

    void popupOfAComboBox() {
        QComboBox combo;
        FramelessWindow::setupPopup(&combo);
        QWidget* popup = combo.view()->window();
        QVERIFY(popup != &combo);
        QCOMPARE(popup->windowFlags() & (Qt::Popup | Qt::FramelessWindowHint),
                 Qt::Popup | Qt::FramelessWindowHint);
        QVERIFY(popup->testAttribute(Qt::WA_TranslucentBackground));
        QCOMPARE(combo.view()->cursor().shape(), Qt::PointingHandCursor);
    }

    void menusArePopupsOfTheSameKind() {
        QWidget owner;
        QMenu* menu = new QMenu(&owner);
        QMenu* sub = menu->addMenu(QStringLiteral("加购升级"));
        for (QMenu* each : {menu, sub}) {
            FramelessWindow::setupMenu(each);
            QCOMPARE(each->windowFlags() & (Qt::Popup | Qt::FramelessWindowHint),
                     Qt::Popup | Qt::FramelessWindowHint);
            QVERIFY(each->testAttribute(Qt::WA_TranslucentBackground));
            QCOMPARE(each->cursor().shape(), Qt::PointingHandCursor);
            QCOMPARE(each->parentWidget(), each == menu ? &owner : static_cast<QWidget*>(menu));
        }
    }
};

GT_GUI_TEST_MAIN(FramelessWindowTest)
#include "FramelessWindow_test.moc"
