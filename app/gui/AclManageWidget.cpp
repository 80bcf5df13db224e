#include "app/gui/AclManageWidget.h"

AclManageWidget::AclManageWidget(QWidget* parent, MainWindow* mainWindow)
    : PlaceholderPage(parent, mainWindow, QStringLiteral("访问策略"), "widgetAclManage") {}
