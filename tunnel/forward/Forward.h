// The tunnel-to-local side of one tunnel (the service's forwarder): one
// forward client per channel, the access policy's IP filter on every new
// public connection, the local source address of each local connection, and
// the clients' events turned back into datagrams.
#pragma once

#include "gt/core/lang/String.h"
#include "gt/core/util/Timer.h"
#include "gt/net/SocketEventSelector.h"
#include "gt/net/socket/SocketAddress.h"
#include "tunnel/forward/ForwardClientManager.h"
#include "tunnel/forward/IActionDown.h"
#include "tunnel/forward/IActionUp.h"
#include "tunnel/util/EngineLog.h"
#include "tunnel/util/NatAcl.h"

namespace tunnel {

// The desktop client's record of a mapping is a tunnel::Forward too
// (tunnel/api/user/Forward.h). Both keep that spelling; the inline namespace
// gives this one the linker name tunnel::engine::Forward, so the two never
// share a symbol. Declare it ahead only as below, never as a bare
// "class Forward;" in namespace tunnel.
inline namespace engine {

class Forward : public IActionUp {
public:
    // Most channels one tunnel keeps open; further CONNECTs are refused so
    // that a flood of them cannot use up the process's descriptors and
    // memory. An idle channel holds its descriptor and about 1 KiB (no
    // buffers of its own); a busy one at most what its credit lets the
    // relay send ahead.
    static constexpr int MAX_CHANNELS = 10240;
    static constexpr int CLEANUP_INTERVAL_MS = 1000;
    // Most channels of one public address that may wait for their gateway
    // login at a time; further CONNECTs from it are refused.
    static constexpr int MAX_LOGINS_PER_PEER = 8;

    // tunnel, selector and acl are not owned. target is "host:port"; the host
    // "loopback" makes every local connection come from 127.a.b.c for the
    // public peer a.b.c.d.
    // log (not owned, may be null) takes the forwarder's and its clients' lines.
    Forward(IActionDown* tunnel, gt::net::SocketEventSelector* selector, NatAcl* acl,
            gt::core::String const& protocol, gt::core::String const& target, EngineLog* log = nullptr);
    Forward(Forward const&) = delete;
    Forward& operator=(Forward const&) = delete;
    // Closes every local connection; sends nothing.
    ~Forward() override;

    void connect(short channelId, gt::net::SocketAddress const& peer) override;
    void send(short channelId, gt::core::Binary& data) override;
    void sendBytes(short channelId, char const* data, int length) override;
    void window(short channelId, int credit) override;
    void shutdown(short channelId) override;
    void process() override;
    // Channels in the map, closed ones awaiting the clean-up included.
    int channelCount() const override { return m_clients.count(); }
    void onAclChanged() override;
    // Stops or restarts reading every local connection, those opened later
    // included (back-pressure from the relay connection).
    void setReadPaused(bool paused);
    bool isReadPaused() const { return m_readPaused; }
    // Ends the channel at once; SHUTDOWN follows.
    void abort(short channelId);

    ForwardClientManager const& clients() const { return m_clients; }
    // Lowers or raises the channel cap (MAX_CHANNELS by default).
    void setMaxChannels(int n) { m_maxChannels = n; }

    // The local source address for a connection of peer to target: for the
    // host "loopback" (any case) 127.p0.p1.p2 with a port whose low byte is
    // p3 (and never below 1024); otherwise any address, any port.
    static gt::net::SocketAddress sourceAddress(gt::core::String const& target,
                                                gt::net::SocketAddress const& peer);

private:
    // Channels of the peer address still waiting for their login.
    int _loginsOf(gt::net::IpAddress const& peer) const;
    // Closes and removes the channel that has waited longest for its login;
    // false when none waits.
    bool _dropOldestLogin();
    void _debug(gt::core::String const& message) const {
        if (m_log) m_log->debug(message);
    }
    // The IP filter; logs the refusal.
    bool _passes(gt::net::IpAddress const& peer) const;

    IActionDown* m_tunnel;
    NatAcl* m_acl;
    gt::core::String m_protocol;
    gt::core::String m_target;
    ForwardClientManager m_clients;
    gt::core::Timer m_cleanup;
    int m_maxChannels;
    bool m_readPaused;
    EngineLog* m_log;
};

}  // namespace engine
}  // namespace tunnel
