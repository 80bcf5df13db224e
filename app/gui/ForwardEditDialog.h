// The dialog in which the user defines one mapping (forward): its name, the
// region and relay node of its public address, the protocol, the LAN target
// and the bandwidth mode. The mapping page runs it in create mode for a
// device, after the kind wizard, or in edit mode on a mapping's record; it
// returns true only when the cloud created or saved the mapping.
//
// Every cloud call and the LAN probe run behind the main window's busy
// window (cloudCall, executeResult). The form, the kinds' layouts, the loading and the section
// navigation are in ForwardEditDialog.cpp; the checks and the save behind
// the OK button in ForwardEditSave.cpp.
#pragma once

#include <QDialog>
#include <QString>
#include <memory>

#include "gt/core/lang/String.h"
#include "gt/core/util/Array.h"
#include "tunnel/api/user/Forward.h"
#include "tunnel/api/user/Node.h"
#include "tunnel/api/user/QuotaInfo.h"
#include "tunnel/api/user/Region.h"

class IMainWindow;
class SectionNavigator;

namespace Ui {
class ForwardEditDialog;
}

class ForwardEditDialog : public QDialog {
    Q_OBJECT

public:
    // Probe of a LAN target before the save: one attempt within this time.
    static constexpr int CLIENT_PROBE_MS = 1000;
    // Latency test of a relay node: attempts within this time together.
    static constexpr int DELAY_PROBE_MS = 5000;
    static constexpr int DELAY_PROBE_ATTEMPTS = 5;

    // mainWindow: the dialog's parent, through which it reaches the API
    // client and the user settings; not owned, outlives the dialog.
    explicit ForwardEditDialog(IMainWindow* mainWindow);
    ~ForwardEditDialog() override;

    // Create mode: a new mapping of kind (ForwardWizardDialog's codes) on the
    // device. False at once when the dialog is already on screen, or when
    // loading the prefixes, regions or quota failed (after a warning).
    bool execCreate(int kind, long long deviceId);
    // Edit mode on a copy of the record: name, LAN target and bandwidth may
    // change. False as above, or when the dialog was not saved.
    bool execEdit(tunnel::Forward const& forward);

private slots:
    void on_btnClose_clicked();
    void on_btnDelay_clicked();
    void on_comboBoxRegion_currentIndexChanged(int index);
    void on_btnCancel_clicked();
    void on_btnOk_clicked();
    void on_radioBandwidthFixed_toggled(bool checked);
    void on_radioBandwidthFloat_toggled(bool checked);
    void on_spinBoxBandwidthFixed_editingFinished();

private:
    // Layouts of the kinds; each rewrites the same widgets and resets the
    // LAN fields.
    void _setupNativeKind();
    void _setupWebsiteKind(bool ownDomain);
    void _setupProxyKind();
    // The LAN fields as a layout leaves them: 127.0.0.1 and an empty port to
    // fill in, or empty and disabled for the built-in proxy.
    void _setClientFields(bool editable);
    // Checks the first protocol that the region offers; none when it offers
    // neither, so that a save never sends a protocol the region lacks.
    void _chooseProtocol();

    bool _loadPrefixes();
    bool _loadRegions(int kind);
    bool _loadQuota();
    void _updateBandwidthTip();

    void _scrollToClientSection();
    void _scrollToBandwidthSection();

    // The save's probe of the LAN target of a mapping of this computer;
    // true: go on with the save.
    bool _checkClientAddress(gt::core::String const& protocol, gt::core::String const& host, int port);
    // The index into m_nodes named by the current public-address entry; -1
    // when there is no entry or it names no loaded node.
    int _currentNodeIndex() const;
    // The id of this computer ("device.id" of the user settings; 0 when unset).
    long long _localDeviceId() const;
    // Whether the dialog runs in edit mode (no device to create on).
    bool _isEditMode() const { return m_deviceId < 0; }
    void _warning(QString const& title, QString const& text);
    void _information(QString const& title, QString const& text);

    std::unique_ptr<Ui::ForwardEditDialog> m_ui;
    IMainWindow* m_mainWindow;     // not owned; the parent
    SectionNavigator* m_sections;  // child of the scroll area
    tunnel::QuotaInfo m_quota;
    int m_kind;
    long long m_deviceId;
    gt::core::Array<gt::core::String> m_prefixes;
    gt::core::Array<tunnel::Region> m_regions;
    gt::core::Array<tunnel::Node> m_nodes;
    tunnel::Forward m_forward;
};
