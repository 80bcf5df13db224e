#include "app/gui/DeviceManageWidget.h"

#include <QHeaderView>
#include <QTableWidgetItem>

#include "app/DeviceBinding.h"
#include "app/DeviceManager.h"
#include "app/IContext.h"
#include "app/RowTexts.h"
#include "app/gui/CloudCall.h"
#include "app/gui/DeviceEditDialog.h"
#include "app/gui/DialogParent.h"
#include "app/gui/GuiUtil.h"
#include "app/gui/IMainWindow.h"
#include "app/gui/InputDialog.h"
#include "app/gui/MessageDialog.h"
#include "app/gui/PageSlide.h"
#include "app/gui/UiScale.h"
#include "gt/core/lang/Fatal.h"
#include "gt/core/lang/Long.h"
#include "gt/net/socket/SocketAddress.h"
#include "tunnel/api/ApiClient.h"
#include "ui_DeviceManageWidget.h"

using gt::core::String;

namespace {

constexpr int kRowHeight = 40;
constexpr int kStatusColumn = 4;

struct Column {
    char const* header;
    int width;
};
Column const kColumns[] = {
    {"设备名称", 136}, {"安装日期", 136}, {"最近登录", 136}, {"资源使用", 192}, {"状态", 72},
};

QTableWidgetItem* cell(QString const& text) {
    QTableWidgetItem* item = new QTableWidgetItem(text);
    item->setFlags(item->flags() & ~Qt::ItemIsEditable);
    return item;
}

}  // namespace

char16_t const* const DeviceManageWidget::NOT_JOINED_TEXT = u"本设备未加入";
char16_t const* const DeviceManageWidget::OTHER_ACCOUNT_TEXT = u"本设备运行在其他账号下";

DeviceManageWidget::DeviceManageWidget(QWidget* parent, IMainWindow* mainWindow)
    : QWidget(parent), m_ui(std::make_unique<Ui::DeviceManageWidget>()), m_mainWindow(mainWindow) {
    GT_ASSERT(m_mainWindow);
    m_ui->setupUi(this);
    hide();

    m_slide = std::make_unique<PageSlide>(this, PageSlide::FROM_BELOW);
    m_slide->onSlidOut = [this] { hide(); };

    QTableWidget* table = m_ui->tableDevice;
    table->verticalHeader()->setDefaultSectionSize(UiScale::scaled(kRowHeight));
    table->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    QStringList headers;
    for (int i = 0; i < static_cast<int>(std::size(kColumns)); ++i) {
        table->setColumnWidth(i, UiScale::scaled(kColumns[i].width));
        headers << QString::fromUtf8(kColumns[i].header);
    }
    table->setHorizontalHeaderLabels(headers);
    table->horizontalHeaderItem(kStatusColumn)->setTextAlignment(Qt::AlignCenter);
    on_tableDevice_itemSelectionChanged();
}

DeviceManageWidget::~DeviceManageWidget() = default;

void DeviceManageWidget::showPage() {
    m_slide->slideIn();
    show();
    raise();
    reload();
}

void DeviceManageWidget::closePage() {
    m_slide->slideOut();
    m_ui->tableDevice->setCurrentItem(nullptr);
}

void DeviceManageWidget::on_btnMin_clicked() { emit minimizeRequested(); }

void DeviceManageWidget::on_btnClose_clicked() { closePage(); }

void DeviceManageWidget::on_tableDevice_itemSelectionChanged() {
    bool const selected = !m_ui->tableDevice->selectedItems().isEmpty();
    m_ui->btnEdit->setEnabled(selected);
    m_ui->btnDel->setEnabled(selected);
}

bool DeviceManageWidget::reload() {
    QTableWidget* table = m_ui->tableDevice;
    if (!m_mainWindow->refreshDevices()) {
        // The rows may name devices that are gone by now: none is offered.
        table->setRowCount(0);
        return false;
    }
    auto const& devices = m_mainWindow->deviceManager()->devices();
    table->setRowCount(devices.count());
    for (int row = 0; row < devices.count(); ++row) {
        tunnel::Device const& device = devices[row];
        table->setItem(row, 0, cell(toQString(device.label)));
        table->setItem(row, 1, cell(toQString(device.create_time.toDateString())));
        table->setItem(row, 2, cell(toQString(device.login_ip)));
        table->setItem(row, 3, cell(toQString(tunnel::RowTexts::deviceForwards(device.forwards))));
        QTableWidgetItem* status = cell(toQString(tunnel::RowTexts::deviceOnline(device.is_online)));
        status->setTextAlignment(Qt::AlignCenter);
        table->setItem(row, kStatusColumn, status);
    }
    return true;
}

int DeviceManageWidget::_currentDevice() const {
    int const row = m_ui->tableDevice->currentRow();
    if (row < 0 || row >= m_mainWindow->deviceManager()->devices().count()) return -1;
    return row;
}

void DeviceManageWidget::on_btnEdit_clicked() {
    int const row = _currentDevice();
    if (row < 0) return;
    tunnel::Device const device = m_mainWindow->deviceManager()->devices()[row];
    DeviceEditDialog dialog(m_mainWindow);
    if (!dialog.exec(device)) return;
    reload();
    m_mainWindow->refreshService();
}

void DeviceManageWidget::on_tableDevice_itemActivated(QTableWidgetItem*) { on_btnEdit_clicked(); }

void DeviceManageWidget::on_btnDel_clicked() {
    int const row = _currentDevice();
    if (row < 0) return;
    long long const id = m_mainWindow->deviceManager()->devices()[row].id;
    MessageDialog question(DialogParent::of(this));
    if (!question.question(
            QStringLiteral("删除设备"),
            QStringLiteral("设备删除后不会卸载服务，在该主机登录账号即可重新加入。确认删除？")))
        return;
    tunnel::ApiClient* api = m_mainWindow->context()->apiClient();
    QString error;
    if (cloudCall(
            m_mainWindow, QStringLiteral("正在删除…"), api, [&] { return api->removeDevice(id); }, &error)) {
        // This computer's binding stays, also when it was this device: the
        // next binding check asks whether to take it over.
        reload();
        // The rows below move up: a selection left in place would offer
        // another device to the next press of 删除.
        m_ui->tableDevice->clearSelection();
        m_ui->tableDevice->setCurrentItem(nullptr);
        on_tableDevice_itemSelectionChanged();
        return;
    }
    DialogParent::warn(this, QStringLiteral("未能删除"), error);
}

bool DeviceManageWidget::isDeviceBound() const {
    return tunnel::DeviceBinding::isBound(*m_mainWindow->context()->userProperties());
}

bool DeviceManageWidget::isDeviceInAccount() const {
    if (!isDeviceBound()) return false;
    long long const id = tunnel::DeviceBinding::deviceId(*m_mainWindow->context()->userProperties());
    return m_mainWindow->deviceManager()->find(id, nullptr);
}

bool DeviceManageWidget::_saveBinding(String const& id, String const& token, QString const& title) {
    String reason;
    if (tunnel::DeviceBinding::save(m_mainWindow->context()->userProperties(), id, token, &reason))
        return true;
    DialogParent::warn(this, title, QStringLiteral("本设备的绑定未能保存到设置文件。\n") + toQString(reason));
    return false;
}

bool DeviceManageWidget::joinDevice() {
    QString const hostName = toQString(gt::net::hostName());
    tunnel::ApiClient* api = m_mainWindow->context()->apiClient();
    for (;;) {
        InputDialog input(DialogParent::of(this));
        if (!input.getText(QStringLiteral("新设备加入"),
                           QStringLiteral("请输入一个名称便于识别（比如：办公室主机）"), hostName,
                           Qt::AlignLeft)) {
            m_statusText = QString::fromUtf16(NOT_JOINED_TEXT);
            return false;
        }
        long long id = -1;
        String token;
        String const name = fromQString(input.text());
        QString error;
        if (cloudCall(
                m_mainWindow, QStringLiteral("正在加入…"), api,
                [&] { return api->createDevice(name, &id, &token); }, &error)) {
            m_mainWindow->refreshDevices();
            if (_saveBinding(gt::core::Long(id).toString(), token, QStringLiteral("未能加入"))) return true;
            m_statusText = QString::fromUtf16(NOT_JOINED_TEXT);
            return false;
        }
        DialogParent::warn(this, QStringLiteral("未能加入"), error);
    }
}

bool DeviceManageWidget::checkDeviceBinding() {
    bool const reloaded = reload();
    if (!reloaded) return false;
    if (isDeviceBound() && !isDeviceInAccount()) {
        MessageDialog question(m_mainWindow->mainWidget());
        if (!question.question(
                QStringLiteral("设备接管"),
                QStringLiteral("当前设备正被其他账号使用，继续操作将断开原先账号，是否接管？"))) {
            m_statusText = QString::fromUtf16(OTHER_ACCOUNT_TEXT);
            return false;
        }
        if (!_saveBinding(String(), String(), QStringLiteral("未能接管"))) {
            m_statusText = QString::fromUtf16(OTHER_ACCOUNT_TEXT);
            return false;
        }
    }
    if (isDeviceBound() || joinDevice()) {
        reload();
        m_statusText.clear();
        return reloaded;
    }
    return false;
}
