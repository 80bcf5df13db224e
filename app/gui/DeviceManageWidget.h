// The device page of the main window: the account's devices, and the binding
// of this computer to the account, which the main window checks after every
// login and shows in its status line.
#pragma once

#include <QString>

#include "app/gui/PlaceholderPage.h"

class DeviceManageWidget : public PlaceholderPage {
    Q_OBJECT

public:
    DeviceManageWidget(QWidget* parent, MainWindow* mainWindow);

    // Whether this computer is bound to the logged-in account; otherwise
    // statusText() says why.
    bool checkDeviceBinding();
    // Empty while this computer is bound to the account.
    QString const& statusText() const { return m_statusText; }

private:
    QString m_statusText;
};
