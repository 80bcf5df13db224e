#include "app/gui/ForwardManageWidget.h"

#include "app/gui/MainWindow.h"

ForwardManageWidget::ForwardManageWidget(QWidget* parent, MainWindow* mainWindow)
    : PlaceholderPage(parent, mainWindow, QStringLiteral("内网映射"), "widgetForwardManage") {}

void ForwardManageWidget::refreshDevices() { m_mainWindow->refreshDevices(); }

void ForwardManageWidget::updateStatus(gt::core::Array<gt::core::Any> const&) {}
