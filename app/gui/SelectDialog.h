// The client's modal one-of-many choice: a title, a prompt and a drop-down
// list of texts with "确定" and "取消".
#pragma once

#include <QDialog>
#include <QStringList>
#include <memory>

namespace Ui {
class SelectDialog;
}

class SelectDialog : public QDialog {
    Q_OBJECT
public:
    explicit SelectDialog(QWidget* parent = nullptr);
    ~SelectDialog() override;

    // The index into items of the chosen entry; -1 when nothing was chosen
    // (cancelled, or accepted without a current entry) and, without showing
    // anything, for an empty list. current preselects an entry; one outside
    // the list selects none.
    int select(QString const& title, QString const& text, QStringList const& items, int current);

private slots:
    void on_btnClose_clicked();
    void on_btn_2_clicked();
    void on_btn_1_clicked();

private:
    std::unique_ptr<Ui::SelectDialog> m_ui;
};
