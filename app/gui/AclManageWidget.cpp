#include "app/gui/AclManageWidget.h"

#include <QTableWidgetItem>

#include "app/AclManager.h"
#include "app/IContext.h"
#include "app/RowTexts.h"
#include "app/gui/AclEditDialog.h"
#include "app/gui/CloudCall.h"
#include "app/gui/DialogParent.h"
#include "app/gui/GuiUtil.h"
#include "app/gui/IMainWindow.h"
#include "app/gui/MessageDialog.h"
#include "app/gui/PageSlide.h"
#include "app/gui/UiScale.h"
#include "tunnel/api/ApiClient.h"
#include "ui_AclManageWidget.h"

namespace {

// Each row's first cell carries the id of its policy.
constexpr int kIdRole = Qt::UserRole;

}  // namespace

AclManageWidget::AclManageWidget(QWidget* parent, IMainWindow* mainWindow)
    : QWidget(parent), m_ui(new Ui::AclManageWidget), m_mainWindow(mainWindow) {
    m_ui->setupUi(this);
    hide();
    m_slide = std::make_unique<PageSlide>(this, PageSlide::FROM_BELOW);
    m_slide->onSlidOut = [this] { hide(); };

    QTableWidget* table = m_ui->tableAcl;
    table->verticalHeader()->setDefaultSectionSize(UiScale::scaled(40));
    table->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    int const widths[] = {136, 136, 136, 264};
    for (int column = 0; column < 4; ++column)
        table->setColumnWidth(column, UiScale::scaled(widths[column]));
    table->setHorizontalHeaderLabels({QStringLiteral("策略名称"), QStringLiteral("地址授权"),
                                      QStringLiteral("网关授权"), QStringLiteral("有效加载"), QString()});
    on_tableAcl_itemSelectionChanged();
}

AclManageWidget::~AclManageWidget() { m_slide.reset(); }

bool AclManageWidget::showPage() {
    m_slide->slideIn();
    show();
    raise();
    return reload();
}

void AclManageWidget::closePage() {
    m_slide->slideOut();
    m_ui->tableAcl->setCurrentItem(nullptr);
}

bool AclManageWidget::reload() {
    if (!m_mainWindow->refreshAcls()) return false;
    gt::core::Array<tunnel::Acl> const& acls = m_mainWindow->aclManager()->acls();
    QTableWidget* table = m_ui->tableAcl;
    table->setRowCount(acls.count());
    for (int row = 0; row < acls.count(); ++row) {
        tunnel::Acl const& acl = acls[row];
        QTableWidgetItem* name = new QTableWidgetItem(toQString(acl.label));
        name->setData(kIdRole, static_cast<qlonglong>(acl.id));
        table->setItem(row, 0, name);
        table->setItem(row, 1, new QTableWidgetItem(ipFilterText(acl)));
        table->setItem(row, 2, new QTableWidgetItem(gatewayText(acl)));
        table->setItem(row, 3, new QTableWidgetItem(forwardsText(acl)));
    }
    return true;
}

QString AclManageWidget::ipFilterText(tunnel::Acl const& acl) {
    return toQString(tunnel::RowTexts::aclIpFilter(acl));
}

QString AclManageWidget::gatewayText(tunnel::Acl const& acl) {
    return toQString(tunnel::RowTexts::aclGateway(acl));
}

QString AclManageWidget::forwardsText(tunnel::Acl const& acl) {
    return toQString(tunnel::RowTexts::aclForwards(acl));
}

void AclManageWidget::on_btnMin_clicked() { emit minimizeRequested(); }

void AclManageWidget::on_btnClose_clicked() { closePage(); }

void AclManageWidget::on_btnEdit_clicked() {
    tunnel::Acl acl;
    if (_currentAcl(&acl)) _edit(acl);
}

void AclManageWidget::on_tableAcl_itemActivated(QTableWidgetItem*) { on_btnEdit_clicked(); }

void AclManageWidget::on_tableAcl_itemSelectionChanged() {
    bool const selected = !m_ui->tableAcl->selectedItems().isEmpty();
    m_ui->btnEdit->setEnabled(selected);
    m_ui->btnDel->setEnabled(selected);
    m_ui->btnCreate->setEnabled(true);
}

void AclManageWidget::on_btnCreate_clicked() { _edit(tunnel::Acl()); }

void AclManageWidget::on_btnDel_clicked() {
    tunnel::Acl acl;
    if (!_currentAcl(&acl)) return;
    long long const id = acl.id;
    if (!MessageDialog(DialogParent::of(this))
             .question(QStringLiteral("删除访问策略"),
                       QStringLiteral("该访问策略删除后，配置不可恢复。确认删除？")))
        return;
    tunnel::ApiClient* api = m_mainWindow->context()->apiClient();
    QString error;
    if (!cloudCall(
            m_mainWindow, QStringLiteral("正在删除…"), api, [&] { return api->removeAcl(id); }, &error)) {
        DialogParent::warn(this, QStringLiteral("未能删除"), error);
        return;
    }
    // Unlike a save, a deletion is not pushed to the service: it learns of
    // it at its next reload.
    reload();
    // The rows below move up: a selection left in place would offer another
    // policy to the next press of 删除.
    m_ui->tableAcl->clearSelection();
    m_ui->tableAcl->setCurrentItem(nullptr);
    on_tableAcl_itemSelectionChanged();
}

bool AclManageWidget::_currentAcl(tunnel::Acl* acl) const {
    QTableWidget const* table = m_ui->tableAcl;
    int const row = table->currentRow();
    if (row < 0 || row >= m_mainWindow->aclManager()->acls().count()) return false;
    QTableWidgetItem const* item = table->item(row, 0);
    if (!item) return false;
    // The store may have been refreshed elsewhere since the table was
    // filled: the row stands for the policy it shows, wherever that is now.
    return m_mainWindow->aclManager()->find(item->data(kIdRole).toLongLong(), acl);
}

void AclManageWidget::_edit(tunnel::Acl const& acl) {
    AclEditDialog editor(m_mainWindow);
    if (!editor.exec(acl)) return;
    reload();
    m_mainWindow->refreshService();
}
