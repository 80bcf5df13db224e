// The worker of one forward: its own thread and event loop, a relay chosen by
// probing, one tunnel open at a time, reconnects after failures and target
// changes, and the round-trip time, channel count and last error published
// for the status report. Setters and getters may be called from any thread.
#pragma once

#include <atomic>
#include <memory>

#include "gt/core/io/Thread.h"
#include "gt/core/lang/CriticalSection.h"
#include "gt/core/lang/String.h"
#include "gt/core/util/Any.h"
#include "gt/core/util/Array.h"
#include "gt/core/util/Dictionary.h"
#include "gt/net/SocketEventSelector.h"
#include "gt/net/socket/SocketAddress.h"
#include "gt/util/ThreadSafeLogRecorder.h"
#include "tunnel/util/EngineLog.h"
#include "tunnel/util/NatAcl.h"
#include "tunnel/util/TunnelConfig.h"

namespace tunnel {

class Nat {
public:
    // Time between the starts of two connection attempts.
    static constexpr int RETRY_INTERVAL_MS = 3000;
    // Pause while no relay is configured.
    static constexpr int CONFIG_POLL_MS = 100;
    // Pause after a tunnel ended.
    static constexpr int REOPEN_PAUSE_MS = 1000;
    static constexpr int PROBE_TIMEOUT_MS = 5000;

    // Starts the worker thread at once; it waits for settings. log is not
    // owned and must outlive the worker; local is the bind address for relay
    // connections (0.0.0.0:0 for any).
    Nat(long long id, gt::util::ThreadSafeLogRecorder* log, gt::net::SocketAddress const& local);
    Nat(Nat const&) = delete;
    Nat& operator=(Nat const&) = delete;
    // Stops the thread and waits for it: the open tunnel and its local
    // connections are closed before this returns.
    virtual ~Nat();

    // Asks the thread to stop; with wait, returns once it has ended. Sleeps
    // and probes of the worker are cut short.
    void stop(bool wait);

    void setPrimaryServers(gt::core::Array<gt::core::String> const& servers);
    void setStandbyServers(gt::core::Array<gt::core::String> const& servers);
    void setAccessKey(gt::core::String const& key);
    // A change of either closes the open tunnel and opens a new one;
    // unchanged values change nothing.
    void setTarget(gt::core::String const& protocol, gt::core::String const& target);
    // Takes effect on the open tunnel within one step, changed or not.
    void setAcl(gt::core::Dictionary<gt::core::Any> const& acl);

    // Debug lines of the engine (off by default); taken up when the next
    // tunnel opens.
    void setDebugLog(bool on) { m_debugLog = on; }
    long long id() const { return m_id; }
    // Round-trip time to the relay in ms; -1 while unknown.
    int ping() const;
    // Open channels of the tunnel.
    int channels() const;
    // Message of the last tunnel error; empty after a successful open.
    gt::core::String error() const;

private:
    enum Selection { SELECTED, NO_CONFIG, NO_ANSWER };

    void _run();
    Selection _selectServer(TunnelConfig* out);
    gt::core::Array<gt::core::String> _probe(gt::core::Array<gt::core::String> const& servers);
    void _openTunnel(gt::net::SocketEventSelector* selector, TunnelConfig const& config);
    bool _running() const;
    // Sleeps up to ms, less when the thread is asked to stop.
    void _sleep(int ms) const;
    void _loadAcl(NatAcl* out);
    void _setPing(int ms);
    void _setChannels(int n);
    void _setError(gt::core::String const& message);

    long long m_id;
    gt::util::ThreadSafeLogRecorder* m_log;
    gt::net::SocketAddress m_local;
    std::unique_ptr<gt::core::CriticalSection> m_lock;
    gt::core::Thread m_thread;
    gt::core::Array<gt::core::String> m_primary;
    gt::core::Array<gt::core::String> m_standby;
    gt::core::String m_accessKey;
    gt::core::String m_protocol;
    gt::core::String m_target;
    gt::core::Dictionary<gt::core::Any> m_acl;
    std::atomic<bool> m_aclChanged;
    int m_ping;
    int m_channels;
    gt::core::String m_error;
    std::atomic<bool> m_reconnect;
    // The worker thread's last outcome, so that a repeated one is logged once.
    Selection m_lastSelection;
    std::atomic<bool> m_debugLog;
    // The engine's lines on their way to m_log; worker thread only.
    EngineLog m_engineLog;
};

}  // namespace tunnel
