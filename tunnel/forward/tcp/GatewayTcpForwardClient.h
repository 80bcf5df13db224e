// Forward client with the gateway login: the public user first sends the line
// "GATEWAY <name> <password>\r\n", which is checked against the members of the
// access policy and answered with "OK\r\n" or "ERROR <reason>\r\n"; only then
// is the local target connected. Every byte after the login line is XORed
// with MASK in both directions.
#pragma once

#include <memory>

#include "gt/core/lang/Binary.h"
#include "gt/core/lang/String.h"
#include "gt/core/util/Timer.h"
#include "tunnel/forward/ForwardClient.h"
#include "tunnel/forward/tcp/LocalConnector.h"
#include "tunnel/forward/tcp/LocalCredit.h"

namespace gt {
namespace net {
class Socket;
class TcpSocketChannel;
}  // namespace net
}  // namespace gt

namespace tunnel {

class GatewayTcpForwardClient : public ForwardClient {
public:
    enum class State { INIT = 0, CHECKING = 1, CONNECTING = 2, CONNECTED = 3, CLOSED = 4 };
    // The byte that the public users' client software and this side XOR
    // every byte after the login line with.
    static char const MASK = 0x5C;
    // Longest login line, CR LF included.
    static constexpr int MAX_LOGIN_LINE = 1024;
    // Time a public user has for the login line, from the CONNECT on; a
    // connection still without a login then ends with SHUTDOWN, so that
    // half-sent logins cannot hold the channel slots.
    static constexpr int LOGIN_TIMEOUT_MS = 30000;

    GatewayTcpForwardClient(gt::net::SocketEventSelector* selector, NatAcl* acl, short channelId,
                            gt::net::SocketAddress const& target, gt::net::SocketAddress const& bind,
                            gt::net::SocketAddress const& peer);
    ~GatewayTcpForwardClient() override;

    // Nothing to start: the first datagram of the relay begins the login.
    void start() override {}
    bool isAlive() const override { return m_state != State::CLOSED; }
    void send(gt::core::Binary& data) override;
    void window(int credit) override;
    void shutdown() override;
    void onAclChanged() override;
    int loginTimeLeft() const override;
    void setReadPaused(bool paused) override;
    void abort() override;
    void tick() override;

    State state() const { return m_state; }
    gt::core::String const& name() const { return m_name; }

    // XORs every byte with MASK, in place.
    static void mask(gt::core::Binary& data);

private:
    void _beginChecking();
    void _parseLogin();
    // Sends a reply line to the public user, paid from the held credit;
    // closes the client when the credit does not cover it.
    void _reply(gt::core::Binary const& text);
    void _connect();
    void _onConnect(gt::net::Socket* socket);
    void _onSent(int n);
    void _close();
    // Accounts bytes of the relay; false (and the client closed) when the
    // relay went beyond what its credit allows.
    bool _take(int n);
    void _closeNow();

    gt::core::String m_name;
    gt::core::String m_password;
    State m_state;
    LocalConnector m_connector;
    std::unique_ptr<gt::net::TcpSocketChannel> m_channel;
    gt::core::Binary m_buffer;  // login line, then bytes waiting for the local connection
    int m_heldCredit;
    LocalCredit m_credit;  // relay bytes on their way to the local side
    bool m_overrun;        // the channel is closing at once (relay overrun or abort)
    bool m_readPaused;
    gt::core::Timer m_loginDeadline;
};

}  // namespace tunnel
