#include "tunnel/nat/Nat.h"

#include "gt/core/lang/Integer.h"
#include "gt/core/lang/LockGuard.h"
#include "gt/core/lang/Random.h"
#include "gt/core/lang/SystemError.h"
#include "gt/core/util/Timer.h"
#include "gt/net/SocketEventSelector.h"
#include "tunnel/NatTunnel.h"
#include "tunnel/nat/Detector.h"

using gt::core::Array;
using gt::core::LockGuard;
using gt::core::String;

namespace tunnel {

namespace {
// Longest single sleep of the worker between looks at a stop request.
constexpr int kSleepSliceMs = 10;
}  // namespace

Nat::Nat(long long id, gt::util::ThreadSafeLogRecorder* log, gt::net::SocketAddress const& local)
    : m_id(id),
      m_log(log),
      m_local(local),
      m_lock(std::make_unique<gt::core::CriticalSection>()),
      m_aclChanged(false),
      m_ping(-1),
      m_channels(0),
      m_reconnect(false),
      m_lastSelection(SELECTED),
      m_debugLog(false),
      m_engineLog(log) {
    m_thread.start([this]() { _run(); });
}

Nat::~Nat() { m_thread.stop(-1); }

void Nat::stop(bool wait) { m_thread.stop(wait ? -1 : 0); }

void Nat::setPrimaryServers(Array<String> const& servers) {
    LockGuard guard(m_lock.get());
    m_primary = servers;
}

void Nat::setStandbyServers(Array<String> const& servers) {
    LockGuard guard(m_lock.get());
    m_standby = servers;
}

void Nat::setAccessKey(String const& key) {
    LockGuard guard(m_lock.get());
    m_accessKey = key;
}

void Nat::setTarget(String const& protocol, String const& target) {
    LockGuard guard(m_lock.get());
    if (protocol == m_protocol && target == m_target) return;
    m_protocol = protocol;
    m_target = target;
    m_reconnect = true;
}

void Nat::setAcl(gt::core::Dictionary<gt::core::Any> const& acl) {
    LockGuard guard(m_lock.get());
    m_acl = acl;
    m_aclChanged = true;
}

int Nat::ping() const {
    LockGuard guard(m_lock.get());
    return m_ping;
}

int Nat::channels() const {
    LockGuard guard(m_lock.get());
    return m_channels;
}

String Nat::error() const {
    LockGuard guard(m_lock.get());
    return m_error;
}

void Nat::_setPing(int ms) {
    LockGuard guard(m_lock.get());
    m_ping = ms;
}

void Nat::_setChannels(int n) {
    LockGuard guard(m_lock.get());
    m_channels = n;
}

void Nat::_setError(String const& message) {
    LockGuard guard(m_lock.get());
    m_error = message;
}

void Nat::_loadAcl(NatAcl* out) {
    gt::core::Dictionary<gt::core::Any> copy;
    {
        LockGuard guard(m_lock.get());
        copy = m_acl;
    }
    *out = NatAcl::parse(copy);
}

bool Nat::_running() const { return m_thread.state() == gt::core::Thread::State::RUNNING; }

void Nat::_sleep(int ms) const {
    gt::core::Timer timer(ms);
    while (_running() && !timer.isExpired()) {
        int const left = timer.remaining();
        gt::core::Thread::sleep(left < kSleepSliceMs ? left : kSleepSliceMs);
    }
}

Array<String> Nat::_probe(Array<String> const& servers) {
    Detector detector(PROBE_TIMEOUT_MS);
    detector.setLog(&m_engineLog);
    Array<String> const answers = detector.detect(servers, m_local, [this]() { return !_running(); });
    // Probes that fail for a local reason (no descriptors left, no route)
    // say so, or the log would only call every relay server invalid.
    if (answers.isEmpty() && detector.lastError() != 0) {
        m_engineLog.warn(u"[Tunnel] Relay probe failed: " + gt::core::systemErrorText(detector.lastError()));
    }
    return answers;
}

Nat::Selection Nat::_selectServer(TunnelConfig* out) {
    Array<String> primary, standby;
    {
        LockGuard guard(m_lock.get());
        primary = m_primary;
        standby = m_standby;
        out->accessKey = m_accessKey;
        out->protocol = m_protocol;
        out->target = m_target;
        // The snapshot holds the target in force: a change made before it
        // needs no reconnect, one made after it raises the flag again.
        m_reconnect = false;
    }
    if (primary.isEmpty() && standby.isEmpty()) {
        if (m_lastSelection != NO_CONFIG) m_log->info(u"[Tunnel] Waiting config... ");
        return NO_CONFIG;
    }
    Array<String> answers = _probe(primary);
    if (answers.isEmpty() && _running()) {
        Array<String> const standbyAnswers = _probe(standby);
        if (standbyAnswers.isEmpty()) {
            m_log->warn(u"[Tunnel] All the primary/standby servers are invalid. ");
            return NO_ANSWER;
        }
        if (_running()) answers = _probe(primary);
        if (answers.isEmpty()) {
            m_log->warn(u"[Tunnel] All the primary servers are invalid. Try to use the standby servers.");
            answers = standbyAnswers;
        }
    }
    if (answers.isEmpty() || !_running()) return NO_ANSWER;
    out->server = answers[gt::core::Random().nextInt(answers.count())];
    return SELECTED;
}

void Nat::_openTunnel(gt::net::SocketEventSelector* selector, TunnelConfig const& config) {
    NatAcl acl;
    _loadAcl(&acl);
    String const description = config.protocol + u"://" + config.target + u" @ tunnel://" + config.server;
    m_engineLog.setDebug(m_debugLog);
    NatTunnel tunnel(selector, config, &acl, m_local, &m_engineLog);
    tunnel.onConnected = [this, description]() {
        _setError(String());
        m_log->info(u"[Tunnel] Tunnel opened. (" + description + u")");
    };
    tunnel.onError = [this, description](Error const& error) {
        _setError(error.message);
        m_log->info(u"[Tunnel] Failed to open tunnel: " + gt::core::Integer(error.code).toString() + u"-" +
                    error.message + u" (" + description + u")");
    };
    tunnel.onDropped = [this, description](Error const& error) {
        _setError(error.message);
        m_log->warn(u"[Tunnel] Dropping tunnel: " + error.message + u" (" + description + u")");
    };
    tunnel.onClosed = [this, description]() {
        m_log->info(u"[Tunnel] Tunnel closed. (" + description + u")");
    };
    m_log->info(u"[Tunnel] Tunnel opening... (" + description + u")");
    tunnel.start();

    bool closing = false;
    while (tunnel.isAlive()) {
        selector->poll(100);
        tunnel.process();
        m_engineLog.tick();
        _setPing(static_cast<int>(tunnel.averagePing()));
        _setChannels(tunnel.channelCount());
        if (m_aclChanged.exchange(false)) {
            _loadAcl(&acl);
            tunnel.onAclChanged();
        }
        if (closing) continue;
        if (!_running()) {
            tunnel.close();
            closing = true;
        } else if (m_reconnect.exchange(false)) {
            m_log->info(u"DEBUG: DISCONNNECT!");
            tunnel.close();
            closing = true;
        }
    }
    if (_running()) _sleep(REOPEN_PAUSE_MS);
    // The tunnel goes here: it closes every local connection.
}

void Nat::_run() {
    gt::core::Timer retry(RETRY_INTERVAL_MS);
    retry.advance(retry.remaining());
    gt::net::SocketEventSelector selector(1000);
    while (_running()) {
        _sleep(retry.remaining());
        if (!_running()) break;
        retry.reset();
        m_reconnect = false;

        TunnelConfig config;
        Selection const selection = _selectServer(&config);
        m_lastSelection = selection;
        if (selection == NO_CONFIG) {
            // Nothing to probe: look again soon, without waiting the retry interval.
            retry.advance(retry.remaining());
            _sleep(CONFIG_POLL_MS);
            continue;
        }
        // After failed probes the next cycle waits the rest of the retry interval.
        if (selection != SELECTED) continue;
        _openTunnel(&selector, config);
    }
    _setPing(-1);
    _setChannels(0);
    _setError(String());
}

}  // namespace tunnel
