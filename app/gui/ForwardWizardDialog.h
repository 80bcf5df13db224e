// The small modal dialog that asks which kind of mapping to create before the
// forward editor opens: native port, website or proxy service (shown, not
// offered yet).
#pragma once

#include <QDialog>
#include <memory>

namespace Ui {
class ForwardWizardDialog;
}

class ForwardWizardDialog : public QDialog {
    Q_OBJECT

public:
    // Kind codes of the choice; NO_KIND when no choice is marked.
    static constexpr int NO_KIND = 0;
    static constexpr int KIND_NATIVE = 1;
    static constexpr int KIND_WEBSITE = 2;
    static constexpr int KIND_PROXY = 3;

    // parent: the main window, over which the dialog is centred.
    explicit ForwardWizardDialog(QWidget* parent);
    ~ForwardWizardDialog() override;

    // Runs the dialog; true with the chosen kind in *kind when it was
    // accepted. A null kind opens nothing; a cancel leaves *kind alone.
    bool select(int* kind);

private slots:
    void on_btnClose_clicked();
    void on_btnOk_clicked();
    void on_btnCancel_clicked();

private:
    std::unique_ptr<Ui::ForwardWizardDialog> m_ui;
};
