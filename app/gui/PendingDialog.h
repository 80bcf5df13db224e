// The small frameless busy window shown while a blocking call runs on a
// worker thread (BlockingCallRunner): a rounded floating background and one
// centred line of text.
#pragma once

#include <QDialog>
#include <memory>

namespace Ui {
class PendingDialog;
}

class PendingDialog : public QDialog {
    Q_OBJECT
public:
    // Built, scaled and centred over the parent; not shown yet.
    explicit PendingDialog(QWidget* parent = nullptr);
    ~PendingDialog() override;

    // Sets the text, shows and raises the window modally and lets it paint
    // (one round of events without user input) before the caller goes on.
    void showText(QString const& text);
    QString text() const;

private:
    std::unique_ptr<Ui::PendingDialog> m_ui;
};
