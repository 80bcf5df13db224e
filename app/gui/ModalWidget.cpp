#include "app/gui/ModalWidget.h"

#include <QEventLoop>
#include <QPointer>

ModalWidget::ModalWidget(QWidget* parent) : QWidget(parent), m_loop(nullptr), m_result(nullptr) {
    setWindowModality(Qt::ApplicationModal);
}

ModalWidget::~ModalWidget() {
    if (m_loop) m_loop->exit(0);
}

int ModalWidget::exec() {
    if (m_loop) return 0;
    QEventLoop loop;
    int result = 0;
    m_loop = &loop;
    m_result = &result;
    QPointer<ModalWidget> self(this);
    show();
    raise();
    loop.exec();
    // The widget may be gone by now; only the locals are safe to touch.
    if (!self) return 0;
    m_loop = nullptr;
    m_result = nullptr;
    hide();
    return result;
}

void ModalWidget::accept() { _finish(1); }

void ModalWidget::reject() { _finish(0); }

void ModalWidget::_finish(int result) {
    if (!m_loop) return;
    QPointer<ModalWidget> self(this);
    QEventLoop* loop = m_loop;
    *m_result = result;
    close();
    // A close handler may have deleted the widget; its destructor has ended
    // the loop then.
    if (self) loop->exit(result);
}
