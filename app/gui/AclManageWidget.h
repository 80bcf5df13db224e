// The access-policy page of the main window, opened from the tools menu.
#pragma once

#include "app/gui/PlaceholderPage.h"

class AclManageWidget : public PlaceholderPage {
    Q_OBJECT

public:
    AclManageWidget(QWidget* parent, MainWindow* mainWindow);
};
