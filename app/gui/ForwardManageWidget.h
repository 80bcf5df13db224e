// The mapping page of the main window ("内网映射"): the forwards of one device
// of the account, chosen at the top right, with adding, editing and deleting,
// and a context menu to copy the public address, show the CNAME instructions
// of an own domain, move a mapping to another device or load an access policy
// onto it. For this computer's forwards the two right-hand columns show the
// service's live state (updateStatus).
//
// Every cloud call runs behind the busy window (cloudCall); after a successful
// create, edit, move or policy change the page reloads and asks the running
// service to refresh. The page lies over the main window's body and slides
// in and out; it is no window of its own.
#pragma once

#include <QString>
#include <QWidget>
#include <memory>

#include "gt/core/lang/String.h"
#include "gt/core/util/Any.h"
#include "gt/core/util/Array.h"
#include "gt/core/util/Dictionary.h"
#include "tunnel/api/user/Forward.h"

class IMainWindow;
class QAction;
class QMenu;
class PageSlide;
class QTableWidgetItem;

namespace Ui {
class ForwardManageWidget;
}

class ForwardManageWidget : public QWidget {
    Q_OBJECT

public:
    // Columns of the table.
    enum Column { COLUMN_LABEL, COLUMN_CLIENT, COLUMN_PUBLIC, COLUMN_PING, COLUMN_CHANNELS, COLUMN_COUNT };
    // Example host names under the cloud's mapping domain, shown when a
    // prefix is registered.
    static char const* const PORT_EXAMPLE_DOMAIN;
    static char const* const WEBSITE_EXAMPLE_DOMAIN;

    // parent: the main window's body; mainWindow is not owned and outlives
    // the page. The page starts hidden.
    ForwardManageWidget(QWidget* parent, IMainWindow* mainWindow);
    ~ForwardManageWidget() override;

    void showPage();
    void closePage();
    // The account's devices again through the main window, then the table.
    void refreshDevices();
    // The forwards of the selected device from the cloud.
    void reload();
    // Whether the selected device is this computer ("device.id").
    bool isLocalDevice() const;
    // The "forwards" array of the service's status report into the status
    // columns of this computer's rows.
    void updateStatus(gt::core::Array<gt::core::Any> const& forwards);
    // Makes sure the account owns a domain prefix, registering one with the
    // user when it has none; false when none was had or made.
    bool requirePrefix();

    // What the page has loaded: row i of the table shows forwards()[i].
    gt::core::Array<tunnel::Forward> const& forwards() const { return m_forwards; }
    // The public address of a forward: a URL for websites, host and port else.
    static QString publicAddress(tunnel::Forward const& forward);

signals:
    // The user asked to minimise the window.
    void minimizeRequested();
    // The page shows this computer's forwards again: it wants the service's
    // status report now rather than at the window's next status read.
    void statusWanted();

private slots:
    void _on_actCopy_triggered();
    void _on_actCName_triggered();
    void _on_actEdit_triggered();
    void _on_actMove_triggered();
    void _on_actAcl_triggered();
    void _on_actDel_triggered();
    void on_btnMin_clicked();
    void on_btnClose_clicked();
    void on_btnCreate_clicked();
    void on_btnEdit_clicked();
    void on_comboBoxInstance_currentIndexChanged(int index);
    void on_btnDel_clicked();
    void on_tableForward_itemActivated(QTableWidgetItem* item);
    void on_tableForward_itemSelectionChanged();
    void on_tableForward_customContextMenuRequested(QPoint const& pos);

private:
    // The index of the current row into m_forwards; -1 when none.
    int _currentRow() const;
    // Whether the device list names a stored device.
    bool _hasDevice() const;
    void _edit();
    void _delete();
    // modify_forward with fields, then as _modified; a failure warns.
    void _modify(long long id, gt::core::Dictionary<gt::core::Any> const& fields);
    // After a change the cloud accepted: the table again, and the service
    // is asked to refresh.
    void _modified();
    void _warning(QString const& title, QString const& error);
    QAction* _addAction(char const* name, QString const& text, void (ForwardManageWidget::*slot)());

    std::unique_ptr<Ui::ForwardManageWidget> m_ui;
    IMainWindow* m_mainWindow;  // not owned
    std::unique_ptr<PageSlide> m_slide;
    QMenu* m_menu;        // child of the page
    QAction* m_actCName;  // child of the page; shown for rows with an own domain
    gt::core::Array<tunnel::Forward> m_forwards;
};
