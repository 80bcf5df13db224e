#include "app/gui/FramelessWindow.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QDialog>
#include <QMenu>

#include "app/gui/UiScale.h"
#include "app/gui/WindowMover.h"

void FramelessWindow::setupDialog(QDialog* dialog, QWidget* parent) {
    dialog->setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    dialog->setAttribute(Qt::WA_TranslucentBackground);
    UiScale::apply(dialog);
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
    QAbstractItemView* view = comboBox->view();
    view->setCursor(Qt::PointingHandCursor);
    makePopup(view->window());
}

void FramelessWindow::setupMenu(QMenu* menu) {
    menu->setCursor(Qt::PointingHandCursor);
    makePopup(menu);
}
