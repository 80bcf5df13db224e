#include "app/gui/PendingDialog.h"

#include <QCoreApplication>

#include "app/gui/FramelessWindow.h"
#include "ui_PendingDialog.h"

PendingDialog::PendingDialog(QWidget* parent) : QDialog(parent), m_ui(std::make_unique<Ui::PendingDialog>()) {
    m_ui->setupUi(this);
    FramelessWindow::setupDialog(this, parent);
}

PendingDialog::~PendingDialog() = default;

void PendingDialog::showText(QString const& text) {
    m_ui->labelInfo->setText(text);
    setModal(true);
    show();
    raise();
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

QString PendingDialog::text() const { return m_ui->labelInfo->text(); }
