// The device page of the main window: the account's devices (rename through
// the device editor, delete), and the binding of this computer to the
// account, which the main window checks after every login and through the
// repair link "app:///repair?type=device", and whose state it shows in its
// status line.
//
// The binding is "device.id" (decimal) and "device.token" (opaque, never
// shown) in the user settings file; the service program logs in with the
// token and rereads the file by itself. Both keys are written in one save,
// and a binding that did not reach the file is not taken as made.
#pragma once

#include <QString>
#include <QWidget>
#include <memory>

#include "gt/core/lang/String.h"

class IMainWindow;
class QPropertyAnimation;
class QTableWidgetItem;

namespace Ui {
class DeviceManageWidget;
}

class DeviceManageWidget : public QWidget {
    Q_OBJECT

public:
    // The binding states of statusText().
    static char16_t const* const NOT_JOINED_TEXT;     // "本设备未加入"
    static char16_t const* const OTHER_ACCOUNT_TEXT;  // "本设备运行在其他账号下"

    // parent: the main window's body; mainWindow is not owned and outlives
    // the page. The page starts hidden.
    DeviceManageWidget(QWidget* parent, IMainWindow* mainWindow);
    ~DeviceManageWidget() override;

    // Slides the page in and reloads the list; closePage slides it out.
    void showPage();
    void closePage();
    // Refreshes the device store and refills the table; false (after the
    // main window's warning) when the cloud did not answer, and the table is
    // then empty rather than showing devices that may be gone.
    bool reload();

    // Makes sure this computer is one of the account's devices: offers to
    // take it over from another account or to join it as a new device. True
    // when it is bound; otherwise statusText() says why.
    bool checkDeviceBinding();
    // Empty while this computer is bound to the account.
    QString const& statusText() const { return m_statusText; }

    bool isDeviceBound() const;
    bool isDeviceInAccount() const;
    // Creates this computer as a new device of the account and binds it;
    // asks for its name until the cloud accepts it or the user cancels.
    bool joinDevice();

signals:
    // The user asked to minimise the window.
    void minimizeRequested();

private slots:
    void on_btnMin_clicked();
    void on_btnClose_clicked();
    void on_btnEdit_clicked();
    void _on_animation_finished();
    void on_btnDel_clicked();
    void on_tableDevice_itemActivated(QTableWidgetItem* item);
    void on_tableDevice_itemSelectionChanged();

private:
    // The table's current row when it names a stored device, else -1.
    int _currentDevice() const;
    // Writes both binding keys in one save. False after a warning titled
    // title when the file cannot hold them or was not written; the store
    // then holds what the file holds.
    bool _saveBinding(gt::core::String const& id, gt::core::String const& token, QString const& title);
    QWidget* _dialogParent() const;

    std::unique_ptr<Ui::DeviceManageWidget> m_ui;
    IMainWindow* m_mainWindow;                        // not owned
    std::unique_ptr<QPropertyAnimation> m_animation;  // the slide in and out
    QString m_statusText;
};
