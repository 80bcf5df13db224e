#include "svr/Application.h"

#include "gt/core/io/Thread.h"
#include "gt/core/lang/Fatal.h"
#include "gt/net/socket/IpAddress.h"
#include "svr/SvrConstants.h"
#include "tunnel/Config.h"

using gt::core::String;
using gt::net::SocketAddress;

namespace tunnel {

namespace {

gt::net::URL deviceRoot() { return gt::net::URL(Config::apiUrl() + u"/device"); }

}  // namespace

Application::Application(gt::util::ThreadSafeLogRecorder* log)
    : m_log(log),
      m_properties(SvrConstants::propertiesFile(), SvrConstants::propertiesKey()),
      m_natManager(m_log, _localAddress()),
      m_apiAccess(deviceRoot(), Config::hosts(), Config::encryption(), _localAddress()),
      m_apiClient(&m_apiAccess, deviceRoot(), String()),
      m_accountService(this),
      m_natUpdateService(this),
      m_statusService(this),
      m_signalService(this),
      m_exit(false) {
    GT_ASSERT(m_log);
    String const localIp = m_properties.get(SvrConstants::LOCAL_IP_KEY);
    if (!localIp.isEmpty()) {
        m_log->info(u"[Device] The specific local IP address is enabled. IP: " + localIp);
        if (_localAddress().address().isNone()) {
            m_log->warn(
                u"[Device] The local IP address is no IPv4 address to bind to; connections are not bound: " +
                localIp);
        }
    }
}

Application::~Application() = default;

void Application::process() {
    m_accountService.process();
    m_natUpdateService.process();
    m_statusService.process();
    m_signalService.process();
    gt::core::Thread::sleep(1000);
}

SocketAddress Application::_localAddress() const {
    return SocketAddress(gt::net::IpAddress(m_properties.get(SvrConstants::LOCAL_IP_KEY)), 0);
}

}  // namespace tunnel
