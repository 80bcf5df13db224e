#include "app/gui/WindowMover.h"

#include <QApplication>
#include <QMouseEvent>
#include <QWidget>
#include <QWindow>

void WindowMover::install() {
    static QPointer<WindowMover> s_mover;
    if (s_mover || !qApp) return;
    s_mover = new WindowMover(qApp);
    qApp->installEventFilter(s_mover);
}

WindowMover::WindowMover(QObject* parent) : QObject(parent) {}

bool WindowMover::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
        case QEvent::MouseButtonPress:
            if (!watched->isWidgetType()) return false;
            return _press(static_cast<QWidget*>(watched), static_cast<QMouseEvent*>(event));
        case QEvent::MouseMove:
            if (!m_window) return false;
            if (!(static_cast<QMouseEvent*>(event)->buttons() & Qt::LeftButton)) {
                m_window = nullptr;
                return false;
            }
            m_window->move(static_cast<QMouseEvent*>(event)->globalPosition().toPoint() - m_offset);
            return true;
        case QEvent::MouseButtonRelease:
            if (!m_window || static_cast<QMouseEvent*>(event)->button() != Qt::LeftButton) return false;
            m_window = nullptr;
            return true;
        default:
            return false;
    }
}

bool WindowMover::_press(QWidget* widget, QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return false;
    if (!widget->property(PROPERTY).toBool()) return false;
    QWidget* window = widget->window();
    QPoint global = event->globalPosition().toPoint();
    // Only the widget right under the cursor counts: a press that an unmarked
    // child ignored and passed up to a marked parent does not drag.
    QWidget* hit = window->childAt(window->mapFromGlobal(global));
    if ((hit ? hit : window) != widget) return false;
    QWindow* handle = window->windowHandle();
    if (handle && handle->startSystemMove()) return true;
    m_window = window;
    m_offset = global - window->pos();
    return true;
}
