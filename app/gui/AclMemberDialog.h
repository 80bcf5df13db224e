// The gateway member accounts of one access policy: a table of name, expiry
// and remark with adding, deleting and a context menu to reset a password,
// change the expiry or the remark. It edits the policy editor's own copy of
// the member list in place; nothing goes to the cloud from here, the editor
// sends the list when the policy is saved.
#pragma once

#include <QDialog>
#include <memory>

#include "gt/core/lang/String.h"
#include "gt/core/util/Array.h"
#include "gt/core/util/DateTime.h"
#include "tunnel/api/user/AclMember.h"

class QMenu;
class QPoint;
class QTableWidgetItem;

namespace Ui {
class AclMemberDialog;
}

class AclMemberDialog : public QDialog {
    Q_OBJECT

public:
    // Account names are 4 to 24 characters once trimmed.
    static constexpr int MIN_NAME_LENGTH = 4;
    static constexpr int MAX_NAME_LENGTH = 24;
    // The longest expiry that can be asked for, in days.
    static constexpr int MAX_DAYS = 999;
    static constexpr long long SECONDS_PER_DAY = 86400;

    // parent: the policy editor; the dialog is centred over it.
    explicit AclMemberDialog(QWidget* parent);
    ~AclMemberDialog() override;

    // Edits members in place until the dialog is closed. Nothing when members
    // is null or the dialog already runs.
    void exec(gt::core::Array<tunnel::AclMember>* members);

    // The expiry column: "停用" for a disabled account, "永不过期" for
    // expire_time 0, else the local date and " 已到期" or " N天" (whole days
    // left, cut toward zero).
    static QString expiryText(tunnel::AclMember const& member, gt::core::DateTime now);
    // The answer to "请输入到期天数": 1 to MAX_DAYS days give local midnight of
    // today plus days + 1 days; anything else (blank, 0, negative, too many,
    // no number) gives 0, never.
    static gt::core::DateTime expiryFromDays(gt::core::String const& answer, gt::core::DateTime now);
    // A password as the cloud keeps it: MD5 of its UTF-8 bytes, 32 lower-case
    // hex digits.
    static gt::core::String passwordDigest(QString const& password);

private slots:
    void on_btnClose_clicked();
    void on_btnCancel_clicked();
    void on_btnAdd_clicked();
    void on_btnDel_clicked();
    void on_tableMember_itemSelectionChanged();
    void _on_actEditPwd_triggered();
    void _on_actEditExpire_triggered();
    void _on_actEditRemark_triggered();
    void _on_actDel_triggered();
    void on_tableMember_customContextMenuRequested(QPoint const& pos);
    void on_tableMember_itemActivated(QTableWidgetItem* item);

private:
    void _fillTable();
    // The current row when it is a member of the list being edited, else -1.
    int _currentMember() const;
    // Asks title's question (label) until a text is given; false when
    // cancelled. masked hides what is typed.
    bool _askText(QString const& title, QString const& label, QString* text, bool masked = false);
    // Asks for a password under title, masked, until one is given (an empty
    // one gets the "请输入密码" notice under noticeTitle); false when cancelled.
    bool _askPassword(QString const& title, QString const& noticeTitle, QString* password);

    std::unique_ptr<Ui::AclMemberDialog> m_ui;
    QMenu* m_menu;                                  // child of the dialog
    gt::core::Array<tunnel::AclMember>* m_members;  // not owned; set only while exec runs
};
