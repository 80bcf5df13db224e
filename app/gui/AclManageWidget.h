// The access-policy page of the main window: a table of the account's
// policies (name, address filter, gateway authorisation, how many mappings
// load it) with adding and editing through the policy editor and deleting.
// It lies over the main window's body and slides in from below; every show
// and every successful change refetch the whole list, the table never edits
// rows in place. Which mapping loads which policy is chosen on the forward
// pages.
#pragma once

#include <QString>
#include <QWidget>
#include <memory>

#include "tunnel/api/user/Acl.h"

class IMainWindow;
class QPropertyAnimation;
class QTableWidgetItem;

namespace Ui {
class AclManageWidget;
}

class AclManageWidget : public QWidget {
    Q_OBJECT

public:
    // How long the page takes to slide in or out.
    static constexpr int SLIDE_MS = 100;

    // parent: the main window's body; mainWindow is not owned and outlives
    // the page. The page starts hidden.
    AclManageWidget(QWidget* parent, IMainWindow* mainWindow);
    ~AclManageWidget() override;

    // Slides the page in and reloads it; the result of reload().
    bool showPage();
    // Slides the page out; it hides when the slide ends.
    void closePage();
    // Refetches the policies through the main window's refresh (which warns
    // on failure) and refills the table; a failure keeps the rows.
    bool reload();

    // The cells of the address-filter, gateway and load columns.
    static QString ipFilterText(tunnel::Acl const& acl);
    static QString gatewayText(tunnel::Acl const& acl);
    static QString forwardsText(tunnel::Acl const& acl);

signals:
    // The user asked to minimise the window.
    void minimizeRequested();

private slots:
    void on_btnMin_clicked();
    void on_btnClose_clicked();
    void on_btnEdit_clicked();
    void _on_animation_finished();
    void on_btnDel_clicked();
    void on_tableAcl_itemActivated(QTableWidgetItem* item);
    void on_tableAcl_itemSelectionChanged();
    void on_btnCreate_clicked();

private:
    // The policy of the table's current row as the store holds it now,
    // found by the id the row shows; false when there is none.
    bool _currentAcl(tunnel::Acl* acl) const;
    // Runs the editor on acl; after a save the list is reloaded and the
    // service told to reload.
    void _edit(tunnel::Acl const& acl);

    std::unique_ptr<Ui::AclManageWidget> m_ui;
    IMainWindow* m_mainWindow;                        // not owned
    std::unique_ptr<QPropertyAnimation> m_animation;  // goes before the form
};
