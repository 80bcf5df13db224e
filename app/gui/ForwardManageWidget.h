// The mapping page of the main window: the forwards of the account's devices
// with the service's live state of this computer's ones.
#pragma once

#include "app/gui/PlaceholderPage.h"
#include "gt/core/lang/Any.h"
#include "gt/core/util/Array.h"

class ForwardManageWidget : public PlaceholderPage {
    Q_OBJECT

public:
    ForwardManageWidget(QWidget* parent, MainWindow* mainWindow);

    // Refreshes the account's devices through the main window.
    void refreshDevices();
    // The "forwards" array of the service's status report.
    void updateStatus(gt::core::Array<gt::core::Any> const& forwards);
};
