// One open tunnel of one forward to one relay server: the relay connection,
// the tunnel datagrams on it, the forwarder behind it and the round-trip time
// measured with a "ping" every 30 s. A "tunnel_create" or "ping" that gets
// no reply within the rpc deadline drops the relay connection.
#pragma once

#include <functional>
#include <memory>

#include "gt/core/lang/Binary.h"
#include "gt/core/lang/String.h"
#include "gt/core/util/Timer.h"
#include "gt/net/SocketEventSelector.h"
#include "gt/net/socket/SocketAddress.h"
#include "tunnel/client/Error.h"
#include "tunnel/client/TunnelDataClient.h"
#include "tunnel/forward/IActionDown.h"
#include "tunnel/util/EngineLog.h"
#include "tunnel/util/NatAcl.h"
#include "tunnel/util/TunnelConfig.h"

namespace tunnel {

inline namespace engine {
class Forward;  // tunnel/forward/Forward.h
}

class NatTunnel : public IActionDown {
public:
    static constexpr int PING_INTERVAL_MS = 30000;
    // Most payload bytes of one DATA datagram toward the relay: with the
    // frame's size field, version, kind and DATA header a frame stays below
    // 64 KiB.
    static constexpr int RELAY_PAYLOAD = 65536 - 4 - 2 - 5 - 1;
    // Back-pressure on the relay connection, whatever credit the relay
    // grants: above HIGH_WATER queued bytes every local connection of the
    // tunnel stops reading, below LOW_WATER they read again; DATA that
    // would take the queue past DATA_QUEUE_LIMIT is not queued and its
    // channel ends with SHUTDOWN (the room above it is kept for WINDOW,
    // SHUTDOWN and rpc frames).
    static constexpr int HIGH_WATER = 1024 * 1024;
    static constexpr int LOW_WATER = 256 * 1024;
    static constexpr int DATA_QUEUE_LIMIT = ProtocolClient::SEND_QUEUE_LIMIT - 64 * 1024;

    // Starts connecting at once. selector and acl are not owned and must
    // outlive the tunnel; bind is the local address for the relay connection.
    // log (not owned, may be null) takes every line of the tunnel, its
    // forwarder and their clients.
    NatTunnel(gt::net::SocketEventSelector* selector, TunnelConfig const& config, NatAcl* acl,
              gt::net::SocketAddress const& bind, EngineLog* log = nullptr);
    NatTunnel(NatTunnel const&) = delete;
    NatTunnel& operator=(NatTunnel const&) = delete;
    // Closes every local connection first, then the relay connection; calls
    // nothing back.
    ~NatTunnel() override;

    // Reports through onError a relay connect that failed while the tunnel
    // was being built, before the owner could set the callbacks.
    void start();
    // One step: the forwarder's step and the periodic ping.
    void process();
    bool isAlive() const;
    // Closes the relay connection; onClosed or onError follows.
    void close();
    // The access policy was changed.
    void onAclChanged();
    // Average round-trip time in ms; -1 while unknown.
    double averagePing() const { return m_averagePing; }
    int channelCount() const;
    // Bytes queued for the relay and not yet written.
    int relayQueueLength() const { return m_client.sendQueueLength(); }

    // IActionDown: datagrams to the relay. DATA that cannot be queued ends
    // its channel (see DATA_QUEUE_LIMIT); bytes are never skipped.
    void send(short channelId, gt::core::Binary const& data) override;
    void window(short channelId, int credit) override;
    void shutdown(short channelId) override;

    // Decodes one datagram from the relay and hands it to the forwarder.
    void _onTunnelRecv(gt::core::Binary& datagram);
    // The same for a datagram read in place from the relay connection.
    void _onTunnelBytes(char const* datagram, int length);

    // The tunnel was created.
    std::function<void()> onConnected;
    // It could not be created (code -1 and an empty text for connection failures).
    std::function<void(Error const&)> onError;
    // A created tunnel closed.
    std::function<void()> onClosed;
    // A created tunnel is being dropped for the reason given (a reply that
    // did not come in time); onClosed follows.
    std::function<void(Error const&)> onDropped;

    // The average after one more sample: a faster sample replaces it, a
    // slower one raises it by a fifth of the difference.
    static double nextAverage(double average, int rtt);

private:
    void _ping();
    void _debug(gt::core::String const& message) const {
        if (m_log) m_log->debug(message);
    }
    // Drops the relay connection when an rpc reply is overdue; true then.
    bool _dropLateReply();
    // Restarts reading once the relay queue has drained below LOW_WATER.
    void _onRelaySent();

    gt::net::SocketEventSelector* m_selector;
    gt::core::String m_server;
    gt::core::String m_accessKey;
    gt::core::String m_protocol;
    gt::core::String m_target;
    NatAcl* m_acl;
    TunnelDataClient m_client;
    std::unique_ptr<Forward> m_forward;
    gt::core::Timer m_pingTimer;
    EngineLog* m_log;
    double m_averagePing;
    bool m_dropping;
};

}  // namespace tunnel
