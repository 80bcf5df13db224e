// The forward editor's OK button: the checks of the LAN port and the
// bandwidth, the probe of a LAN target on this computer, and the one cloud
// call (create_forward or modify_forward) whose success ends the dialog.
#include <QApplication>

#include "app/IContext.h"
#include "app/TcpPing.h"
#include "app/gui/CloudCall.h"
#include "app/gui/ForwardEditDialog.h"
#include "app/gui/GuiUtil.h"
#include "app/gui/IMainWindow.h"
#include "app/gui/MessageDialog.h"
#include "gt/core/lang/Any.h"
#include "gt/core/util/Dictionary.h"
#include "gt/net/socket/IpAddress.h"
#include "gt/net/socket/SocketAddress.h"
#include "tunnel/api/ApiClient.h"
#include "ui_ForwardEditDialog.h"

using gt::core::Any;
using gt::core::Dictionary;
using gt::core::String;

namespace {

// The port as typed: its leading decimal digits (0 without any).
int portOf(QLineEdit const* edit) { return fromQString(edit->text()).toInt(); }

}  // namespace

void ForwardEditDialog::on_btnOk_clicked() {
    if (m_ui->editClientPort->text().isEmpty()) {
        _scrollToClientSection();
        m_ui->editClientPort->setFocus();
        _information(QStringLiteral("提示"), QStringLiteral("请填写内网端口"));
        return;
    }
    bool const fixed = m_ui->radioBandwidthFixed->isChecked();
    if (fixed && m_ui->spinBoxBandwidthFixed->value() < 1) {
        _scrollToBandwidthSection();
        m_ui->spinBoxBandwidthFixed->setFocus();
        _information(QStringLiteral("提示"), QStringLiteral("分配带宽不能为 0 Mbps"));
        return;
    }
    int const bandwidth = fixed ? m_ui->spinBoxBandwidthFixed->value() : 0;
    int const clientPort = portOf(m_ui->editClientPort);
    tunnel::ApiClient* api = m_mainWindow->context()->apiClient();

    if (_isEditMode()) {
        String const clientHost = fromQString(m_ui->editClientHost->text());
        Dictionary<Any> fields;
        fields.set(u"label", Any(fromQString(m_ui->editLabel->text())));
        fields.set(u"client_host", Any(clientHost));
        fields.set(u"client_port", Any(clientPort));
        fields.set(u"bandwidth", Any(bandwidth));
        if (!_checkClientAddress(m_forward.protocol, clientHost, clientPort)) {
            _scrollToClientSection();
            m_ui->editClientPort->setFocus();
            return;
        }
        long long const id = m_forward.id;
        QString error;
        if (cloudCall(
                m_mainWindow, QStringLiteral("正在保存…"), api,
                [&] { return api->modifyForward(id, fields); }, &error)) {
            accept();
        } else {
            _warning(QStringLiteral("未能保存"), error);
        }
        return;
    }

    int const node = _currentNodeIndex();
    if (node < 0) {
        _warning(QStringLiteral("无效状态"), QStringLiteral("无开放节点，请更换其他线路。"));
        return;
    }
    QString protocol;
    if (m_ui->radioProtocol1->isChecked()) {
        protocol = m_ui->radioProtocol1->property("protocol").toString();
    } else if (m_ui->radioProtocol2->isChecked()) {
        protocol = m_ui->radioProtocol2->property("protocol").toString();
    }
    // The public-address box counts even while the own-domain field covers it.
    QString const address = m_ui->comboBoxDomain->currentText();
    int const dot = address.indexOf('.');
    QString const hostPrefix = dot < 0 ? address : address.left(dot);
    QString const hostDomain = dot < 0 ? QString() : address.mid(dot + 1);
    String const hostCustom =
        m_ui->editDomainCustom->isHidden() ? String() : fromQString(m_ui->editDomainCustom->text()).toLower();
    String const clientHost = fromQString(m_ui->editClientHost->text()).toLower();
    if (!_checkClientAddress(fromQString(protocol), clientHost, clientPort)) {
        _scrollToClientSection();
        m_ui->editClientPort->setFocus();
        return;
    }
    long long const deviceId = m_deviceId;
    long long const nodeId = m_nodes[node].id;
    String const label = fromQString(m_ui->editLabel->text());
    QString error;
    if (cloudCall(
            m_mainWindow, QStringLiteral("正在保存…"), api,
            [&] {
                return api->createForward(deviceId, nodeId, label, fromQString(protocol),
                                          fromQString(hostPrefix), fromQString(hostDomain), hostCustom,
                                          clientHost, clientPort, bandwidth);
            },
            &error)) {
        accept();
    } else {
        _warning(QStringLiteral("未能创建"), error);
    }
}

bool ForwardEditDialog::_checkClientAddress(String const& protocol, String const& host, int port) {
    long long const device = _isEditMode() ? m_forward.device_id : m_deviceId;
    // A target on another computer cannot be reached from here.
    if (device != _localDeviceId()) return true;
    if (protocol != String(u"tcp") && protocol != String(u"http") && protocol != String(u"https"))
        return true;
    // A port beyond the 16 bits of TCP names nothing that could answer.
    unsigned short const tcpPort = port > 0 && port <= 0xFFFF ? static_cast<unsigned short>(port) : 0;
    // The name lookup waits on the network as the probe does.
    bool const answered = m_mainWindow->executeResult(QStringLiteral("正在检测内网地址…"), [&] {
        gt::net::SocketAddress const target(gt::net::IpAddress::resolveFirst(host), tcpPort);
        return tunnel::TcpPing(CLIENT_PROBE_MS, 1).ping(target) >= 0;
    });
    if (answered) return true;
    return MessageDialog(QApplication::activeWindow())
        .question(QStringLiteral("内网地址"),
                  QStringLiteral("填写的内网主机端口似乎无法连接，您确实要使用该主机端口吗？"));
}
