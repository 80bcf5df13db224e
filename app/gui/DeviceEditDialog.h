// The modal editor of one device of the account, opened from the device
// page: its name, saved with modify_device. The access-policy section shows
// a choice that is not open in this version. Section buttons on the left
// scroll to their section and follow the scroll position.
#pragma once

#include <QDialog>
#include <memory>

#include "tunnel/api/user/Device.h"

class IMainWindow;

namespace Ui {
class DeviceEditDialog;
}

class DeviceEditDialog : public QDialog {
    Q_OBJECT

public:
    // mainWindow is the parent and the way to the cloud; not owned.
    explicit DeviceEditDialog(IMainWindow* mainWindow);
    ~DeviceEditDialog() override;

    // Edits a copy of device; true when the cloud took the new name. False
    // at once while the dialog already shows.
    bool exec(tunnel::Device const& device);
    using QDialog::exec;

private slots:
    void on_btnClose_clicked();
    void on_btnCancel_clicked();
    void on_btnSection1_toggled(bool checked);
    void on_btnSection2_toggled(bool checked);
    void on_btnCreateInstance_clicked();
    void on_btnOK_clicked();
    void _on_scrollBar_valueChanged(int value);

private:
    std::unique_ptr<Ui::DeviceEditDialog> m_ui;
    IMainWindow* m_mainWindow;  // not owned; the parent
    bool m_scrolling;           // while the scroll handler checks a section button
    tunnel::Device m_device;    // the record being edited, blank outside exec
};
