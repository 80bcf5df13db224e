// The shadow frame on a real X server (Xvfb, see tests/helpers/xvfb_run.py),
// which runs no compositing manager: there a see-through margin shows black,
// so every frameless dialog is its body alone, opaque to its corners on the
// screen. Once something owns the compositing manager's selection, the
// shadow is drawn again.
#include <xcb/xcb.h>

#include <QDialog>
#include <QGuiApplication>
#include <QScreen>
#include <QtTest>
#include <cstdlib>
#include <functional>
#include <memory>

#include "app/gui/ForwardWizardDialog.h"
#include "app/gui/FramelessWindow.h"
#include "app/gui/InformationDialog.h"
#include "app/gui/InputDialog.h"
#include "app/gui/MessageDialog.h"
#include "app/gui/SelectDialog.h"
#include "support/GuiTest.h"

namespace {

xcb_connection_t* connection() {
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 ? x11->connection() : nullptr;
}

// Holds the compositing manager's selection of screen 0 while it lives, as
// a compositing manager does.
class FakeCompositor {
public:
    FakeCompositor() : m_window(xcb_generate_id(connection())) {
        xcb_connection_t* c = connection();
        xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
        xcb_create_window(c, XCB_COPY_FROM_PARENT, m_window, screen->root, 0, 0, 1, 1, 0,
                          XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, 0, nullptr);
        char const name[] = "_NET_WM_CM_S0";
        xcb_intern_atom_reply_t* atom =
            xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, sizeof name - 1, name), nullptr);
        xcb_set_selection_owner(c, m_window, atom->atom, XCB_CURRENT_TIME);
        std::free(atom);
        xcb_flush(c);
    }
    ~FakeCompositor() {
        xcb_destroy_window(connection(), m_window);
        xcb_flush(connection());
    }

private:
    xcb_window_t m_window;
};

}  // namespace

class FramelessWindowOnX11Test : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QCOMPARE(QGuiApplication::platformName(), QString("xcb")); }

    void theCompositorIsSeenByItsSelection() {
        QVERIFY(!FramelessWindow::isComposited());
        {
            FakeCompositor compositor;
            QVERIFY(FramelessWindow::isComposited());
        }
        QVERIFY(!FramelessWindow::isComposited());
    }

    void withoutACompositorADialogIsItsBodyOnScreen() {
        struct Case {
            char const* name;
            std::function<QDialog*()> make;
        } const cases[] = {
            {"message box", [] { return new MessageDialog; }},
            {"input box", [] { return new InputDialog; }},
            {"text box", [] { return new InformationDialog(nullptr, false); }},
            {"choice", [] { return new SelectDialog; }},
            {"mapping kind", [] { return new ForwardWizardDialog(nullptr); }},
        };
        QColor const bodyColour(0x33, 0x33, 0x33);
        for (Case const& c : cases) {
            std::unique_ptr<QDialog> dialog(c.make());
            dialog->move(100, 100);
            dialog->show();
            QVERIFY2(QTest::qWaitForWindowExposed(dialog.get()), c.name);
            QCoreApplication::processEvents();
            QImage screen;
            // What the X server shows: the corners are the body's grey, no black frame.
            QTRY_VERIFY2(
                (screen = QGuiApplication::primaryScreen()
                              ->grabWindow(0, dialog->x(), dialog->y(), dialog->width(), dialog->height())
                              .toImage(),
                 screen.pixelColor(0, 0) == bodyColour &&
                     screen.pixelColor(screen.width() - 1, screen.height() - 1) == bodyColour),
                c.name);
            QWidget* body = dialog->findChild<QWidget*>("widgetMain");
            QVERIFY2(body, c.name);
            QVERIFY2(!dialog->testAttribute(Qt::WA_TranslucentBackground), c.name);
            QCOMPARE(dialog->size(), body->size());
            QCOMPARE(body->mapTo(dialog.get(), QPoint(0, 0)), QPoint(0, 0));
        }
    }

    void withACompositorTheShadowFrameStays() {
        FakeCompositor compositor;
        MessageDialog dialog;
        QWidget* body = dialog.findChild<QWidget*>("widgetMain");
        QVERIFY(dialog.testAttribute(Qt::WA_TranslucentBackground));
        QCOMPARE(body->mapTo(&dialog, QPoint(0, 0)), QPoint(5, 5));
        QCOMPARE(dialog.size(), body->size() + QSize(10, 10));
    }
};

GT_GUI_TEST_MAIN(FramelessWindowOnX11Test)
#include "FramelessWindowOnX11_test.moc"
