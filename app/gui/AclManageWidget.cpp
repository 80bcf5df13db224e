#include "app/gui/AclManageWidget.h"

#include <QApplication>
#include <QPropertyAnimation>
#include <QTableWidgetItem>

#include "app/gui/AclEditDialog.h"
#include "app/gui/GuiUtil.h"
#include "app/gui/MainWindow.h"
#include "app/gui/MessageDialog.h"
#include "app/gui/UiScale.h"
#include "tunnel/api/ApiClient.h"
#include "ui_AclManageWidget.h"

namespace {

constexpr char16_t kEnabled[] = u"enabled";
constexpr char16_t kEnabledWhite[] = u"enabled_white";
constexpr char16_t kEnabledBlack[] = u"enabled_black";

// Each row's first cell carries the id of its policy.
constexpr int kIdRole = Qt::UserRole;

}  // namespace

AclManageWidget::AclManageWidget(QWidget* parent, MainWindow* mainWindow)
    : QWidget(parent), m_ui(new Ui::AclManageWidget), m_mainWindow(mainWindow) {
    m_ui->setupUi(this);
    hide();
    m_animation.reset(new QPropertyAnimation(this, "pos"));
    m_animation->setStartValue(QPoint(0, height()));
    m_animation->setEndValue(QPoint(0, 0));
    m_animation->setDuration(SLIDE_MS);
    connect(m_animation.get(), &QPropertyAnimation::finished, this, &AclManageWidget::_on_animation_finished);

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

AclManageWidget::~AclManageWidget() { m_animation.reset(); }

bool AclManageWidget::showPage() {
    // The page's own height: the window may have been scaled since.
    m_animation->stop();
    m_animation->setStartValue(QPoint(0, height()));
    m_animation->setDirection(QAbstractAnimation::Forward);
    m_animation->start();
    show();
    raise();
    return reload();
}

void AclManageWidget::closePage() {
    m_animation->stop();
    m_animation->setDirection(QAbstractAnimation::Backward);
    m_animation->start();
    m_ui->tableAcl->setCurrentItem(nullptr);
}

void AclManageWidget::_on_animation_finished() {
    if (m_animation->direction() == QAbstractAnimation::Backward) hide();
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
    if (acl.ip_filter == kEnabledWhite)
        return QStringLiteral("白名单 ") + QString::number(acl.white.count()) + QStringLiteral(" 条");
    if (acl.ip_filter == kEnabledBlack)
        return QStringLiteral("黑名单 ") + QString::number(acl.black.count()) + QStringLiteral(" 条");
    return QStringLiteral("不限制");
}

QString AclManageWidget::gatewayText(tunnel::Acl const& acl) {
    if (acl.gateway == kEnabled)
        return QStringLiteral("成员 ") + QString::number(acl.members.count()) + QStringLiteral(" 个");
    return QStringLiteral("不使用");
}

QString AclManageWidget::forwardsText(tunnel::Acl const& acl) {
    if (acl.forwards >= 1)
        return QStringLiteral("映射 ") + QString::number(acl.forwards) + QStringLiteral(" 条");
    return QStringLiteral("无");
}

void AclManageWidget::on_btnMin_clicked() { m_mainWindow->showMinimized(); }

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
    if (!MessageDialog(QApplication::activeWindow())
             .question(QStringLiteral("删除访问策略"),
                       QStringLiteral("该访问策略删除后，配置不可恢复。确认删除？")))
        return;
    tunnel::ApiClient* api = m_mainWindow->context()->apiClient();
    if (!api->removeAcl(id)) {
        MessageDialog(QApplication::activeWindow())
            .warning(QStringLiteral("未能删除"), toQString(api->errorMessage()));
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
    m_mainWindow->svrControl()->sendRefresh();
}
