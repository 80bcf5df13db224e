#include "app/gui/SettingDialog.h"

#include <QLabel>
#include <QPushButton>

#include "app/gui/MainWindow.h"

SettingDialog::SettingDialog(MainWindow* mainWindow) : QDialog(mainWindow), m_mainWindow(mainWindow) {
    setWindowTitle(QStringLiteral("设置"));
    resize(320, 120);
    QPushButton* close = new QPushButton(QStringLiteral("确定"), this);
    close->setObjectName(QStringLiteral("btnClose"));
    close->setGeometry(224, 80, 72, 28);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
}
