#include "app/gui/ForwardWizardDialog.h"

#include "app/gui/FramelessWindow.h"
#include "ui_ForwardWizardDialog.h"

ForwardWizardDialog::ForwardWizardDialog(QWidget* parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::ForwardWizardDialog>()) {
    m_ui->setupUi(this);
    FramelessWindow::setupDialog(this, parent);
}

ForwardWizardDialog::~ForwardWizardDialog() = default;

bool ForwardWizardDialog::select(int* kind) {
    if (!kind) return false;
    if (exec() != QDialog::Accepted) return false;
    if (m_ui->radioStandard->isChecked()) {
        *kind = KIND_NATIVE;
    } else if (m_ui->radioWeb->isChecked()) {
        *kind = KIND_WEBSITE;
    } else if (m_ui->radioProxy->isChecked()) {
        *kind = KIND_PROXY;
    } else {
        *kind = NO_KIND;
    }
    return true;
}

void ForwardWizardDialog::on_btnClose_clicked() { close(); }

void ForwardWizardDialog::on_btnOk_clicked() { accept(); }

void ForwardWizardDialog::on_btnCancel_clicked() { close(); }
