// The context of one run of the service program: the settings store, the
// forward workers, the cloud request stack with the device's API client, and
// the four services that the run loop drives once a second. Members are
// built in declaration order and destroyed in reverse: the signal and status
// services delete their files, the account service logs out through the
// still-living API client, then the request stack goes, then the workers
// stop, and last the settings store.
#pragma once

#include "gt/net/socket/SocketAddress.h"
#include "gt/util/ThreadSafeLogRecorder.h"
#include "svr/DeviceApiClient.h"
#include "svr/IContext.h"
#include "svr/service/AccountService.h"
#include "svr/service/NatUpdateService.h"
#include "svr/service/SignalService.h"
#include "svr/service/StatusService.h"
#include "tunnel/api/ApiAccess.h"
#include "tunnel/api/EncryptedProperties.h"
#include "tunnel/nat/NatManager.h"

namespace tunnel {

class Application : public IContext {
public:
    // log must not be null and must outlive the application.
    explicit Application(gt::util::ThreadSafeLogRecorder* log);
    Application(Application const&) = delete;
    Application& operator=(Application const&) = delete;
    ~Application() override;

    // One cycle: account, forward update, status, signal; then 1000 ms sleep.
    void process();
    bool isExiting() const { return m_exit; }

    gt::util::ILogRecorder* logRecorder() override { return m_log; }
    EncryptedProperties* properties() override { return &m_properties; }
    NatManager* natManager() override { return &m_natManager; }
    DeviceApiClient* apiClient() override { return &m_apiClient; }
    AccountService* accountService() override { return &m_accountService; }
    void exit() override { m_exit = true; }

private:
    // "net.local_ip" of the settings as a bind address (port 0); the
    // none-address when empty or not an address.
    gt::net::SocketAddress _localAddress() const;

    gt::util::ThreadSafeLogRecorder* m_log;
    EncryptedProperties m_properties;
    NatManager m_natManager;
    // The request stack on the device root, every connection (probes too)
    // made from the local bind address.
    ApiAccess m_apiAccess;
    DeviceApiClient m_apiClient;
    AccountService m_accountService;
    NatUpdateService m_natUpdateService;
    StatusService m_statusService;
    SignalService m_signalService;
    bool m_exit;
};

}  // namespace tunnel
