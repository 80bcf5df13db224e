// The editor of one access policy: its name, the address filter (none, a
// white list or a black list, one entry a line) and the gateway
// authorisation with its member accounts, in one scrolling column with a
// section bar. It works on a copy of the record and sends the whole policy on
// save: create_acl for a policy not yet created (id -1), modify_acl
// otherwise. It closes only when the cloud accepted; a refusal is shown and
// everything stays as typed.
//
// Both address lists are kept while editing as dynamic properties of the one
// list box (IP_WHITE, IP_BLACK): the box shows the list of the chosen mode,
// the other waits in its property, and WRITING marks the box being filled by
// the code so that the fill itself is not stored.
#pragma once

#include <QDialog>
#include <QString>
#include <memory>

#include "gt/core/lang/String.h"
#include "gt/core/util/Array.h"
#include "tunnel/api/user/Acl.h"

class IMainWindow;

namespace Ui {
class AclEditDialog;
}

class AclEditDialog : public QDialog {
    Q_OBJECT

public:
    // Dynamic properties of the list box.
    static char const* const IP_WHITE;  // "ipWhite"
    static char const* const IP_BLACK;  // "ipBlack"
    static char const* const WRITING;   // "isWritting"
    // What the disabled list box shows while no list is chosen.
    static char16_t const* const IP_HINT;  // "# IP一行一个，支持通配符 *"

    // The indexes of the two combo boxes.
    enum IpFilterMode { IP_DISABLED, IP_WHITE_LIST, IP_BLACK_LIST };
    enum GatewayMode { GATEWAY_DISABLED, GATEWAY_ENABLED };

    // mainWindow is the parent and the way to the cloud; it outlives the
    // dialog.
    explicit AclEditDialog(IMainWindow* mainWindow);
    ~AclEditDialog() override;

    // Edits a copy of acl; true when the cloud created or saved the policy.
    // False at once when the dialog already runs.
    bool exec(tunnel::Acl const& acl);

    // The list box's text as a list: CRs count as line breaks, runs of line
    // breaks as one, then split at each; entries are not trimmed, and a
    // break at the very start or end gives an empty first or last entry.
    static gt::core::Array<gt::core::String> parseList(QString const& text);

    // Keeps the mouse wheel off the combo boxes.
    bool eventFilter(QObject* object, QEvent* event) override;

private slots:
    void _on_scrollBar_valueChanged(int value);
    void on_btnClose_clicked();
    void on_btnCancel_clicked();
    void on_btnSection1_toggled(bool checked);
    void on_btnSection2_toggled(bool checked);
    void on_btnSection3_toggled(bool checked);
    void on_btnOK_clicked();
    void on_comboBoxIpFilter_currentIndexChanged(int index);
    void on_editIp_textChanged();
    void on_btnMember_clicked();
    void on_btnIpTip_clicked();
    void on_comboBoxGateway_activated(int index);

private:
    void _scrollTo(bool checked, QWidget* label);

    std::unique_ptr<Ui::AclEditDialog> m_ui;
    IMainWindow* m_mainWindow;  // not owned; the parent
    bool m_scrolling;
    tunnel::Acl m_acl;
};
