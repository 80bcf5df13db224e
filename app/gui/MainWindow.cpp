// The main window's frame: construction and destruction, the form, the menus,
// the tray icon, the window's own buttons and the "app" link handler.
#include "app/gui/MainWindow.h"

#include <QAction>
#include <QDesktopServices>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>

#include "app/ClientConstants.h"
#include "app/gui/AclManageWidget.h"
#include "app/gui/DeviceManageWidget.h"
#include "app/gui/ForwardManageWidget.h"
#include "app/gui/FramelessWindow.h"
#include "app/gui/GuiUtil.h"
#include "app/gui/InformationDialog.h"
#include "app/gui/LoginWidget.h"
#include "app/gui/SettingDialog.h"
#include "app/gui/UiScale.h"
#include "app/gui/WebLinks.h"
#include "app/gui/WindowMover.h"
#include "gt/core/lang/Fatal.h"
#include "gt/net/URL.h"
#include "tunnel/Config.h"
#include "ui_MainWindow.h"

using gt::core::String;

namespace {

constexpr char kAppScheme[] = "app";

MainWindow::CloudEndpoints endpointsOf(MainWindow::CloudEndpoints const* given) {
    if (given) return *given;
    return MainWindow::CloudEndpoints{Config::apiUrl(), Config::hosts(), Config::encryption()};
}

}  // namespace

MainWindow::MainWindow(std::unique_ptr<tunnel::ProcessSingleton> lock, CloudEndpoints const* cloud,
                       QWidget* parent)
    : QMainWindow(parent),
      m_ui(new Ui::MainWindow),
      m_wasMinimized(false),
      m_menuOpen(false),
      m_trayMenu(new QMenu(this)),
      m_toolsMenu(new QMenu(this)),
      m_actOpenUI(nullptr),
      m_actExit(nullptr),
      m_trayIcon(new QSystemTrayIcon(this)),
      m_loginWidget(nullptr),
      m_forwardWidget(nullptr),
      m_deviceWidget(nullptr),
      m_aclWidget(nullptr),
      m_runner(this),
      m_client(this, this, endpointsOf(cloud).apiUrl, endpointsOf(cloud).hosts, endpointsOf(cloud).spec),
      m_svrControl(tunnel::ClientConstants::SVR_EXE_FILE()),
      m_singleton(std::move(lock)),
      m_ticking(true),
      m_started(false),
      m_tickTimer(0),
      m_refreshTimer(REFRESH_INTERVAL_MS),
      m_taskPool(1),
      m_statusTimer(STATUS_INTERVAL_MS) {
    // The program takes the lock before any thread starts (see main).
    GT_ASSERT(m_singleton && m_singleton->isLocked());
    m_ui->setupUi(this);
    // The pages inherit the client's style from the window.
    setStyleSheet(mainStyleSheet());
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint);
    m_ui->btnUpgrade->setText(QStringLiteral("版本 ") + toQString(tunnel::ClientConstants::VERSION));

    _buildMenus();
    _buildTray();
    _createPages();
    QDesktopServices::setUrlHandler(kAppScheme, this, "_on_app_url");

    m_tickTimer = startTimer(TICK_MS);
    m_ticking = false;
    // The first tick refreshes the account and reads the status at once.
    m_refreshTimer.advance(m_refreshTimer.remaining());
    m_statusTimer.advance(m_statusTimer.remaining());

    UiScale::apply(this);
    FramelessWindow::setupShadow(this, FramelessWindow::isComposited());
    WindowMover::install();
}

MainWindow::~MainWindow() {
    m_ticking = true;
    if (m_tickTimer) killTimer(m_tickTimer);
    // Links of the scheme must not reach a window that is going away.
    QDesktopServices::unsetUrlHandler(kAppScheme);
    // The logout and the console service's exit wait on the network and on
    // a child: the window paints meanwhile, the tick is already stopped.
    tunnel::ApiClient* api = m_client.apiClient();
    execute(QStringLiteral("正在退出…"), [this, api] {
        api->logout();
        m_svrControl.release();
    });
    delete m_aclWidget;
    delete m_deviceWidget;
    delete m_forwardWidget;
    delete m_loginWidget;
    m_aclWidget = nullptr;
    m_deviceWidget = nullptr;
    m_forwardWidget = nullptr;
    m_loginWidget = nullptr;
    m_trayIcon->hide();
}

QWidget* MainWindow::body() const { return m_ui->widgetMain; }

// The task pool's worker may be in a call that ends the session meanwhile.
bool MainWindow::isLoggedIn() { return m_client.apiClient()->hasSession(); }

bool MainWindow::hasTray() const { return m_trayIcon->isVisible(); }

void MainWindow::_buildMenus() {
    m_actOpenUI =
        m_trayMenu->addAction(QStringLiteral("打开主界面"), this, &MainWindow::_on_actOpenUI_triggered);
    m_trayMenu->addAction(QStringLiteral("设置"), this, &MainWindow::_on_actSetting_triggered);
    m_trayMenu->addAction(QStringLiteral("检测版本更新"), this, &MainWindow::_on_actUpgrade_triggered);
    m_trayMenu->addSeparator();
    m_trayMenu->addAction(QStringLiteral("访问官网"), this, &MainWindow::_on_actSite_triggered);
    m_trayMenu->addAction(QStringLiteral("控制台"), this, &MainWindow::_on_actConsole_triggered);
    QMenu* store = new QMenu(QStringLiteral("加购升级"), this);
    store->addAction(QStringLiteral("流量包"), this, &MainWindow::_on_actStoreTraffic_triggered);
    store->addAction(QStringLiteral("套餐计划"), this, &MainWindow::_on_actStorePlan_triggered);
    FramelessWindow::setupMenu(store);
    m_trayMenu->addMenu(store);
    m_trayMenu->addAction(QStringLiteral("帮助中心"), this, &MainWindow::_on_actHelp_triggered);
    m_trayMenu->addSeparator();
    m_trayMenu->addAction(QStringLiteral("更换登录"), this, &MainWindow::_on_actLogout_triggered);
    // Its text depends on the service mode at the moment the menu opens.
    m_actExit =
        m_trayMenu->addAction(QStringLiteral("默认关闭方式"), this, &MainWindow::_on_actExit_triggered);
    FramelessWindow::setupMenu(m_trayMenu);
    connect(m_trayMenu, &QMenu::aboutToShow, this, &MainWindow::_updateMenuTexts);

    m_toolsMenu->addAction(QStringLiteral("账号状态"), this, &MainWindow::_on_actUtilAccount_triggered);
    m_toolsMenu->addAction(QStringLiteral("访问策略"), this, &MainWindow::_on_actUtilAcl_triggered);
    FramelessWindow::setupMenu(m_toolsMenu);
}

void MainWindow::_buildTray() {
    m_trayIcon->setContextMenu(m_trayMenu);
    m_trayIcon->setIcon(QIcon(QStringLiteral(":/rc/icon_main.png")));
    connect(m_trayIcon, &QSystemTrayIcon::activated, this, &MainWindow::_on_systemTray_activated);
    // Offscreen and under a bare X server there is no tray: then the window
    // is never hidden into one.
    if (QSystemTrayIcon::isSystemTrayAvailable()) m_trayIcon->show();
}

void MainWindow::_createPages() {
    QWidget* const body = m_ui->widgetMain;
    m_loginWidget = new LoginWidget(body, this);
    m_forwardWidget = new ForwardManageWidget(body, this);
    m_deviceWidget = new DeviceManageWidget(body, this);
    m_aclWidget = new AclManageWidget(body, this);
    _connectPages();
}

// What a page tells the window or another page goes out as its signal; the
// connections are made here, never between the pages themselves. All are
// direct: a page's signal has been handled when its emit returns.
void MainWindow::_connectPages() {
    connect(m_loginWidget, &LoginWidget::closeRequested, this, &MainWindow::close);
    connect(m_forwardWidget, &ForwardManageWidget::minimizeRequested, this, &MainWindow::showMinimized);
    connect(m_deviceWidget, &DeviceManageWidget::minimizeRequested, this, &MainWindow::showMinimized);
    connect(m_aclWidget, &AclManageWidget::minimizeRequested, this, &MainWindow::showMinimized);
    connect(m_forwardWidget, &ForwardManageWidget::statusWanted, this, &MainWindow::_refreshStatus);
}

void MainWindow::_updateMenuTexts() {
    m_actOpenUI->setText(isVisible() ? QStringLiteral("隐藏主界面") : QStringLiteral("打开主界面"));
    m_actExit->setText(m_svrControl.isServiceEnabled() ? QStringLiteral("仅退出前台程序")
                                                       : QStringLiteral("退出并关闭映射"));
}

void MainWindow::_showWindow() {
    if (isMinimized()) showNormal();
    show();
    raise();
    activateWindow();
}

void MainWindow::_hideWindow() {
    if (!m_trayIcon->isVisible() && QSystemTrayIcon::isSystemTrayAvailable()) m_trayIcon->show();
    if (m_trayIcon->isVisible()) {
        hide();
    } else {
        showMinimized();
    }
}

void MainWindow::_openWeb(QString const& url) {
    InformationDialog::openLink(url, this);
    update();
}

void MainWindow::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        if (m_forwardWidget->isVisible()) m_forwardWidget->closePage();
        if (m_deviceWidget->isVisible()) m_deviceWidget->closePage();
        if (m_aclWidget->isVisible()) m_aclWidget->closePage();
    }
    QMainWindow::keyPressEvent(event);
}

// Some window managers leave a restored window unpainted: repaint it once.
void MainWindow::changeEvent(QEvent* event) {
    if (event->type() == QEvent::WindowStateChange) {
        if (isMinimized()) {
            m_wasMinimized = true;
        } else if (m_wasMinimized) {
            m_wasMinimized = false;
            update();
        }
    }
    QMainWindow::changeEvent(event);
}

// A click after a menu of the window's buttons closed repaints what the
// menu covered.
void MainWindow::mousePressEvent(QMouseEvent* event) {
    if (m_menuOpen) {
        m_menuOpen = false;
        update();
    }
    QMainWindow::mousePressEvent(event);
}

void MainWindow::_on_actStoreTraffic_triggered() { _openWeb(WebLinks::storeTraffic()); }

void MainWindow::_on_actStorePlan_triggered() { _openWeb(WebLinks::storePlan()); }

void MainWindow::_on_actOpenUI_triggered() {
    if (isVisible() && !isMinimized()) {
        _hideWindow();
    } else {
        _showWindow();
    }
}

void MainWindow::_on_actLogout_triggered() { m_loginWidget->logout(); }

void MainWindow::_on_actSetting_triggered() {
    bool const hidden = !isVisible();
    if (hidden) show();
    SettingDialog dialog(this);
    dialog.exec();
    if (hidden) hide();
}

void MainWindow::_on_actUpgrade_triggered() { on_btnUpgrade_clicked(); }

void MainWindow::_on_actSite_triggered() { _openWeb(WebLinks::site()); }

void MainWindow::_on_actHelp_triggered() { on_btnHelp_clicked(); }

void MainWindow::_on_actConsole_triggered() { _openWeb(WebLinks::console()); }

void MainWindow::_on_actExit_triggered() { close(); }

void MainWindow::_on_actUtilAccount_triggered() { on_btnAccount_clicked(); }

void MainWindow::_on_actUtilAcl_triggered() { m_aclWidget->showPage(); }

void MainWindow::_on_systemTray_activated(QSystemTrayIcon::ActivationReason reason) {
    switch (reason) {
        case QSystemTrayIcon::Context:
            // The tray opens its context menu itself; the texts follow the state.
            _updateMenuTexts();
            break;
        case QSystemTrayIcon::Trigger:
            if (!isVisible() || isMinimized()) _showWindow();
            break;
        default:
            break;
    }
}

void MainWindow::_on_app_url(QUrl const& url) {
    gt::net::URL const link(fromQString(url.toString()));
    if (!link.host().isEmpty()) return;
    if (link.path() != String(u"/repair")) return;
    repair(gt::net::URL::parseQuery(link.query()).get(u"type"));
}

void MainWindow::on_btnClose_clicked() {
    if (!isVisible()) return;
    if (isLoggedIn()) {
        _hideWindow();
    } else {
        close();
    }
}

void MainWindow::on_btnMin_clicked() { showMinimized(); }

void MainWindow::on_btnMenu_clicked() {
    QToolButton const* button = m_ui->btnMenu;
    QPoint const at = m_ui->widgetMain->mapToGlobal(QPoint(button->x(), button->y() + button->height() + 8));
    m_trayMenu->popup(at);
    m_trayMenu->raise();
    m_menuOpen = true;
}

void MainWindow::on_btnForward_clicked() { m_forwardWidget->showPage(); }

void MainWindow::on_btnDevice_clicked() { m_deviceWidget->showPage(); }

void MainWindow::on_btnTools_clicked() {
    QPushButton const* button = m_ui->btnTools;
    QSize const size = m_toolsMenu->sizeHint();
    QPoint const at(button->x() + button->width() - 20, button->y() + (button->height() - size.height()) / 2);
    m_toolsMenu->popup(m_ui->widgetMain->mapToGlobal(at));
    m_toolsMenu->raise();
    m_menuOpen = true;
}

void MainWindow::on_btnHelp_clicked() { _openWeb(WebLinks::help()); }
