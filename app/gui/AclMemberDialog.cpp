#include "app/gui/AclMemberDialog.h"

#include <QAction>
#include <QCursor>
#include <QMenu>
#include <QTableWidgetItem>

#include "app/RowTexts.h"
#include "app/gui/FramelessWindow.h"
#include "app/gui/GuiUtil.h"
#include "app/gui/InputDialog.h"
#include "app/gui/MessageDialog.h"
#include "app/gui/UiScale.h"
#include "gt/core/util/MD5.h"
#include "tunnel/api/user/Acl.h"
#include "ui_AclMemberDialog.h"

using gt::core::DateTime;
using gt::core::String;

namespace {

QString const kExpiryLabel = QStringLiteral("请输入到期天数（留空则永不到期）：");
QString const kPasswordLabel = QStringLiteral("请输入密码：");

}  // namespace

AclMemberDialog::AclMemberDialog(QWidget* parent)
    : QDialog(parent), m_ui(new Ui::AclMemberDialog), m_menu(new QMenu(this)), m_members(nullptr) {
    m_ui->setupUi(this);
    FramelessWindow::setupDialog(this, parent);

    QTableWidget* table = m_ui->tableMember;
    table->verticalHeader()->setDefaultSectionSize(UiScale::scaled(40));
    table->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    table->setColumnWidth(0, UiScale::scaled(136));
    table->setColumnWidth(1, UiScale::scaled(136));
    table->setColumnWidth(2, UiScale::scaled(128));
    table->setHorizontalHeaderLabels(
        {QStringLiteral("成员账号"), QStringLiteral("到期时间"), QStringLiteral("备注")});

    struct Entry {
        char const* text;
        void (AclMemberDialog::*slot)();
    } const entries[] = {
        {"重设密码", &AclMemberDialog::_on_actEditPwd_triggered},
        {"到期时间", &AclMemberDialog::_on_actEditExpire_triggered},
        {"备注", &AclMemberDialog::_on_actEditRemark_triggered},
        {"删除", &AclMemberDialog::_on_actDel_triggered},
    };
    for (Entry const& entry : entries) {
        QAction* action = new QAction(QString::fromUtf8(entry.text), this);
        connect(action, &QAction::triggered, this, entry.slot);
        m_menu->addAction(action);
    }
    FramelessWindow::setupMenu(m_menu);

    on_tableMember_itemSelectionChanged();
}

AclMemberDialog::~AclMemberDialog() = default;

void AclMemberDialog::exec(gt::core::Array<tunnel::AclMember>* members) {
    if (isVisible() || !members) return;
    m_members = members;
    _fillTable();
    m_ui->labelTip->hide();
    QDialog::exec();
    m_members = nullptr;
}

QString AclMemberDialog::expiryText(tunnel::AclMember const& member, DateTime now) {
    return toQString(tunnel::RowTexts::memberExpiry(member, now));
}

DateTime AclMemberDialog::expiryFromDays(String const& answer, DateTime now) {
    int const days = answer.toInt();
    if (days < 1 || days > MAX_DAYS) return DateTime(0);
    return DateTime(now.date().seconds() + (days + 1) * SECONDS_PER_DAY);
}

String AclMemberDialog::passwordDigest(QString const& password) {
    return gt::core::md5Hex(fromQString(password).toBinary());
}

void AclMemberDialog::on_btnClose_clicked() { close(); }

void AclMemberDialog::on_btnCancel_clicked() { close(); }

void AclMemberDialog::on_btnAdd_clicked() {
    if (!m_members) return;
    QString const title = QStringLiteral("添加成员");
    String name;
    for (;;) {
        QString typed;
        if (!_askText(title, QStringLiteral("新账号（字母与数字，长度4至24位）："), &typed)) return;
        typed = typed.trimmed();
        QString problem;
        if (typed.length() < MIN_NAME_LENGTH || typed.length() > MAX_NAME_LENGTH) {
            problem = QStringLiteral("请输入有效的账号格式");
        } else {
            name = fromQString(typed);
            String const folded = name.toLower();
            for (tunnel::AclMember const& member : *m_members) {
                if (member.name.toLower() == folded) {
                    problem = QStringLiteral("账号已存在");
                    break;
                }
            }
        }
        if (problem.isEmpty()) break;
        MessageDialog(this).information(title, problem);
        // A nested loop ran: the list may be gone with the dialog's run.
        if (!m_members) return;
    }
    QString password;
    if (!_askPassword(QStringLiteral("密码"), title, &password)) return;
    QString days;
    if (!_askText(QStringLiteral("到期时间"), kExpiryLabel, &days)) return;
    if (!m_members) return;

    tunnel::AclMember member;
    member.name = name;
    member.pwd = passwordDigest(password);
    member.state = tunnel::Acl::ENABLED;
    member.expire_time = expiryFromDays(fromQString(days), DateTime::now());
    m_members->add(member);
    _fillTable();
}

void AclMemberDialog::on_btnDel_clicked() {
    int const row = _currentMember();
    if (row < 0) return;
    if (!MessageDialog(this).question(QStringLiteral("删除成员"),
                                      QStringLiteral("成员删除后，将在策略保存时生效。确认删除？\r\n")))
        return;
    if (_currentMember() != row) return;
    // Members after it move up and keep their order.
    m_members->remove(row, 1);
    _fillTable();
}

void AclMemberDialog::on_tableMember_itemSelectionChanged() {
    m_ui->btnDel->setVisible(!m_ui->tableMember->selectedItems().isEmpty());
}

void AclMemberDialog::_on_actEditPwd_triggered() {
    int const row = _currentMember();
    if (row < 0) return;
    QString password;
    QString const title = QStringLiteral("重设密码");
    if (!_askPassword(title, title, &password) || _currentMember() != row) return;
    (*m_members)[row].pwd = passwordDigest(password);
    _fillTable();
}

void AclMemberDialog::_on_actEditExpire_triggered() {
    int const row = _currentMember();
    if (row < 0) return;
    QString days;
    if (!_askText(QStringLiteral("到期时间"), kExpiryLabel, &days) || _currentMember() != row) return;
    (*m_members)[row].expire_time = expiryFromDays(fromQString(days), DateTime::now());
    _fillTable();
}

void AclMemberDialog::_on_actEditRemark_triggered() {
    int const row = _currentMember();
    if (row < 0) return;
    QString remark;
    if (!_askText(QStringLiteral("备注"), QStringLiteral("请输入备注："), &remark) || _currentMember() != row)
        return;
    (*m_members)[row].remark = fromQString(remark);
    _fillTable();
}

void AclMemberDialog::_on_actDel_triggered() { on_btnDel_clicked(); }

void AclMemberDialog::on_tableMember_customContextMenuRequested(QPoint const&) {
    if (_currentMember() < 0) return;
    m_menu->popup(QCursor::pos());
}

void AclMemberDialog::on_tableMember_itemActivated(QTableWidgetItem*) { _on_actEditExpire_triggered(); }

void AclMemberDialog::_fillTable() {
    if (!m_members) return;
    QTableWidget* table = m_ui->tableMember;
    DateTime const now = DateTime::now();
    table->setRowCount(m_members->count());
    for (int row = 0; row < m_members->count(); ++row) {
        tunnel::AclMember const& member = (*m_members)[row];
        table->setItem(row, 0, new QTableWidgetItem(toQString(member.name)));
        table->setItem(row, 1, new QTableWidgetItem(expiryText(member, now)));
        table->setItem(row, 2, new QTableWidgetItem(toQString(member.remark)));
    }
    m_ui->labelTip->show();
}

int AclMemberDialog::_currentMember() const {
    int const row = m_ui->tableMember->currentRow();
    if (!m_members || row < 0 || row >= m_members->count()) return -1;
    return row;
}

bool AclMemberDialog::_askText(QString const& title, QString const& label, QString* text, bool masked) {
    InputDialog input(this);
    if (!input.getText(title, label, QString(), Qt::AlignLeft,
                       masked ? QLineEdit::Password : QLineEdit::Normal))
        return false;
    *text = input.text();
    return true;
}

bool AclMemberDialog::_askPassword(QString const& title, QString const& noticeTitle, QString* password) {
    for (;;) {
        if (!_askText(title, kPasswordLabel, password, true)) return false;
        if (!password->isEmpty()) return true;
        MessageDialog(this).information(noticeTitle, QStringLiteral("请输入密码"));
    }
}
