// Dragging of frameless windows by their marked areas: a left press on a
// widget whose dynamic property "windowMove" is true (captions, titles, logos,
// backgrounds; the widget right under the cursor, not a parent of it) moves
// the window. The window system moves it when it can
// (QWindow::startSystemMove); where it cannot (offscreen, some bare X
// servers) the window follows the mouse until the button is released.
//
// One mover per application watches every widget's mouse events, so widgets
// added to a window after its construction drag it as well.
#pragma once

#include <QObject>
#include <QPoint>
#include <QPointer>

class QMouseEvent;
class QWidget;

class WindowMover : public QObject {
    Q_OBJECT
public:
    static constexpr char const* PROPERTY = "windowMove";

    // Creates the application's mover once (a child of the application) and
    // installs it; later calls do nothing. Needs a QApplication.
    static void install();

    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    explicit WindowMover(QObject* parent);
    bool _press(QWidget* widget, QMouseEvent* event);

    // The window being moved by hand, and the press point relative to its
    // top-left corner; null while nothing is dragged that way.
    QPointer<QWidget> m_window;
    QPoint m_offset;
};
