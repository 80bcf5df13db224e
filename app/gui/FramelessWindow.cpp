#include "app/gui/FramelessWindow.h"

#include <xcb/xcb.h>

#include <QAbstractItemView>
#include <QByteArray>
#include <QComboBox>
#include <QDialog>
#include <QGuiApplication>
#include <QMenu>
#include <cstdlib>

#include "app/gui/UiScale.h"
#include "app/gui/WindowMover.h"

namespace {

// The X screen the display name chooses (":0.1" is screen 1); Qt opens the
// same one.
int x11ScreenNumber() {
    QByteArray const display = qgetenv("DISPLAY");
    int const colon = display.lastIndexOf(':');
    int const dot = display.indexOf('.', colon < 0 ? 0 : colon);
    if (dot < 0) return 0;
    bool ok = false;
    int const screen = display.mid(dot + 1).toInt(&ok);
    return ok && screen >= 0 ? screen : 0;
}

bool x11CompositorRunning(xcb_connection_t* connection) {
    QByteArray const name = "_NET_WM_CM_S" + QByteArray::number(x11ScreenNumber());
    // Only an atom that exists can have an owner: no compositor ever ran.
    xcb_intern_atom_reply_t* atom = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 1, static_cast<uint16_t>(name.size()), name.constData()),
        nullptr);
    if (!atom) return false;
    xcb_atom_t const selection = atom->atom;
    std::free(atom);
    if (selection == XCB_ATOM_NONE) return false;
    xcb_get_selection_owner_reply_t* owner =
        xcb_get_selection_owner_reply(connection, xcb_get_selection_owner(connection, selection), nullptr);
    bool const owned = owner && owner->owner != XCB_WINDOW_NONE;
    std::free(owner);
    return owned;
}

}  // namespace

void FramelessWindow::setupDialog(QDialog* dialog, QWidget* parent) {
    dialog->setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    UiScale::apply(dialog);
    setupShadow(dialog, isComposited());
    WindowMover::install();
    if (parent) centreOver(dialog, parent);
}

void FramelessWindow::centreOver(QWidget* window, QWidget* parent) {
    if (!window || !parent) return;
    QPoint origin = parent->isWindow() ? parent->pos() : parent->mapToGlobal(QPoint(0, 0));
    window->move(origin.x() + parent->width() / 2 - window->width() / 2,
                 origin.y() + parent->height() / 2 - window->height() / 2);
}

namespace {

void makePopup(QWidget* popup) {
    popup->setWindowFlags(Qt::Popup | Qt::FramelessWindowHint);
    popup->setAttribute(Qt::WA_TranslucentBackground);
}

}  // namespace

void FramelessWindow::setupPopup(QComboBox* comboBox) {
    // A plain list: the menu-like pop-up of some styles keeps margins above
    // and below the entries that our style sheets never paint (white bars).
    comboBox->setStyleSheet(comboBox->styleSheet() + QStringLiteral("\nQComboBox { combobox-popup: 0; }"));
    // The list sizes its margins when it is made and on a style change, from
    // the rules in force then: those of the polished combo box.
    comboBox->ensurePolished();
    QAbstractItemView* view = comboBox->view();
    view->setCursor(Qt::PointingHandCursor);
    QWidget* popup = view->window();
    makePopup(popup);
    QEvent change(QEvent::StyleChange);
    QCoreApplication::sendEvent(popup, &change);
}

void FramelessWindow::setupMenu(QMenu* menu) {
    menu->setCursor(Qt::PointingHandCursor);
    makePopup(menu);
}

bool FramelessWindow::isComposited() {
    if (QGuiApplication::platformName() != QLatin1String("xcb")) return true;
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 && x11->connection() && x11CompositorRunning(x11->connection());
}

void FramelessWindow::setupShadow(QWidget* window, bool composited) {
    QWidget* background = window->findChild<QWidget*>(QStringLiteral("widgetBackground"));
    QWidget* body =
        background ? background->findChild<QWidget*>(QStringLiteral("widgetMain"), Qt::FindDirectChildrenOnly)
                   : nullptr;
    if (composited || !body) {
        window->setAttribute(Qt::WA_TranslucentBackground);
        return;
    }
    window->setAttribute(Qt::WA_TranslucentBackground, false);
    // The frame moves out over the top left by the body's inset, and the
    // window ends where the body does.
    background->move(background->pos() - body->mapTo(window, QPoint(0, 0)));
    window->resize(body->size());
}
