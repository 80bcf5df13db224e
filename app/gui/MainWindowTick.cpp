// The main window's 100 ms tick and the operations it drives: the start-up
// checks, the login requirement, the account refreshes, the bring-to-front
// request of a second start, the status line and report, the update prompts
// and the environment check.
#include <QApplication>
#include <QTimerEvent>
#include <cstdio>

#include <unistd.h>

#include "app/ClientConstants.h"
#include "app/ForwardStatus.h"
#include "app/gui/CloudCall.h"
#include "app/gui/DeviceManageWidget.h"
#include "app/gui/DialogParent.h"
#include "app/gui/ForwardManageWidget.h"
#include "app/gui/GuiUtil.h"
#include "app/gui/InformationDialog.h"
#include "app/gui/LoginWidget.h"
#include "app/gui/MainTexts.h"
#include "app/gui/MainWindow.h"
#include "app/gui/MessageDialog.h"
#include "gt/core/io/Thread.h"
#include "ui_MainWindow.h"

using gt::core::Any;
using gt::core::Array;
using gt::core::String;

namespace {

// Each account call of a refresh gets a second try at once.
template <class Call>
bool twice(Call const& call) {
    return call() || call();
}

// A text that did not come from this program, for a rich-text box.
QString richText(QString const& plain) {
    return plain.toHtmlEscaped()
        .replace(QStringLiteral("\r\n"), QStringLiteral("<br>"))
        .replace('\n', QStringLiteral("<br>"));
}

QString versionText() { return QStringLiteral("版本 ") + toQString(tunnel::ClientConstants::VERSION); }

}  // namespace

void MainWindow::timerEvent(QTimerEvent* event) {
    if (event->timerId() != m_tickTimer) {
        QMainWindow::timerEvent(event);
        return;
    }
    // Dialogs, the login panel and the busy loop run nested event loops
    // inside a tick: the ticks they would start return at once. Nor does a
    // tick run while a busy call started outside a tick waits: it would
    // call the cloud on the GUI thread behind that call's lock or change
    // the page under it.
    if (m_ticking || m_runner.depth() > 0) return;
    m_ticking = true;
    _onTick();
    m_ticking = false;
}

void MainWindow::_onTick() {
    _firstTick();
    if (!_requireLogged()) return;
    if (m_refreshTimer.isExpired()) {
        m_refreshTimer.reset();
        _bgRefresh();
    }
    if (m_client.isActived()) {
        m_client.setActived(false);
        _bringToFront();
    }
    _updateStatusLine();
    if (m_statusTimer.isExpired()) {
        if (isVisible()) _refreshStatus();
        m_statusTimer.reset();
    }
    m_taskPool.runCompletions();
}

void MainWindow::_firstTick() {
    if (m_started) return;
    m_started = true;
    checkVersion();
    if (!_startService()) {
        InformationDialog dialog(this, true);
        dialog.information(QStringLiteral("异常"), richText(toQString(m_svrControl.lastError())));
    }
}

bool MainWindow::_requireLogged() {
    if (isLoggedIn()) return true;
    m_ui->btnAccount->setText(QStringLiteral("..."));
    if (!m_loginWidget->requireLogin()) return false;
    // Lets the panel finish closing before the blocking calls below.
    execute(QString(), [] { gt::core::Thread::sleep(1); });
    refreshAccount();
    m_deviceWidget->checkDeviceBinding();
    return true;
}

void MainWindow::_bringToFront() {
    QApplication::alert(this, 0);
    showNormal();
    raise();
    activateWindow();
}

void MainWindow::_updateStatusLine() {
    m_ui->labelMain->setText(MainTexts::statusLine(m_svrControl.isRunning(), m_deviceWidget->statusText()));
}

bool MainWindow::_refreshed(bool ok, QString const& error) {
    if (!ok) DialogParent::warn(this, QStringLiteral("未能刷新"), error);
    return ok;
}

bool MainWindow::refreshAccount() {
    tunnel::ApiClient* api = m_client.apiClient();
    // Into locals on the worker; the records shown change only afterwards.
    tunnel::User user;
    tunnel::QuotaInfo quota;
    tunnel::Plan plan;
    QString error;
    bool const ok = cloudCall(
        this, QStringLiteral("正在刷新账号…"), api,
        [&] {
            return twice([&] { return api->queryMyUser(&user); }) &&
                   twice([&] { return api->queryQuota(&quota); }) &&
                   twice([&] { return api->queryPlan(&plan); });
        },
        &error);
    if (!_refreshed(ok, error)) return false;
    m_user = user;
    m_quota = quota;
    m_plan = plan;
    _updateAccountButton();
    return true;
}

bool MainWindow::refreshDevices() {
    tunnel::ApiClient* api = m_client.apiClient();
    Array<tunnel::Device> devices;
    QString error;
    bool const ok = cloudCall(
        this, QStringLiteral("正在加载设备…"), api, [&] { return api->enumDevices(&devices); }, &error);
    if (!_refreshed(ok, error)) return false;
    m_deviceManager.setDevices(devices);
    return true;
}

bool MainWindow::refreshAcls() {
    tunnel::ApiClient* api = m_client.apiClient();
    Array<tunnel::Acl> acls;
    QString error;
    bool const ok = cloudCall(
        this, QStringLiteral("正在加载访问策略…"), api, [&] { return api->enumAcls(&acls); }, &error);
    if (!_refreshed(ok, error)) return false;
    m_aclManager.setAcls(acls);
    return true;
}

void MainWindow::_bgRefresh() {
    if (m_taskPool.pendingCount() > 0) return;
    tunnel::ApiClient* api = m_client.apiClient();
    // The completion runs on the GUI thread inside a later tick; the pool
    // goes before the window's other members, dropping what it still holds.
    m_taskPool.post([this, api](gt::util::TaskPool::Completion& done) {
        tunnel::User user;
        if (!api->queryMyUser(&user)) return;
        done = [this, user] {
            m_user.id = user.id;
            m_user.name = user.name;
            m_user.phone_part = user.phone_part;
            _updateAccountButton();
        };
    });
}

void MainWindow::_updateAccountButton() {
    // A button takes '&' for the mark of its shortcut key; the name from the
    // cloud shows each of its own.
    m_ui->btnAccount->setText(toQString(m_user.name).replace(u'&', QStringLiteral("&&")));
}

void MainWindow::_refreshStatus() {
    Array<Any> entries;
    if (tunnel::ForwardStatus::entriesOf(m_statusService.status(), &entries))
        m_forwardWidget->updateStatus(entries);
}

bool MainWindow::_startService() {
    return executeResult(QStringLiteral("正在启动后台服务…"), [this] { return m_svrControl.start(); });
}

bool MainWindow::checkVersion() {
    if (!executeResult(QStringLiteral("正在检查版本…"),
                       [this] { return m_client.updateConfigs() || m_client.updateConfigs(); }))
        return false;
    if (m_client.belowMinVersion()) {
        MessageDialog question(this);
        if (question.question(QStringLiteral("版本更新"),
                              QStringLiteral("有必要资源更新，需要更新后才能正常使用。是否立即更新？"))) {
            switch (_startUpgrade()) {
                case UPGRADE_STARTED:
                    _leave(0);
                case UPDATER_FAILED:
                    // The reason has been shown and the service runs again: the
                    // program stays usable rather than vanish without a word.
                    m_ui->btnUpgrade->setText(versionText() + QStringLiteral(" 有新版本"));
                    return true;
                case STOP_FAILED:
                    break;
            }
        }
        _leave(0);
    }
    if (m_client.hasNewVersion()) {
        m_ui->btnUpgrade->setText(versionText() + QStringLiteral(" 有新版本"));
    } else {
        m_ui->btnUpgrade->setText(versionText());
    }
    return true;
}

MainWindow::UpgradeStart MainWindow::_startUpgrade() {
    if (!executeResult(QStringLiteral("正在停止后台服务…"), [this] { return m_svrControl.stop(); })) {
        MessageDialog warning(this);
        warning.warning(QStringLiteral("错误"), QStringLiteral("后台服务未能停止！"));
        return STOP_FAILED;
    }
    String error;
    if (m_client.applyUpgrade(&error)) return UPGRADE_STARTED;
    _startService();
    DialogParent::warn(this, QStringLiteral("未能更新"), toQString(error));
    return UPDATER_FAILED;
}

void MainWindow::_leave(int code) {
    m_trayIcon->hide();
    std::fflush(nullptr);
    ::_exit(code);
}

void MainWindow::on_btnUpgrade_clicked() {
    bool hasUpdate = false;
    String error;
    if (!m_client.checkUpgrade(&hasUpdate, &error)) {
        MessageDialog box(this, MessageDialog::RICH_TEXT);
        box.information(QStringLiteral("升级"),
                        QStringLiteral("未能完成版本检测。<br>") + richText(toQString(error)));
        return;
    }
    if (!hasUpdate) {
        MessageDialog box(this);
        box.information(QStringLiteral("升级"), QStringLiteral("当前版本已经是最新。"));
        return;
    }
    MessageDialog question(this);
    if (!question.question(QStringLiteral("升级"), QStringLiteral("检测到版本更新，是否现在更新？"))) return;
    if (_startUpgrade() == UPGRADE_STARTED) _leave(0);
}

bool MainWindow::repair(String const& type) {
    bool const all = type.isEmpty();
    if (all || type == String(u"svr")) {
        if (!_startService()) {
            InformationDialog dialog(this, true);
            dialog.information(QStringLiteral("故障诊断"), richText(toQString(m_svrControl.lastError())));
            return false;
        }
    }
    if (all || type == String(u"device")) {
        if (!m_deviceWidget->checkDeviceBinding()) {
            InformationDialog dialog(this, true);
            dialog.information(QStringLiteral("故障诊断"), richText(m_deviceWidget->statusText()));
            return false;
        }
    }
    return true;
}

void MainWindow::on_btnRepair_clicked() {
    if (!repair(String())) return;
    MessageDialog box(this, MessageDialog::RICH_TEXT);
    box.information(QStringLiteral("诊断完成"),
                    QStringLiteral("环境诊断：没有问题<br><small>（现有版本仅限检测运行环境问题）</small>"));
}

void MainWindow::on_btnAccount_clicked() {
    // On failure the last records are shown.
    refreshAccount();
    MessageDialog box(this, MessageDialog::RICH_TEXT);
    box.complete(QStringLiteral("账号状态"), MainTexts::accountSummary(m_quota, m_plan));
}
