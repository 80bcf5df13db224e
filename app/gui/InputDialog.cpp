#include "app/gui/InputDialog.h"

#include "app/gui/FramelessWindow.h"
#include "ui_InputDialog.h"

InputDialog::InputDialog(QWidget* parent) : QDialog(parent), m_ui(std::make_unique<Ui::InputDialog>()) {
    m_ui->setupUi(this);
    FramelessWindow::setupDialog(this, parent);
}

InputDialog::~InputDialog() = default;

bool InputDialog::getText(QString const& title, QString const& label, QString const& text,
                          Qt::Alignment alignment, QLineEdit::EchoMode echo) {
    m_ui->labelTitle->setText(title);
    m_ui->labelMsg->setText(label);
    m_ui->editText->setEchoMode(echo);
    m_ui->editText->setText(text);
    m_text = text;
    m_ui->editText->setAlignment(alignment);
    m_ui->editText->setFocus();
    if (!m_ui->editText->text().isEmpty()) m_ui->editText->selectAll();
    if (exec() != QDialog::Accepted) {
        m_ui->editText->clear();
        return false;
    }
    m_text = m_ui->editText->text();
    return true;
}

void InputDialog::on_btn_1_clicked() { accept(); }

void InputDialog::on_btn_2_clicked() { close(); }

void InputDialog::on_btnClose_clicked() { close(); }
