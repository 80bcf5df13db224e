#include "app/gui/ForwardEditDialog.h"

#include <QAbstractItemModel>
#include <QIcon>
#include <QLabel>
#include <QScrollBar>
#include <algorithm>

#include "app/DeviceBinding.h"
#include "app/IContext.h"
#include "app/QuotaFigures.h"
#include "app/TcpPing.h"
#include "app/gui/CloudCall.h"
#include "app/gui/DialogParent.h"
#include "app/gui/ForwardWizardDialog.h"
#include "app/gui/FramelessWindow.h"
#include "app/gui/GuiUtil.h"
#include "app/gui/IMainWindow.h"
#include "app/gui/InformationDialog.h"
#include "app/gui/MessageDialog.h"
#include "app/gui/SectionNavigator.h"
#include "app/gui/UiScale.h"
#include "app/gui/WebLinks.h"
#include "gt/core/lang/Fatal.h"
#include "gt/net/socket/SocketAddress.h"
#include "tunnel/api/ApiClient.h"
#include "ui_ForwardEditDialog.h"

using gt::core::Array;
using gt::core::String;

namespace {

constexpr int kItemHeight = 28;
constexpr char kProtocolProperty[] = "protocol";

// Every entry of the box gets the client's item height.
void setItemHeights(QComboBox* box) {
    QAbstractItemModel* model = box->model();
    QSize const hint(0, UiScale::scaled(kItemHeight));
    for (int row = 0; row < model->rowCount(); ++row)
        model->setData(model->index(row, 0), hint, Qt::SizeHintRole);
}

void setProtocol(QRadioButton* radio, QString const& text, char const* protocol) {
    radio->setText(text);
    radio->setProperty(kProtocolProperty, QString::fromLatin1(protocol));
}

void setOnlyEntry(QComboBox* box, QString const& text) {
    box->clear();
    box->addItem(QIcon(), text);
    box->setCurrentIndex(0);
    setItemHeights(box);
}

// A store link of the bandwidth tips.
QString storeLink(QString const& url, QString const& text) {
    return QStringLiteral("<a href='%1'><span style='text-decoration: none; color:#ffa924;'>%2</span></a>")
        .arg(url.toHtmlEscaped(), text);
}

}  // namespace

ForwardEditDialog::ForwardEditDialog(IMainWindow* mainWindow)
    : QDialog(mainWindow->mainWidget()),
      m_ui(std::make_unique<Ui::ForwardEditDialog>()),
      m_mainWindow(mainWindow),
      m_sections(nullptr),
      m_kind(ForwardWizardDialog::NO_KIND),
      m_deviceId(-1) {
    GT_ASSERT(m_mainWindow);
    m_ui->setupUi(this);
    for (QComboBox* box : {m_ui->comboBoxRegion, m_ui->comboBoxDomain, m_ui->comboBoxPort})
        FramelessWindow::setupPopup(box);
    m_sections = new SectionNavigator(m_ui->scrollAreaMain, {{m_ui->btnSection1, m_ui->labelSection1},
                                                             {m_ui->btnSection2, m_ui->labelSection2},
                                                             {m_ui->btnSection3, m_ui->labelSection3},
                                                             {m_ui->btnSection4, m_ui->labelSection4}});
    // The own-domain field lies under the public-address box; only the
    // website layout of a region with own domains shows it.
    m_ui->editDomainCustom->hide();
    // The store links go through WebLinks, which tells the user when no
    // browser took them.
    for (QLabel* tip : {m_ui->labelBandwidthFixedTip, m_ui->labelBandwidthFloatTip}) {
        tip->setOpenExternalLinks(false);
        connect(tip, &QLabel::linkActivated, this,
                [this](QString const& url) { InformationDialog::openLink(url, this); });
    }
    FramelessWindow::setupDialog(this, mainWindow->mainWidget());
}

ForwardEditDialog::~ForwardEditDialog() = default;

bool ForwardEditDialog::execCreate(int kind, long long deviceId) {
    if (isVisible()) return false;
    m_deviceId = deviceId;
    m_kind = kind;
    m_ui->labelMain->setText(QStringLiteral("创建映射"));
    m_ui->btnDelay->setEnabled(true);
    m_ui->btnOk->setText(QStringLiteral("创建"));
    m_ui->radioProtocol1->setChecked(true);
    m_ui->radioBandwidthFixed->setChecked(true);
    switch (kind) {
        case ForwardWizardDialog::KIND_NATIVE:
            m_ui->editLabel->setText(QStringLiteral("原生端口"));
            break;
        case ForwardWizardDialog::KIND_WEBSITE:
            m_ui->editLabel->setText(QStringLiteral("网站应用"));
            break;
        case ForwardWizardDialog::KIND_PROXY:
            m_ui->editLabel->setText(QStringLiteral("代理服务"));
            break;
        default:
            m_ui->editLabel->clear();
            break;
    }
    if (!_loadPrefixes() || !_loadRegions(kind) || !_loadQuota()) return false;
    _updateBandwidthTip();
    if (m_quota.limit.bandwidth < 1) m_ui->radioBandwidthFloat->setChecked(true);
    return exec() == QDialog::Accepted;
}

bool ForwardEditDialog::execEdit(tunnel::Forward const& forward) {
    if (isVisible()) return false;
    m_deviceId = -1;
    m_forward = forward;
    m_ui->labelMain->setText(QStringLiteral("修改映射"));
    m_ui->btnDelay->setEnabled(false);
    m_ui->btnOk->setText(QStringLiteral("保存"));
    if (!_loadQuota()) return false;

    QString const protocol = toQString(forward.protocol);
    bool const website = protocol == QLatin1String("http") || protocol == QLatin1String("https");
    if (website) {
        _setupWebsiteKind(!forward.host_custom.isEmpty());
    } else if (protocol == QLatin1String("socks5")) {
        _setupProxyKind();
    } else {
        _setupNativeKind();
    }
    m_ui->editLabel->setText(toQString(forward.label));
    // No regions are loaded in this mode, so the region handler leaves the
    // fixed public address alone.
    setOnlyEntry(m_ui->comboBoxRegion, toQString(forward.region_label));
    m_ui->comboBoxRegion->setEnabled(false);
    setOnlyEntry(m_ui->comboBoxDomain, toQString(forward.host_prefix) + '.' + toQString(forward.host_domain));
    m_ui->comboBoxDomain->setEnabled(false);
    m_ui->editDomainCustom->setText(toQString(forward.host_custom));
    m_ui->editDomainCustom->setEnabled(false);
    if (!website) setOnlyEntry(m_ui->comboBoxPort, QString::number(forward.server_port));
    m_ui->comboBoxPort->setEnabled(false);
    if (protocol == QLatin1String("socks5")) {
        m_ui->editClientHost->clear();
        m_ui->editClientPort->clear();
    } else {
        m_ui->editClientHost->setText(toQString(forward.client_host));
        m_ui->editClientPort->setText(QString::number(forward.client_port));
    }
    bool const first = protocol == QLatin1String("tcp") || protocol == QLatin1String("http") ||
                       protocol == QLatin1String("socks5");
    (first ? m_ui->radioProtocol1 : m_ui->radioProtocol2)->setChecked(true);
    m_ui->radioProtocol1->setEnabled(false);
    m_ui->radioProtocol2->setEnabled(false);
    (forward.bandwidth > 0 ? m_ui->radioBandwidthFixed : m_ui->radioBandwidthFloat)->setChecked(true);
    m_ui->spinBoxBandwidthFixed->setValue(forward.bandwidth);
    _updateBandwidthTip();
    return exec() == QDialog::Accepted;
}

void ForwardEditDialog::_setupNativeKind() {
    m_ui->labelDomain->setText(QStringLiteral("公网域名："));
    setOnlyEntry(m_ui->comboBoxPort, QStringLiteral("动态分配"));
    setProtocol(m_ui->radioProtocol1, QStringLiteral("TCP"), "tcp");
    setProtocol(m_ui->radioProtocol2, QStringLiteral("UDP-未启用"), "udp");
    m_ui->radioProtocol2->show();
    _setClientFields(true);
}

void ForwardEditDialog::_setupWebsiteKind(bool ownDomain) {
    m_ui->labelDomain->setText(ownDomain ? QStringLiteral("自有域名：") : QStringLiteral("公网域名："));
    m_ui->comboBoxDomain->setVisible(!ownDomain);
    m_ui->editDomainCustom->setVisible(ownDomain);
    setOnlyEntry(m_ui->comboBoxPort, QStringLiteral("默认（80/443）"));
    setProtocol(m_ui->radioProtocol1, QStringLiteral("HTTP"), "http");
    setProtocol(m_ui->radioProtocol2, QStringLiteral("HTTPS"), "https");
    m_ui->radioProtocol2->show();
    _setClientFields(true);
}

void ForwardEditDialog::_setupProxyKind() {
    m_ui->labelDomain->setText(QStringLiteral("公网域名："));
    setOnlyEntry(m_ui->comboBoxPort, QStringLiteral("动态分配"));
    setProtocol(m_ui->radioProtocol1, QStringLiteral("SOCKS5"), "socks5");
    setProtocol(m_ui->radioProtocol2, QStringLiteral("NONE"), "");
    m_ui->radioProtocol2->hide();
    _setClientFields(false);
}

void ForwardEditDialog::_setClientFields(bool editable) {
    // The proxy kind's target is the service's own built-in proxy.
    m_ui->editClientHost->setText(editable ? QStringLiteral("127.0.0.1") : QString());
    m_ui->editClientHost->setPlaceholderText(editable ? QString() : QStringLiteral("（内置服务）127.0.0.1"));
    m_ui->editClientHost->setEnabled(editable);
    m_ui->editClientPort->clear();
    m_ui->editClientPort->setPlaceholderText(editable ? QString() : QStringLiteral("（内置服务）1080"));
    m_ui->editClientPort->setEnabled(editable);
}

void ForwardEditDialog::_chooseProtocol() {
    // Whether the dialog shows yet or not: a radio the region does not offer
    // never stays checked.
    auto offered = [](QRadioButton* radio) {
        return radio->isEnabledTo(radio->parentWidget()) && !radio->isHidden();
    };
    QRadioButton* chosen = offered(m_ui->radioProtocol1)   ? m_ui->radioProtocol1
                           : offered(m_ui->radioProtocol2) ? m_ui->radioProtocol2
                                                           : nullptr;
    if (chosen) {
        chosen->setChecked(true);
        return;
    }
    for (QRadioButton* radio : {m_ui->radioProtocol1, m_ui->radioProtocol2}) {
        radio->setAutoExclusive(false);
        radio->setChecked(false);
        radio->setAutoExclusive(true);
    }
}

bool ForwardEditDialog::_loadPrefixes() {
    tunnel::ApiClient* api = m_mainWindow->context()->apiClient();
    Array<String> prefixes;
    QString error;
    if (!cloudCall(
            m_mainWindow, QStringLiteral("正在加载…"), api, [&] { return api->enumPrefixes(&prefixes); },
            &error)) {
        _warning(QStringLiteral("未能刷新"), error);
        return false;
    }
    m_prefixes = prefixes;
    if (m_prefixes.isEmpty()) {
        _warning(QStringLiteral("错误"), QStringLiteral("没有域名前缀"));
        return false;
    }
    return true;
}

bool ForwardEditDialog::_loadRegions(int kind) {
    tunnel::ApiClient* api = m_mainWindow->context()->apiClient();
    Array<tunnel::Region> regions;
    QString error;
    if (!cloudCall(
            m_mainWindow, QStringLiteral("正在加载…"), api, [&] { return api->enumRegions(&regions); },
            &error)) {
        _warning(QStringLiteral("未能刷新"), error);
        return false;
    }
    m_regions = regions;
    for (int i = m_regions.count() - 1; i >= 0; --i) {
        tunnel::Region const& region = m_regions[i];
        bool drop = region.is_disabled;
        switch (kind) {
            case ForwardWizardDialog::KIND_NATIVE:
                drop = drop || (!region.support_tcp && !region.support_udp);
                break;
            case ForwardWizardDialog::KIND_WEBSITE:
                drop = drop || (!region.support_http && !region.support_https);
                break;
            case ForwardWizardDialog::KIND_PROXY:
                drop = drop || !region.support_tcp;
                break;
            default:
                break;
        }
        if (drop) m_regions.removeAt(i);
    }
    // The first entry makes the box current, which lays the kind out and
    // loads that region's nodes.
    m_ui->comboBoxRegion->clear();
    for (tunnel::Region const& region : m_regions)
        m_ui->comboBoxRegion->addItem(QIcon(), toQString(region.label));
    setItemHeights(m_ui->comboBoxRegion);
    return true;
}

bool ForwardEditDialog::_loadQuota() {
    tunnel::ApiClient* api = m_mainWindow->context()->apiClient();
    tunnel::QuotaInfo quota;
    QString error;
    if (!cloudCall(
            m_mainWindow, QStringLiteral("正在加载…"), api, [&] { return api->queryQuota(&quota); },
            &error)) {
        _warning(QStringLiteral("未能刷新"), error);
        return false;
    }
    m_quota = quota;
    m_ui->spinBoxBandwidthFixed->setRange(
        0, tunnel::QuotaFigures::bandwidthMaximum(m_quota, m_forward.bandwidth));
    return true;
}

void ForwardEditDialog::_updateBandwidthTip() {
    if (m_ui->radioBandwidthFixed->isChecked()) {
        int const limit = m_quota.limit.bandwidth;
        if (limit <= 0) {
            m_ui->labelBandwidthFixedTip->setText(
                QStringLiteral("（您当前没有固定带宽可分配） ") +
                storeLink(WebLinks::storePlan(), QStringLiteral("购买带宽")));
            return;
        }
        int const remaining = tunnel::QuotaFigures::bandwidthLeft(m_quota, m_forward.bandwidth,
                                                                  m_ui->spinBoxBandwidthFixed->value());
        m_ui->labelBandwidthFixedTip->setText(
            QStringLiteral("（当前剩余可分配 %1/%2 Mbps） ").arg(remaining).arg(limit) +
            storeLink(WebLinks::storeModify(), QStringLiteral("升级带宽")));
        return;
    }
    long long const left = tunnel::QuotaFigures::trafficLeft(m_quota);
    m_ui->labelBandwidthFloatTip->setText(QStringLiteral("带宽 1 Mbps，当前流量剩余 ") +
                                          toQString(formatTraffic(left)) + QStringLiteral("。") +
                                          storeLink(WebLinks::storeTraffic(), QStringLiteral("购买流量包")));
}

void ForwardEditDialog::on_comboBoxRegion_currentIndexChanged(int) {
    int const index = m_ui->comboBoxRegion->currentIndex();
    if (index < 0 || index >= m_regions.count()) return;
    tunnel::Region const region = m_regions[index];
    if (m_kind == ForwardWizardDialog::KIND_WEBSITE) {
        _setupWebsiteKind(region.support_domain);
        m_ui->radioProtocol1->setEnabled(region.support_http);
        m_ui->radioProtocol2->setEnabled(region.support_https);
    } else if (m_kind == ForwardWizardDialog::KIND_PROXY) {
        _setupProxyKind();
    } else {
        _setupNativeKind();
        m_ui->radioProtocol1->setEnabled(region.support_tcp);
        m_ui->radioProtocol2->setEnabled(region.support_udp);
    }
    _chooseProtocol();
    if (!m_ui->comboBoxDomain->isEnabled()) return;

    // A failed load leaves no entry of the previous region behind: its node
    // index would name a node of another region on save.
    m_ui->comboBoxDomain->clear();
    m_nodes.clear();
    tunnel::ApiClient* api = m_mainWindow->context()->apiClient();
    Array<tunnel::Node> nodes;
    long long const regionId = region.id;
    QString error;
    if (!cloudCall(
            m_mainWindow, QStringLiteral("正在加载…"), api, [&] { return api->enumNodes(&nodes, regionId); },
            &error)) {
        _warning(QStringLiteral("未能刷新"), error);
        return;
    }
    m_nodes = nodes;
    for (int node = 0; node < m_nodes.count(); ++node) {
        for (String const& domain : m_nodes[node].domains) {
            for (String const& prefix : m_prefixes)
                m_ui->comboBoxDomain->addItem(QIcon(), toQString(prefix) + '.' + toQString(domain), node);
        }
    }
    setItemHeights(m_ui->comboBoxDomain);
}

int ForwardEditDialog::_currentNodeIndex() const {
    int const entry = m_ui->comboBoxDomain->currentIndex();
    if (entry < 0) return -1;
    bool ok = false;
    int const node = m_ui->comboBoxDomain->itemData(entry).toInt(&ok);
    return ok && node >= 0 && node < m_nodes.count() ? node : -1;
}

void ForwardEditDialog::on_btnDelay_clicked() {
    int const node = _currentNodeIndex();
    if (node < 0) {
        _warning(QStringLiteral("无效状态"), QStringLiteral("无开放节点，请更换其他线路。"));
        return;
    }
    if (m_nodes[node].servers.isEmpty()) {
        _warning(QStringLiteral("无效状态"), QStringLiteral("节点无开放服务器，请更换其他线路。"));
        return;
    }
    gt::net::SocketAddress const address = gt::net::parseSocketAddress(m_nodes[node].servers[0]);
    if (address == gt::net::SocketAddress::none()) {
        _warning(QStringLiteral("提示"), QStringLiteral("该线路未能解析，请检查网络或尝试其他线路。"));
        return;
    }
    int ms = -1;
    m_mainWindow->execute(QStringLiteral("正在测试延迟…"),
                          [&] { ms = tunnel::TcpPing(DELAY_PROBE_MS, DELAY_PROBE_ATTEMPTS).ping(address); });
    if (ms < 0) {
        _warning(QStringLiteral("提示"), QStringLiteral("该线路未能连接，请检查网络或尝试其他线路。"));
        return;
    }
    _information(QStringLiteral("延迟测试"), QStringLiteral("线路延迟：%1 ms").arg(ms));
}

void ForwardEditDialog::_scrollToClientSection() { m_sections->scrollTo(2); }

void ForwardEditDialog::_scrollToBandwidthSection() { m_sections->scrollTo(3); }

void ForwardEditDialog::on_radioBandwidthFixed_toggled(bool checked) {
    if (!checked) return;
    m_ui->tabBandwidth->setCurrentIndex(0);
    _updateBandwidthTip();
}

void ForwardEditDialog::on_radioBandwidthFloat_toggled(bool checked) {
    if (!checked) return;
    m_ui->tabBandwidth->setCurrentIndex(1);
    _updateBandwidthTip();
}

void ForwardEditDialog::on_spinBoxBandwidthFixed_editingFinished() { _updateBandwidthTip(); }

void ForwardEditDialog::on_btnClose_clicked() { close(); }

void ForwardEditDialog::on_btnCancel_clicked() { close(); }

long long ForwardEditDialog::_localDeviceId() const {
    return tunnel::DeviceBinding::deviceId(*m_mainWindow->context()->userProperties());
}

void ForwardEditDialog::_warning(QString const& title, QString const& text) {
    DialogParent::warn(this, title, text);
}

void ForwardEditDialog::_information(QString const& title, QString const& text) {
    MessageDialog(DialogParent::of(this)).information(title, text);
}
