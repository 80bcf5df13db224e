// The frame conventions of the client's windows: frameless top-level windows
// that draw their own shadow frame where the desktop composites translucent
// windows (and leave it out where it would show black), scaled to the
// screen, dragged by their "windowMove" areas (WindowMover) and, for
// dialogs, centred over their parent; frameless translucent pop-ups for
// combo-box lists and menus, which draw their own background from the style
// sheet.
#pragma once

class QComboBox;
class QDialog;
class QMenu;
class QWidget;

class FramelessWindow {
public:
    // For a dialog whose form is set up: window and frameless flags,
    // UiScale::apply, the shadow frame as the desktop allows (setupShadow),
    // the window mover, and the centre over the parent when there is one
    // (otherwise the window system places it).
    static void setupDialog(QDialog* dialog, QWidget* parent);
    // Moves a top-level window so that its centre lies on the parent's centre
    // (integer halves). The parent's own position counts when it is a window;
    // a child widget is placed by where it lies on the screen.
    static void centreOver(QWidget* window, QWidget* parent);
    // The list of a combo box: pointing-hand cursor, frameless translucent
    // pop-up that is a plain list (no menu margins above and below it).
    static void setupPopup(QComboBox* comboBox);
    // A menu (context, tray or button menu, and its submenus): frameless
    // translucent pop-up with the pointing-hand cursor.
    static void setupMenu(QMenu* menu);

    // Whether the desktop blends translucent windows with what lies below
    // them: only then is a shadow drawn in a see-through margin a shadow;
    // without it the margin shows black. On X11 a compositing manager owns
    // the selection _NET_WM_CM_S<screen>. The offscreen platform keeps what
    // a window draws with its alpha, so it counts as composited, as do the
    // other platforms (Wayland always composites).
    static bool isComposited();
    // For a window whose form has the shadow frame: "widgetBackground"
    // drawing the shadow around the opaque body "widgetMain". Composited,
    // the window is translucent so that the shadow blends in; otherwise the
    // window shrinks to the body, the frame lies outside it, and nothing of
    // the window is see-through. A form without that frame is only made
    // translucent.
    static void setupShadow(QWidget* window, bool composited);
};
