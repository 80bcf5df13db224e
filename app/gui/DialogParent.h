// Where the client's message boxes go: over the window the user works in,
// which is the active window, or over the main window when none is active
// (just after another dialog closed, or from a row's context menu, the
// window system may not have activated the next one yet). Without a parent
// a box would be placed by the window system, often centred on the screen
// and half outside the main window.
#pragma once

#include <QString>

class QWidget;

class DialogParent {
public:
    // The active window when it shows; else the top window of from's parent
    // chain (a page's or an editor's main window); null only for a null from
    // while no window is active.
    static QWidget* of(QWidget* from);
    // A warning box (plain text) over of(from): the one way a failed cloud
    // call or a refused setting is reported.
    static void warn(QWidget* from, QString const& title, QString const& text);
};
