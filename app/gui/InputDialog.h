// The client's one-line text input box: a frameless modal window in the look
// of the message box with a title, a prompt, a line edit and "确定"/"取消".
// A caller makes one on the stack, calls getText() once and, on true, reads
// text(). The text is returned as typed: no trimming, no limit, no check.
#pragma once

#include <QDialog>
#include <QLineEdit>
#include <memory>

namespace Ui {
class InputDialog;
}

class InputDialog : public QDialog {
    Q_OBJECT
public:
    explicit InputDialog(QWidget* parent = nullptr);
    ~InputDialog() override;

    // Shows the prompt with text proposed (fully selected, so typing replaces
    // it). True when accepted ("确定" or Enter): text() is then what the edit
    // holds, possibly empty. False on "取消", the close button or Escape:
    // the edit is cleared and text() stays the proposal. The password echo
    // hides what is typed.
    bool getText(QString const& title, QString const& label, QString const& text,
                 Qt::Alignment alignment = Qt::AlignLeft, QLineEdit::EchoMode echo = QLineEdit::Normal);
    QString text() const { return m_text; }

private slots:
    void on_btn_1_clicked();
    void on_btn_2_clicked();
    void on_btnClose_clicked();

private:
    std::unique_ptr<Ui::InputDialog> m_ui;
    QString m_text;
};
