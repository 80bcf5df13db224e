// The main window as its pages and dialogs see it: the client context, the
// device and policy stores with their refreshes, the service controller, the
// account's quota, the busy runner, and the window as the parent of dialogs.
// MainWindow implements it; a page or dialog holds only this, so it never
// depends on the window's concrete class or on the other pages. What a page
// has to tell the window or another page goes out as the page's own signal,
// which the window connects (MainWindow::_connectPages).
#pragma once

#include "app/IBusyRunner.h"

class QWidget;

namespace tunnel {
class AclManager;
class DeviceManager;
class IContext;
class QuotaInfo;
class SvrControlService;
}  // namespace tunnel

class IMainWindow : public tunnel::IBusyRunner {
public:
    // The window itself: the parent of the pages' dialogs.
    virtual QWidget* mainWidget() = 0;
    // The settings files, the cloud API and the theme.
    virtual tunnel::IContext* context() = 0;
    // The last complete cloud lists; refreshDevices and refreshAcls replace
    // them (the cloud call behind the busy window) and show their own
    // "未能刷新" warning on failure.
    virtual tunnel::DeviceManager* deviceManager() = 0;
    virtual tunnel::AclManager* aclManager() = 0;
    virtual bool refreshDevices() = 0;
    virtual bool refreshAcls() = 0;
    // The service program beside the client.
    virtual tunnel::SvrControlService* svrControl() = 0;
    // Asks the running service program to reload its forwards at once, for
    // after a change of a mapping, a device or a policy; the command runs
    // behind the busy window.
    virtual void refreshService() = 0;
    // The account's quota as last refreshed.
    virtual tunnel::QuotaInfo const& quota() const = 0;

protected:
    // Never deleted through this interface: the window owns itself.
    ~IMainWindow() = default;
};
