// The settings dialog, opened from the tray menu.
#pragma once

#include <QDialog>

class MainWindow;

class SettingDialog : public QDialog {
    Q_OBJECT

public:
    // mainWindow is the parent; not owned.
    explicit SettingDialog(MainWindow* mainWindow);

private:
    MainWindow* m_mainWindow;  // not owned
};
