// The client's one message box: a small frameless modal window with a title,
// an icon, a message and one or two buttons. A caller makes one on the stack,
// calls one of the four operations once and lets it go.
//
// The message is plain text: a cloud's or the system's words are shown as
// written, whatever they look like. A caller that writes markup of its own
// (line breaks, links, colours) asks for RICH_TEXT and escapes every piece
// it did not write itself (QString::toHtmlEscaped).
#pragma once

#include <QDialog>
#include <memory>

namespace Ui {
class MessageDialog;
}

class MessageDialog : public QDialog {
    Q_OBJECT
public:
    // How the message is read.
    enum Text { PLAIN_TEXT, RICH_TEXT };

    // The parent may be null; with one the box is centred over it.
    explicit MessageDialog(QWidget* parent = nullptr, Text text = PLAIN_TEXT);
    ~MessageDialog() override;

    // "是" (default) and "否"; true when the user chose "是".
    bool question(QString const& title, QString const& text);
    // One "确定" button; the result (QDialog::exec) carries no choice.
    int information(QString const& title, QString const& text);
    int warning(QString const& title, QString const& text);
    int complete(QString const& title, QString const& text);

private slots:
    void on_btn_1_clicked();
    void on_btn_2_clicked();
    void on_btnClose_clicked();

private:
    void _setIcon(QString const& path);
    int _showMessage(QString const& title, QString const& text);

    std::unique_ptr<Ui::MessageDialog> m_ui;
};
