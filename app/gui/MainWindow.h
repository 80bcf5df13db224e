// The one top-level window of the desktop client and the owner of everything
// the client holds: the client context with its API client, the device and
// access-policy stores, the service controller, the status reader, the
// single-instance lock, the pages that lie over its body, the tray icon and
// its menus, the 100 ms tick and the account records shown to the user.
//
// Its work is spread over three sources: MainWindow.cpp (frame, tray, menus,
// link handler, construction and destruction, the wiring of the pages),
// MainWindowTick.cpp (the tick, account, update and repair operations) and
// MainWindowExecute.cpp (blocking work behind the busy dialog).
//
// Pages and dialogs know the window only as IMainWindow; only the window's
// own sources, main.cpp and tests include this header. The window calls its
// pages down (show a page, require a login, check the binding, take a status
// report); what a page tells the window or another page goes out as the
// page's signal, and every such connection is made in _connectPages.
#pragma once

#include <QMainWindow>
#include <QSystemTrayIcon>
#include <QUrl>
#include <functional>
#include <memory>

#include "app/AclManager.h"
#include "app/Client.h"
#include "app/DeviceManager.h"
#include "app/StatusService.h"
#include "app/SvrControlService.h"
#include "app/gui/BlockingCallRunner.h"
#include "app/gui/IMainWindow.h"
#include "gt/core/lang/String.h"
#include "gt/core/util/Timer.h"
#include "gt/util/dist/TaskPool.h"
#include "tunnel/api/ProcessSingleton.h"
#include "tunnel/api/user/Plan.h"
#include "tunnel/api/user/QuotaInfo.h"
#include "tunnel/api/user/User.h"

class QAction;
class QMenu;
class QKeyEvent;
class QTimerEvent;
class AclManageWidget;
class DeviceManageWidget;
class ForwardManageWidget;
class LoginWidget;

namespace Ui {
class MainWindow;
}

class MainWindow : public QMainWindow, public IMainWindow {
    Q_OBJECT

public:
    // Where the client's cloud calls go: the built-in endpoints unless a
    // program (a test) names others.
    struct CloudEndpoints {
        gt::core::String apiUrl;
        gt::core::Array<gt::core::String> hosts;
        gt::core::String spec;
    };

    static constexpr int TICK_MS = 100;
    static constexpr int REFRESH_INTERVAL_MS = 60000;
    static constexpr int STATUS_INTERVAL_MS = 3000;

    // lock holds the single-instance lock, taken by the program before any
    // thread started; the window keeps it for its whole life. cloud: null
    // for the built-in endpoints.
    explicit MainWindow(std::unique_ptr<tunnel::ProcessSingleton> lock, CloudEndpoints const* cloud = nullptr,
                        QWidget* parent = nullptr);
    // Stops the tick, logs the account out, deletes the pages, then the
    // members in reverse order: the task pool is joined, the lock released,
    // the status file deleted, a console service program ended.
    ~MainWindow() override;

    // Runs action on a fresh worker thread while the busy dialog shows text
    // (none when empty); user input waits until it returns. The action must
    // not touch widgets.
    void execute(QString const& text, std::function<void()> const& action) override;
    bool executeResult(QString const& text, std::function<bool()> const& action) override;
    void refreshService() override;

    // Account, device and policy refreshes, their cloud calls behind the
    // busy window; each shows its own "未能刷新" warning on failure.
    bool refreshAccount();
    bool refreshDevices() override;
    bool refreshAcls() override;
    // The environment check of the repair button and the "app:///repair"
    // links: "svr" the service program, "device" this computer's binding,
    // empty both; any other type checks nothing and passes.
    bool repair(gt::core::String const& type);
    // The start-up version check against the cloud's configuration.
    bool checkVersion();
    // What the pages and dialogs use (IMainWindow).
    QWidget* mainWidget() override { return this; }
    tunnel::IContext* context() override { return &m_client; }
    tunnel::DeviceManager* deviceManager() override { return &m_deviceManager; }
    tunnel::AclManager* aclManager() override { return &m_aclManager; }
    tunnel::SvrControlService* svrControl() override { return &m_svrControl; }
    tunnel::QuotaInfo const& quota() const override { return m_quota; }

    tunnel::Client* client() { return &m_client; }
    tunnel::User const& user() const { return m_user; }
    tunnel::Plan const& plan() const { return m_plan; }
    LoginWidget* loginWidget() const { return m_loginWidget; }
    ForwardManageWidget* forwardWidget() const { return m_forwardWidget; }
    DeviceManageWidget* deviceWidget() const { return m_deviceWidget; }
    AclManageWidget* aclWidget() const { return m_aclWidget; }
    // The window's body, parent of every page.
    QWidget* body() const;
    // Whether the account has a session with the cloud.
    bool isLoggedIn();
    // Whether a tray icon is shown (there is a tray on this desktop).
    bool hasTray() const;

protected:
    void timerEvent(QTimerEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void changeEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private slots:
    void _on_actStoreTraffic_triggered();
    void _on_actStorePlan_triggered();
    void _on_actOpenUI_triggered();
    void _on_actLogout_triggered();
    void _on_actSetting_triggered();
    void _on_actUpgrade_triggered();
    void _on_actSite_triggered();
    void _on_actHelp_triggered();
    void _on_actConsole_triggered();
    void _on_actExit_triggered();
    void _on_actUtilAccount_triggered();
    void _on_actUtilAcl_triggered();
    void _on_systemTray_activated(QSystemTrayIcon::ActivationReason reason);
    void _on_app_url(QUrl const& url);

    void on_btnClose_clicked();
    void on_btnMin_clicked();
    void on_btnMenu_clicked();
    void on_btnForward_clicked();
    void on_btnDevice_clicked();
    void on_btnUpgrade_clicked();
    void on_btnAccount_clicked();
    void on_btnTools_clicked();
    void on_btnHelp_clicked();
    void on_btnRepair_clicked();

private:
    // Frame and tray (MainWindow.cpp).
    void _buildMenus();
    void _buildTray();
    void _createPages();
    // Every connection of the pages' signals, in one place.
    void _connectPages();
    void _updateMenuTexts();
    void _showWindow();
    // Hides the window into the tray; without a tray it is minimised
    // instead, so that it can always be found again.
    void _hideWindow();
    void _openWeb(QString const& url);

    // Tick and account (MainWindowTick.cpp).
    void _onTick();
    void _firstTick();
    bool _requireLogged();
    // m_svrControl.start() behind the busy window.
    bool _startService();
    void _bgRefresh();
    void _updateAccountButton();
    void _updateStatusLine();
    // Reads the status mailbox and hands the report's forwards to the
    // mapping page; nothing before the service's first report.
    void _refreshStatus();
    void _bringToFront();
    // Stops the service program and starts the updater. When the updater
    // runs the caller leaves; when it cannot start, the reason has been shown
    // and the service program runs again.
    enum UpgradeStart { UPGRADE_STARTED, UPDATER_FAILED, STOP_FAILED };
    UpgradeStart _startUpgrade();
    // Ends the process at once, without destructors: worker threads may
    // still run, and the updater waits for this program to go.
    [[noreturn]] void _leave(int code);
    // ok, after the warning "未能刷新" with the cloud's reason when false.
    bool _refreshed(bool ok, QString const& error);

    std::unique_ptr<Ui::MainWindow> m_ui;
    bool m_wasMinimized;
    bool m_menuOpen;
    QMenu* m_trayMenu;  // children of the window
    QMenu* m_toolsMenu;
    QAction* m_actOpenUI;
    QAction* m_actExit;
    QSystemTrayIcon* m_trayIcon;  // child of the window
    LoginWidget* m_loginWidget;   // pages: children of the body, deleted by the destructor
    ForwardManageWidget* m_forwardWidget;
    DeviceManageWidget* m_deviceWidget;
    AclManageWidget* m_aclWidget;
    BlockingCallRunner m_runner;  // execute() and executeResult()
    tunnel::Client m_client;
    tunnel::DeviceManager m_deviceManager;
    tunnel::AclManager m_aclManager;
    tunnel::SvrControlService m_svrControl;
    tunnel::StatusService m_statusService;
    std::unique_ptr<tunnel::ProcessSingleton> m_singleton;
    // Set while a tick runs. A tick returns at once while another runs
    // (dialogs, the login panel and busy calls nest event loops) and while a
    // busy call waits (m_runner.depth() > 0): it must not start a second
    // cloud call behind the first one's lock nor change a page under it.
    bool m_ticking;
    bool m_started;
    int m_tickTimer;
    gt::core::Timer m_refreshTimer;
    tunnel::User m_user;
    tunnel::QuotaInfo m_quota;
    tunnel::Plan m_plan;
    gt::util::TaskPool m_taskPool;
    gt::core::Timer m_statusTimer;
};
