#include "app/gui/SettingDialog.h"

#include <QCheckBox>

#include "app/ClientConstants.h"
#include "app/IContext.h"
#include "app/SvrControlService.h"
#include "app/gui/DialogParent.h"
#include "app/gui/FramelessWindow.h"
#include "app/gui/GuiUtil.h"
#include "app/gui/IMainWindow.h"
#include "app/gui/MessageDialog.h"
#include "app/gui/SelectDialog.h"
#include "app/util/NetworkAdapters.h"
#include "app/util/StartupLink.h"
#include "gt/core/io/SystemFolders.h"
#include "gt/core/lang/Fatal.h"
#include "tunnel/api/EncryptedProperties.h"
#include "ui_SettingDialog.h"

using gt::core::String;
using tunnel::ClientConstants;
using tunnel::NetworkAdapters;
using tunnel::StartupLink;

namespace {

char16_t const kLocalIp[] = u"net.local_ip";
char const kLocalIpProperty[] = "local_ip";

}  // namespace

SettingDialog::SettingDialog(IMainWindow* mainWindow)
    : QDialog(mainWindow->mainWidget()),
      listAddresses(&NetworkAdapters::ipv4Addresses),
      m_ui(std::make_unique<Ui::SettingDialog>()),
      m_mainWindow(mainWindow) {
    GT_ASSERT(m_mainWindow);
    m_ui->setupUi(this);
    FramelessWindow::setupDialog(this, mainWindow->mainWidget());
}

SettingDialog::~SettingDialog() = default;

void SettingDialog::_showAddress(QString const& address) {
    m_ui->checkBoxLocalIp->setProperty(kLocalIpProperty, address);
    m_ui->checkBoxLocalIp->setText(address.isEmpty() ? QStringLiteral("选定接入网卡")
                                                     : QStringLiteral("选定接入网卡（%1）").arg(address));
}

int SettingDialog::exec() {
    m_ui->checkBoxAuto->setChecked(StartupLink::exists(ClientConstants::STARTUP_LINK_FILE()));
    m_ui->checkBoxService->setChecked(m_mainWindow->svrControl()->isServiceEnabled());
    // Not visible yet: the toggled handler leaves these changes alone.
    QString const address = toQString(m_mainWindow->context()->userProperties()->get(kLocalIp));
    m_ui->checkBoxLocalIp->setChecked(!address.isEmpty());
    _showAddress(address);
    return QDialog::exec();
}

void SettingDialog::on_btnClose_clicked() { close(); }

void SettingDialog::on_btnCancel_clicked() { close(); }

void SettingDialog::on_checkBoxLocalIp_toggled(bool checked) {
    if (!isVisible()) return;
    if (!checked) {
        _showAddress(QString());
        return;
    }
    QStringList offered;
    for (String const& address :
         NetworkAdapters::bindable(listAddresses ? listAddresses() : gt::core::Array<String>()))
        offered << toQString(address);
    if (offered.isEmpty()) {
        // Unchecking runs this handler again, which clears the choice; the
        // user learns why the tick did not stay.
        m_ui->checkBoxLocalIp->setChecked(false);
        _warn(QStringLiteral("没有可选定的网卡：本机没有已连接的 IPv4 网卡（回环地址不可用于接入线路）。"));
        return;
    }
    SelectDialog select(this);
    int const chosen =
        select.select(QStringLiteral("选定接入网卡"), QStringLiteral("使用以下网卡接入线路"), offered, 0);
    if (chosen < 0 || chosen >= offered.size()) {
        // Unchecking runs this handler again, which clears the choice.
        m_ui->checkBoxLocalIp->setChecked(false);
        return;
    }
    _showAddress(offered[chosen]);
}

void SettingDialog::_warn(QString const& text) { DialogParent::warn(this, QStringLiteral("提示"), text); }

void SettingDialog::on_btnOk_clicked() {
    String const link = ClientConstants::STARTUP_LINK_FILE();
    bool const linked = StartupLink::exists(link);
    if (m_ui->checkBoxAuto->isChecked() && !linked) {
        if (!StartupLink::create(link, gt::core::getProgramFile(), {u"--minimize=true"})) {
            _warn(QStringLiteral("开机时启动功能开启失败"));
            return;
        }
    } else if (!m_ui->checkBoxAuto->isChecked() && linked) {
        if (!StartupLink::remove(link)) {
            _warn(QStringLiteral("开机时启动功能关闭失败"));
            return;
        }
    }

    tunnel::SvrControlService* control = m_mainWindow->svrControl();
    bool const serviceMode = control->isServiceEnabled();
    if (m_ui->checkBoxService->isChecked() != serviceMode &&
        !m_mainWindow->executeResult(QStringLiteral("正在切换后台服务…"), [control, serviceMode] {
            return control->setServiceMode(!serviceMode);
        })) {
        _warn(toQString(control->lastError()));
        return;
    }

    tunnel::EncryptedProperties* settings = m_mainWindow->context()->userProperties();
    String const address = fromQString(m_ui->checkBoxLocalIp->property(kLocalIpProperty).toString());
    if (address != settings->get(kLocalIp)) {
        if (!settings->set(kLocalIp, address)) {
            QString const reason = toQString(settings->lastSaveError());
            // The service must not be restarted for a choice the file does
            // not hold, and this client must not show it as stored.
            settings->load();
            _warn(QStringLiteral("接入网卡未能保存到设置文件。\n") + reason);
            return;
        }
        // The service program reads the address when it starts.
        if (!m_mainWindow->executeResult(QStringLiteral("正在重启后台服务…"),
                                         [control] { return control->stop() && control->start(); })) {
            _warn(toQString(control->lastError()));
            return;
        }
    }
    accept();
}
