// The frame conventions of the client's windows: frameless translucent
// top-level windows that draw their own shadow frame, scaled to the screen,
// dragged by their "windowMove" areas (WindowMover) and, for dialogs, centred
// over their parent; frameless translucent pop-ups for combo-box lists and
// menus, which draw their own background from the style sheet.
#pragma once

class QComboBox;
class QDialog;
class QMenu;
class QWidget;

class FramelessWindow {
public:
    // For a dialog whose form is set up: window and frameless flags,
    // translucent background, UiScale::apply, the window mover, and the centre
    // over the parent when there is one (otherwise the window system places it).
    static void setupDialog(QDialog* dialog, QWidget* parent);
    // Moves a top-level window so that its centre lies on the parent's centre
    // (integer halves). The parent's own position counts when it is a window;
    // a child widget is placed by where it lies on the screen.
    static void centreOver(QWidget* window, QWidget* parent);
    // The list of a combo box: pointing-hand cursor, frameless translucent pop-up.
    static void setupPopup(QComboBox* comboBox);
    // A menu (context, tray or button menu, and its submenus): the same.
    static void setupMenu(QMenu* menu);
};
