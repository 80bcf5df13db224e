#include "app/gui/DialogParent.h"

#include <QApplication>
#include <QWidget>

#include "app/gui/MessageDialog.h"

QWidget* DialogParent::of(QWidget* from) {
    QWidget* active = QApplication::activeWindow();
    // A window that has just been hidden may still be reported active.
    if (active && active->isVisible()) return active;
    if (!from) return nullptr;
    QWidget* window = from->window();
    while (window->parentWidget())
        window = window->parentWidget()->window();
    return window;
}

void DialogParent::warn(QWidget* from, QString const& title, QString const& text) {
    MessageDialog(of(from)).warning(title, text);
}
