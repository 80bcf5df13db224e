// The modal settings window of the desktop client, opened from the tray
// menu. Three settings, applied when the user presses OK: starting with the
// session (an autostart entry that runs the client with "--minimize=true"),
// background service mode (QvrSvr as a service of our service manager
// instead of a console child), and the local IPv4 address through which the
// service program reaches the relays ("net.local_ip" in the user settings,
// read by the service when it starts, so a change restarts it).
#pragma once

#include <QDialog>
#include <functional>
#include <memory>

#include "gt/core/lang/String.h"
#include "gt/core/util/Array.h"

class IMainWindow;

namespace Ui {
class SettingDialog;
}

class SettingDialog : public QDialog {
    Q_OBJECT

public:
    // mainWindow is the parent and the way to the settings and the service
    // controller; not owned.
    explicit SettingDialog(IMainWindow* mainWindow);
    ~SettingDialog() override;

    // Loads the current settings into the form and runs the dialog;
    // QDialog::Accepted after a successful OK.
    int exec() override;

    // The IPv4 addresses of the adapters that are up (NetworkAdapters by
    // default); the choice offers those worth binding to.
    std::function<gt::core::Array<gt::core::String>()> listAddresses;

private slots:
    void on_btnClose_clicked();
    void on_btnOk_clicked();
    void on_btnCancel_clicked();
    void on_checkBoxLocalIp_toggled(bool checked);

private:
    void _showAddress(QString const& address);
    void _warn(QString const& text);

    std::unique_ptr<Ui::SettingDialog> m_ui;
    IMainWindow* m_mainWindow;  // not owned; the parent
};
