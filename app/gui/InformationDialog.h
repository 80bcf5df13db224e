// The client's modal box for longer texts: a title and a scrollable text
// (plain, or rich text with links), with one "确定" button or a yes/no
// question. Links open with the desktop's handler ("app:" links reach the
// main window); the box itself never follows a link.
//
// Without html the text is shown as written, whatever it looks like. A
// caller that asks for html writes the markup itself and escapes every piece
// it did not write (QString::toHtmlEscaped).
#pragma once

#include <QDialog>
#include <memory>

namespace Ui {
class InformationDialog;
}

class InformationDialog : public QDialog {
    Q_OBJECT
public:
    InformationDialog(QWidget* parent, bool html);
    ~InformationDialog() override;

    // "是" (default) and "否"; true when the user chose "是".
    bool question(QString const& title, QString const& text);
    // One "确定" button; returns the dialog's result.
    int information(QString const& title, QString const& text);

    // Opens the address with the desktop's handler (InformationDialog's own
    // links go the same way). When none takes it (no browser on this
    // desktop) the user is told so in a box over parent that shows the
    // address as selectable text to copy by hand; false then.
    static bool openLink(QString const& url, QWidget* parent);

private slots:
    void on_btnClose_clicked();
    void on_btn_2_clicked();
    void on_btn_1_clicked();

private:
    void _setContent(QString const& title, QString const& text);

    std::unique_ptr<Ui::InformationDialog> m_ui;
    bool m_html;
};
