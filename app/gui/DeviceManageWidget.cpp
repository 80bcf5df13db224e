#include "app/gui/DeviceManageWidget.h"

DeviceManageWidget::DeviceManageWidget(QWidget* parent, MainWindow* mainWindow)
    : PlaceholderPage(parent, mainWindow, QStringLiteral("设备中心"), "widgetDeviceManage") {}

bool DeviceManageWidget::checkDeviceBinding() {
    m_statusText.clear();
    return true;
}
