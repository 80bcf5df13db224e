#include "app/gui/InformationDialog.h"

#include <QUrl>

#include "app/gui/FramelessWindow.h"
#include "app/gui/GuiUtil.h"
#include "ui_InformationDialog.h"

InformationDialog::InformationDialog(QWidget* parent, bool html)
    : QDialog(parent), m_ui(std::make_unique<Ui::InformationDialog>()), m_html(html) {
    m_ui->setupUi(this);
    // Every link leaves the box: the browser never navigates to it (the form
    // turns openLinks off), the desktop opens it.
    connect(m_ui->textBrowser, &QTextBrowser::anchorClicked, this,
            [this](QUrl const& url) { openLink(QString::fromUtf8(url.toEncoded()), this); });
    FramelessWindow::setupDialog(this, parent);
}

InformationDialog::~InformationDialog() = default;

bool InformationDialog::question(QString const& title, QString const& text) {
    m_ui->btn_1->show();
    m_ui->btn_1->setDefault(true);
    m_ui->btn_2->setDefault(false);
    m_ui->btn_1->setText(QStringLiteral("是"));
    m_ui->btn_2->setText(QStringLiteral("否"));
    _setContent(title, text);
    return exec() == QDialog::Accepted;
}

int InformationDialog::information(QString const& title, QString const& text) {
    m_ui->btn_1->hide();
    m_ui->btn_1->setDefault(false);
    m_ui->btn_2->setDefault(true);
    m_ui->btn_2->setText(QStringLiteral("确定"));
    _setContent(title, text);
    return exec();
}

void InformationDialog::on_btnClose_clicked() { close(); }

void InformationDialog::on_btn_2_clicked() { close(); }

void InformationDialog::on_btn_1_clicked() { accept(); }

void InformationDialog::_setContent(QString const& title, QString const& text) {
    m_ui->labelTitle->setText(title);
    if (m_html) {
        m_ui->textBrowser->setHtml(text);
    } else {
        m_ui->textBrowser->setPlainText(text);
    }
}

bool InformationDialog::openLink(QString const& url, QWidget* parent) {
    if (openUrl(url)) return true;
    // The address is ours, but it goes in escaped: the box shows it as it is,
    // selectable, and not as a link that would only fail again.
    InformationDialog(parent, true)
        .information(
            QStringLiteral("未能打开浏览器"),
            QStringLiteral("<p>没有找到可以打开网页的浏览器。请复制以下地址，在浏览器中打开：</p><p>") +
                url.toHtmlEscaped() + QStringLiteral("</p>"));
    return false;
}
