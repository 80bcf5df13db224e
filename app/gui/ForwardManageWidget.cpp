#include "app/gui/ForwardManageWidget.h"

#include <QAbstractItemModel>
#include <QAction>
#include <QCursor>
#include <QFontMetrics>
#include <QHeaderView>
#include <QIcon>
#include <QMenu>
#include <QSignalBlocker>
#include <QStringList>
#include <QTableWidgetItem>
#include <algorithm>

#include "app/AclManager.h"
#include "app/DeviceBinding.h"
#include "app/DeviceManager.h"
#include "app/ForwardStatus.h"
#include "app/IContext.h"
#include "app/RowTexts.h"
#include "app/gui/CloudCall.h"
#include "app/gui/DialogParent.h"
#include "app/gui/ForwardEditDialog.h"
#include "app/gui/ForwardWizardDialog.h"
#include "app/gui/FramelessWindow.h"
#include "app/gui/GuiUtil.h"
#include "app/gui/IMainWindow.h"
#include "app/gui/InformationDialog.h"
#include "app/gui/InputDialog.h"
#include "app/gui/MessageDialog.h"
#include "app/gui/PageSlide.h"
#include "app/gui/SelectDialog.h"
#include "app/gui/UiScale.h"
#include "app/util/Clipboard.h"
#include "gt/core/io/Thread.h"
#include "gt/core/lang/Fatal.h"
#include "tunnel/api/ApiClient.h"
#include "tunnel/api/user/Acl.h"
#include "tunnel/api/user/Device.h"
#include "tunnel/api/user/QuotaInfo.h"
#include "ui_ForwardManageWidget.h"

using gt::core::Any;
using gt::core::Array;
using gt::core::Dictionary;
using gt::core::String;

char const* const ForwardManageWidget::PORT_EXAMPLE_DOMAIN = "tcp.quorvane.example";
char const* const ForwardManageWidget::WEBSITE_EXAMPLE_DOMAIN = "web.quorvane.example";

namespace {

constexpr int kRowHeight = 40;
constexpr int kItemHeight = 28;
// Wider device names are elided in the device list, or one long name would
// stretch its pop-up across the screen.
constexpr int kDeviceTextWidth = 240;
constexpr int kCopyNoticeMs = 1000;
constexpr int kColumnWidths[] = {136, 160, 232, 72, 72};

bool isWebsite(String const& protocol) { return tunnel::RowTexts::isWebsite(protocol); }

// A cell of the status columns: centred; an existing cell is rewritten in
// place, which costs nothing when its text stays.
void setStatusCell(QTableWidget* table, int row, int column, QString const& text, QString const& toolTip) {
    QTableWidgetItem* item = table->item(row, column);
    if (!item) {
        item = new QTableWidgetItem;
        item->setTextAlignment(Qt::AlignCenter);
        table->setItem(row, column, item);
    }
    item->setText(text);
    // The service's error text for the forward: outside text.
    item->setToolTip(plainToolTip(toolTip));
}

}  // namespace

ForwardManageWidget::ForwardManageWidget(QWidget* parent, IMainWindow* mainWindow)
    : QWidget(parent),
      m_ui(std::make_unique<Ui::ForwardManageWidget>()),
      m_mainWindow(mainWindow),
      m_menu(nullptr),
      m_actCName(nullptr) {
    GT_ASSERT(m_mainWindow);
    m_ui->setupUi(this);
    hide();

    m_slide = std::make_unique<PageSlide>(this, PageSlide::FROM_BELOW);
    m_slide->onSlidOut = [this] { hide(); };

    QTableWidget* table = m_ui->tableForward;
    table->verticalHeader()->setDefaultSectionSize(UiScale::scaled(kRowHeight));
    table->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    for (int column = 0; column < COLUMN_COUNT; ++column)
        table->setColumnWidth(column, UiScale::scaled(kColumnWidths[column]));
    table->setHorizontalHeaderLabels(QStringList{QStringLiteral("映射名称"), QStringLiteral("内网地址"),
                                                 QStringLiteral("公网地址"), QStringLiteral("响应"),
                                                 QStringLiteral("连接")});
    table->horizontalHeaderItem(COLUMN_PING)->setTextAlignment(Qt::AlignCenter);
    table->horizontalHeaderItem(COLUMN_CHANNELS)->setTextAlignment(Qt::AlignCenter);

    FramelessWindow::setupPopup(m_ui->comboBoxInstance);

    m_menu = new QMenu(this);
    _addAction("actCopy", QStringLiteral("复制地址"), &ForwardManageWidget::_on_actCopy_triggered);
    m_actCName =
        _addAction("actCName", QStringLiteral("域名解析"), &ForwardManageWidget::_on_actCName_triggered);
    _addAction("actEdit", QStringLiteral("编辑"), &ForwardManageWidget::_on_actEdit_triggered);
    _addAction("actMove", QStringLiteral("移动"), &ForwardManageWidget::_on_actMove_triggered);
    _addAction("actAcl", QStringLiteral("限制"), &ForwardManageWidget::_on_actAcl_triggered);
    _addAction("actDel", QStringLiteral("删除"), &ForwardManageWidget::_on_actDel_triggered);
    FramelessWindow::setupMenu(m_menu);

    on_tableForward_itemSelectionChanged();
}

ForwardManageWidget::~ForwardManageWidget() = default;

QAction* ForwardManageWidget::_addAction(char const* name, QString const& text,
                                         void (ForwardManageWidget::*slot)()) {
    QAction* action = new QAction(text, this);
    action->setObjectName(QString::fromLatin1(name));
    connect(action, &QAction::triggered, this, slot);
    m_menu->addAction(action);
    return action;
}

void ForwardManageWidget::showPage() {
    m_slide->slideIn();
    show();
    raise();
    refreshDevices();
}

void ForwardManageWidget::closePage() { m_slide->slideOut(); }

void ForwardManageWidget::refreshDevices() {
    if (!m_mainWindow->refreshDevices()) return;
    QComboBox* box = m_ui->comboBoxInstance;
    int const index = box->currentIndex();
    Array<tunnel::Device> const& devices = m_mainWindow->deviceManager()->devices();
    {
        // One reload below, not one per change of the list while it refills.
        QSignalBlocker blocker(box);
        box->clear();
        box->ensurePolished();  // the style sheet's font, also before the page first shows
        QFontMetrics const metrics(box->font());
        int const textWidth = UiScale::scaled(kDeviceTextWidth);
        for (tunnel::Device const& device : devices) {
            QString const label = toQString(device.label);
            box->addItem(QIcon(), metrics.elidedText(label, Qt::ElideRight, textWidth));
            box->setItemData(box->count() - 1, plainToolTip(label), Qt::ToolTipRole);
        }
        QAbstractItemModel* model = box->model();
        QSize const hint(0, UiScale::scaled(kItemHeight));
        for (int row = 0; row < model->rowCount(); ++row)
            model->setData(model->index(row, 0), hint, Qt::SizeHintRole);
        long long const local = m_mainWindow->context()->userProperties()->get(u"device.id").toInt64();
        box->setCurrentIndex(m_mainWindow->deviceManager()->listIndex(index, local));
    }
    box->setToolTip(box->itemData(box->currentIndex(), Qt::ToolTipRole).toString());
    reload();
}

bool ForwardManageWidget::_hasDevice() const {
    int const index = m_ui->comboBoxInstance->currentIndex();
    return index >= 0 && index < m_mainWindow->deviceManager()->devices().count();
}

bool ForwardManageWidget::isLocalDevice() const {
    if (!_hasDevice()) return false;
    long long const local = tunnel::DeviceBinding::deviceId(*m_mainWindow->context()->userProperties());
    return m_mainWindow->deviceManager()->devices()[m_ui->comboBoxInstance->currentIndex()].id == local;
}

QString ForwardManageWidget::publicAddress(tunnel::Forward const& forward) {
    return toQString(tunnel::RowTexts::forwardPublic(forward));
}

void ForwardManageWidget::reload() {
    QTableWidget* table = m_ui->tableForward;
    if (!_hasDevice()) {
        m_forwards.clear();
        table->setRowCount(0);
        return;
    }
    bool const local = isLocalDevice();
    long long const deviceId =
        m_mainWindow->deviceManager()->devices()[m_ui->comboBoxInstance->currentIndex()].id;
    Array<tunnel::Forward> forwards;
    tunnel::ApiClient* api = m_mainWindow->context()->apiClient();
    QString error;
    if (!cloudCall(
            m_mainWindow, QStringLiteral("正在加载…"), api,
            [&] { return api->enumForwards(&forwards, deviceId); }, &error)) {
        // The rows may be another device's (the list just changed) or gone:
        // none stays to be edited, moved or deleted under this device.
        m_forwards.clear();
        table->setRowCount(0);
        DialogParent::warn(this, QStringLiteral("未能获取转发列表"), error);
        return;
    }
    m_forwards.swap(forwards);
    QString const state = local ? toQString(tunnel::ForwardStatus::UNKNOWN) : QStringLiteral("非本机");
    table->setRowCount(m_forwards.count());
    for (int row = 0; row < m_forwards.count(); ++row) {
        tunnel::Forward const& forward = m_forwards[row];
        QString const client = toQString(tunnel::RowTexts::forwardClient(forward));
        table->setItem(row, COLUMN_LABEL, new QTableWidgetItem(toQString(forward.label)));
        table->setItem(row, COLUMN_CLIENT, new QTableWidgetItem(client));
        table->setItem(row, COLUMN_PUBLIC, new QTableWidgetItem(publicAddress(forward)));
        for (int column : {COLUMN_PING, COLUMN_CHANNELS}) {
            QTableWidgetItem* item = new QTableWidgetItem(state);
            item->setTextAlignment(Qt::AlignCenter);
            table->setItem(row, column, item);
        }
    }
    if (local) emit statusWanted();
}

void ForwardManageWidget::updateStatus(Array<Any> const& entries) {
    if (!isLocalDevice()) return;
    Array<tunnel::ForwardStatus> const rows =
        tunnel::ForwardStatus::merge(entries, m_forwards, m_mainWindow->quota().limit.bandwidth_float);
    QTableWidget* table = m_ui->tableForward;
    int const count = std::min(rows.count(), table->rowCount());
    for (int row = 0; row < count; ++row) {
        QString const error = toQString(rows[row].error);
        setStatusCell(table, row, COLUMN_PING, toQString(rows[row].ping), error);
        setStatusCell(table, row, COLUMN_CHANNELS, toQString(rows[row].channels), error);
    }
}

int ForwardManageWidget::_currentRow() const {
    int const row = m_ui->tableForward->currentRow();
    return row >= 0 && row < m_forwards.count() ? row : -1;
}

void ForwardManageWidget::on_tableForward_customContextMenuRequested(QPoint const&) {
    int const row = _currentRow();
    if (row < 0) return;
    tunnel::Forward const& forward = m_forwards[row];
    m_actCName->setVisible(isWebsite(forward.protocol) && !forward.host_custom.isEmpty());
    m_menu->popup(QCursor::pos());
}

void ForwardManageWidget::on_tableForward_itemSelectionChanged() {
    bool const selected = !m_ui->tableForward->selectedItems().isEmpty();
    m_ui->btnEdit->setEnabled(selected);
    m_ui->btnDel->setEnabled(selected);
}

void ForwardManageWidget::on_comboBoxInstance_currentIndexChanged(int index) {
    m_ui->comboBoxInstance->setToolTip(m_ui->comboBoxInstance->itemData(index, Qt::ToolTipRole).toString());
    reload();
}

void ForwardManageWidget::on_btnMin_clicked() { emit minimizeRequested(); }

void ForwardManageWidget::on_btnClose_clicked() { closePage(); }

void ForwardManageWidget::on_btnCreate_clicked() {
    if (!_hasDevice()) return;
    long long const deviceId =
        m_mainWindow->deviceManager()->devices()[m_ui->comboBoxInstance->currentIndex()].id;
    if (!requirePrefix()) return;
    int kind = ForwardWizardDialog::NO_KIND;
    if (!ForwardWizardDialog(m_mainWindow->mainWidget()).select(&kind)) return;
    if (ForwardEditDialog(m_mainWindow).execCreate(kind, deviceId)) _modified();
}

void ForwardManageWidget::on_btnEdit_clicked() { _edit(); }
void ForwardManageWidget::_on_actEdit_triggered() { _edit(); }
void ForwardManageWidget::on_tableForward_itemActivated(QTableWidgetItem*) { _edit(); }

void ForwardManageWidget::_edit() {
    int const row = _currentRow();
    if (row < 0) return;
    tunnel::Forward const forward = m_forwards[row];
    if (ForwardEditDialog(m_mainWindow).execEdit(forward)) _modified();
}

void ForwardManageWidget::on_btnDel_clicked() { _delete(); }
void ForwardManageWidget::_on_actDel_triggered() { _delete(); }

void ForwardManageWidget::_delete() {
    int const row = _currentRow();
    if (row < 0) return;
    long long const id = m_forwards[row].id;
    QString const text =
        (isWebsite(m_forwards[row].protocol) ? QStringLiteral("该映射删除后，网站地址将会关闭。")
                                             : QStringLiteral("该映射删除后，公网端口将会释放。")) +
        QStringLiteral("确认删除？");
    if (!MessageDialog(DialogParent::of(this)).question(QStringLiteral("删除映射"), text)) return;
    tunnel::ApiClient* api = m_mainWindow->context()->apiClient();
    QString error;
    if (cloudCall(
            m_mainWindow, QStringLiteral("正在删除…"), api, [&] { return api->removeForward(id); }, &error)) {
        // The devices count their mappings: the list is refreshed with them.
        refreshDevices();
        // The rows below move up: a selection left in place would offer
        // another mapping to the next press of 删除.
        m_ui->tableForward->clearSelection();
        m_ui->tableForward->setCurrentItem(nullptr);
        on_tableForward_itemSelectionChanged();
        // The service would otherwise keep the tunnel published until its
        // next poll of the cloud.
        m_mainWindow->refreshService();
    } else {
        _warning(QStringLiteral("未能删除"), error);
    }
}

void ForwardManageWidget::_on_actCopy_triggered() {
    int const row = _currentRow();
    if (row < 0) return;
    QString const address = publicAddress(m_forwards[row]);
    if (tunnel::Clipboard::setText(fromQString(address))) {
        m_mainWindow->execute(address + QStringLiteral("\r\n已复制到剪贴板"),
                              [] { gt::core::Thread::sleep(kCopyNoticeMs); });
        return;
    }
    InformationDialog(m_mainWindow->mainWidget(), true)
        .information(
            QStringLiteral("复制"),
            QStringLiteral(
                "剪贴板错误！请使用鼠标选中以下地址，按 Ctrl+V 手工复制：<br><font color='#FFA924'>") +
                address.toHtmlEscaped() + QStringLiteral("</font>"));
}

void ForwardManageWidget::_on_actCName_triggered() {
    int const row = _currentRow();
    if (row < 0) return;
    tunnel::Forward const& forward = m_forwards[row];
    if (isWebsite(forward.protocol) && !forward.host_custom.isEmpty()) {
        QString const target = toQString(forward.host_prefix + u"." + forward.host_domain);
        InformationDialog(m_mainWindow->mainWidget(), true)
            .information(QStringLiteral("域名解析"),
                         QStringLiteral("主机头已经绑定，请登录您的 DNS 管理后台，将您的自有域名通过 CNAME "
                                        "方式指向以下地址：<br><font color='#FFA924'>") +
                             target.toHtmlEscaped() + QStringLiteral("</font>"));
        return;
    }
    MessageDialog(m_mainWindow->mainWidget())
        .information(QStringLiteral("提示"), QStringLiteral("该类型映射无需解析，可直接使用。"));
}

void ForwardManageWidget::_on_actMove_triggered() {
    int const row = _currentRow();
    if (row < 0) return;
    long long const id = m_forwards[row].id;
    Array<tunnel::Device> const devices = m_mainWindow->deviceManager()->devices();
    QStringList items;
    int current = -1;
    for (int i = 0; i < devices.count(); ++i) {
        items << toQString(devices[i].label);
        if (current < 0 && devices[i].id == m_forwards[row].device_id) current = i;
    }
    int const chosen =
        SelectDialog(m_mainWindow->mainWidget())
            .select(QStringLiteral("移动到其他设备"), QStringLiteral("将该映射移动到："), items, current);
    if (chosen < 0 || chosen >= devices.count()) return;
    Dictionary<Any> fields;
    fields.set(u"device_id", Any(devices[chosen].id));
    _modify(id, fields);
}

void ForwardManageWidget::_on_actAcl_triggered() {
    int const row = _currentRow();
    if (row < 0) return;
    tunnel::Forward const forward = m_forwards[row];
    if (forward.protocol != String(u"tcp")) {
        MessageDialog(DialogParent::of(this))
            .information(QStringLiteral("访问策略"), QStringLiteral("访问策略当前仅支持原生端口映射。"));
        return;
    }
    if (!m_mainWindow->refreshAcls()) return;
    Array<tunnel::Acl> const acls = m_mainWindow->aclManager()->acls();
    if (acls.isEmpty()) {
        MessageDialog(DialogParent::of(this))
            .information(QStringLiteral("访问策略"),
                         QStringLiteral("无可用访问策略，请在主界面【管理工具】中创建。"));
        return;
    }
    QStringList items;
    int current = -1;
    for (int i = 0; i < acls.count(); ++i) {
        items << toQString(acls[i].label);
        if (current < 0 && acls[i].id == forward.acl_id) current = i;
    }
    items << QStringLiteral("关闭");
    if (current < 0) current = acls.count();
    int const chosen =
        SelectDialog(m_mainWindow->mainWidget())
            .select(QStringLiteral("访问策略"), QStringLiteral("加载访问策略："), items, current);
    if (chosen < 0 || chosen > acls.count()) return;
    Dictionary<Any> fields;
    // An empty value (JSON null) takes the policy off.
    fields.set(u"acl_id", chosen < acls.count() ? Any(acls[chosen].id) : Any());
    _modify(forward.id, fields);
}

bool ForwardManageWidget::requirePrefix() {
    tunnel::ApiClient* api = m_mainWindow->context()->apiClient();
    for (;;) {
        Array<String> prefixes;
        QString error;
        if (!cloudCall(
                m_mainWindow, QStringLiteral("正在加载…"), api, [&] { return api->enumPrefixes(&prefixes); },
                &error)) {
            _warning(QStringLiteral("未能刷新"), error);
            return false;
        }
        if (!prefixes.isEmpty()) return true;

        QString prefix;
        for (;;) {
            InputDialog input(DialogParent::of(this));
            if (!input.getText(QStringLiteral("注册域名前缀"),
                               QStringLiteral("您需要注册一个域名前缀，完成后将不能修改"), prefix))
                return false;
            prefix = toQString(fromQString(input.text()).toLower());
            String const wanted = fromQString(prefix);
            if (cloudCall(
                    m_mainWindow, QStringLiteral("正在检查…"), api, [&] { return api->checkPrefix(wanted); },
                    &error))
                break;
            MessageDialog(DialogParent::of(this)).warning(QStringLiteral("注册域名前缀"), error);
        }
        QString const shown =
            QStringLiteral("<font color='#FFA924'>") + prefix.toHtmlEscaped() + QStringLiteral("</font>");
        QString const text =
            QStringLiteral(
                "<p>当您创建映射时，将会使用该前缀生成如下样式的连接地址。</p>"
                "<ol style='margin-left: -20px;'><li><p>带随机端口的连接地址：</p><p>") +
            shown + '.' + QString::fromLatin1(PORT_EXAMPLE_DOMAIN) +
            QStringLiteral(":12345</p></li><li><p>不带端口的网站地址：</p><p>http://") + shown + '.' +
            QString::fromLatin1(WEBSITE_EXAMPLE_DOMAIN) +
            QStringLiteral(
                "</p></li></ol><p>当前只能注册一次，完成后将不能修改。</p><p>确认使用该前缀吗？</p>");
        if (!InformationDialog(DialogParent::of(this), true).question(QStringLiteral("确认注册"), text))
            continue;
        String const chosen = fromQString(prefix);
        if (!cloudCall(
                m_mainWindow, QStringLiteral("正在注册…"), api, [&] { return api->createPrefixFree(chosen); },
                &error)) {
            _warning(QStringLiteral("未能创建"), error);
            return false;
        }
        MessageDialog(DialogParent::of(this), MessageDialog::RICH_TEXT)
            .complete(QStringLiteral("注册域名前缀"),
                      QStringLiteral("恭喜您，") + shown +
                          QStringLiteral(" 已注册成功！<br>接下来您可以开始添加映射。"));
    }
}

void ForwardManageWidget::_modify(long long id, Dictionary<Any> const& fields) {
    tunnel::ApiClient* api = m_mainWindow->context()->apiClient();
    QString error;
    if (cloudCall(
            m_mainWindow, QStringLiteral("正在保存…"), api, [&] { return api->modifyForward(id, fields); },
            &error)) {
        _modified();
    } else {
        _warning(QStringLiteral("未能保存"), error);
    }
}

void ForwardManageWidget::_modified() {
    reload();
    m_mainWindow->refreshService();
}

void ForwardManageWidget::_warning(QString const& title, QString const& error) {
    DialogParent::warn(this, title, error);
}
