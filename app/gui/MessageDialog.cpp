#include "app/gui/MessageDialog.h"

#include "app/gui/FramelessWindow.h"
#include "app/gui/GuiUtil.h"
#include "app/gui/UiScale.h"
#include "ui_MessageDialog.h"

MessageDialog::MessageDialog(QWidget* parent, Text text)
    : QDialog(parent), m_ui(std::make_unique<Ui::MessageDialog>()) {
    m_ui->setupUi(this);
    m_ui->labelText->setTextFormat(text == RICH_TEXT ? Qt::RichText : Qt::PlainText);
    FramelessWindow::setupDialog(this, parent);
}

MessageDialog::~MessageDialog() = default;

bool MessageDialog::question(QString const& title, QString const& text) {
    _setIcon(QStringLiteral(":/rc/icon_msgbox_question.png"));
    m_ui->btn_1->show();
    m_ui->btn_1->setDefault(true);
    m_ui->btn_2->setDefault(false);
    m_ui->btn_1->setText(QStringLiteral("是"));
    m_ui->btn_2->setText(QStringLiteral("否"));
    m_ui->labelTitle->setText(title);
    m_ui->labelText->setText(text);
    return exec() == QDialog::Accepted;
}

int MessageDialog::information(QString const& title, QString const& text) {
    _setIcon(QStringLiteral(":/rc/icon_msgbox_information.png"));
    return _showMessage(title, text);
}

int MessageDialog::warning(QString const& title, QString const& text) {
    _setIcon(QStringLiteral(":/rc/icon_msgbox_warning.png"));
    return _showMessage(title, text);
}

int MessageDialog::complete(QString const& title, QString const& text) {
    _setIcon(QStringLiteral(":/rc/icon_msgbox_complete.png"));
    return _showMessage(title, text);
}

void MessageDialog::on_btn_1_clicked() { accept(); }

void MessageDialog::on_btn_2_clicked() { close(); }

void MessageDialog::on_btnClose_clicked() { close(); }

void MessageDialog::_setIcon(QString const& path) {
    QString image = toQString(UiScale::image(fromQString(path)));
    m_ui->widgetIcon->setStyleSheet(QStringLiteral("border-image: url('") + image + QStringLiteral("');"));
}

int MessageDialog::_showMessage(QString const& title, QString const& text) {
    m_ui->btn_1->hide();
    m_ui->btn_1->setDefault(false);
    m_ui->btn_2->setDefault(true);
    m_ui->btn_2->setText(QStringLiteral("确定"));
    m_ui->labelTitle->setText(title);
    m_ui->labelText->setText(text);
    return exec();
}
