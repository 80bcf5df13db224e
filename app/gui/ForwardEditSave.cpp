// The forward editor's OK button: the checks of the LAN port and the
// bandwidth, the probe of a LAN target on this computer, and the one cloud
// call (create_forward or modify_forward) whose success ends the dialog.

#include "app/ForwardDraft.h"
#include "app/IContext.h"
#include "app/TcpPing.h"
#include "app/gui/CloudCall.h"
#include "app/gui/DialogParent.h"
#include "app/gui/ForwardEditDialog.h"
#include "app/gui/GuiUtil.h"
#include "app/gui/IMainWindow.h"
#include "app/gui/MessageDialog.h"
#include "gt/net/socket/IpAddress.h"
#include "gt/net/socket/SocketAddress.h"
#include "tunnel/api/ApiClient.h"
#include "ui_ForwardEditDialog.h"

using gt::core::String;

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
    tunnel::ForwardDraft draft;
    draft.label = fromQString(m_ui->editLabel->text());
    draft.clientHost = fromQString(m_ui->editClientHost->text());
    draft.clientPort = fromQString(m_ui->editClientPort->text());
    draft.fixedBandwidth = fixed;
    draft.fixedValue = m_ui->spinBoxBandwidthFixed->value();
    tunnel::ApiClient* api = m_mainWindow->context()->apiClient();

    if (_isEditMode()) {
        if (!_checkClientAddress(m_forward.protocol, draft.clientHost, draft.port())) {
            _scrollToClientSection();
            m_ui->editClientPort->setFocus();
            return;
        }
        long long const id = m_forward.id;
        auto const fields = draft.modifyFields();
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
    if (m_ui->radioProtocol1->isChecked()) {
        draft.protocol = fromQString(m_ui->radioProtocol1->property("protocol").toString());
    } else if (m_ui->radioProtocol2->isChecked()) {
        draft.protocol = fromQString(m_ui->radioProtocol2->property("protocol").toString());
    }
    draft.address = fromQString(m_ui->comboBoxDomain->currentText());
    draft.ownDomain = fromQString(m_ui->editDomainCustom->text());
    draft.ownDomainShown = !m_ui->editDomainCustom->isHidden();
    String const clientHost = draft.newClientHost();
    if (!_checkClientAddress(draft.protocol, clientHost, draft.port())) {
        _scrollToClientSection();
        m_ui->editClientPort->setFocus();
        return;
    }
    long long const deviceId = m_deviceId;
    long long const nodeId = m_nodes[node].id;
    QString error;
    if (cloudCall(
            m_mainWindow, QStringLiteral("正在保存…"), api,
            [&] {
                return api->createForward(deviceId, nodeId, draft.label, draft.protocol, draft.hostPrefix(),
                                          draft.hostDomain(), draft.hostCustom(), clientHost, draft.port(),
                                          draft.bandwidth());
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
    return MessageDialog(DialogParent::of(this))
        .question(QStringLiteral("内网地址"),
                  QStringLiteral("填写的内网主机端口似乎无法连接，您确实要使用该主机端口吗？"));
}
