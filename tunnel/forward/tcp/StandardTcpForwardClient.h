// Forward client that connects the local target at once and relays bytes in
// both directions with credit-based flow control.
#pragma once

#include <memory>

#include "gt/core/lang/Binary.h"
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

class StandardTcpForwardClient : public ForwardClient {
public:
    enum class State { CONNECTING = 0, CONNECTED = 1, CLOSED = 2 };

    // Does not connect yet: start() does, once the callbacks are set.
    StandardTcpForwardClient(gt::net::SocketEventSelector* selector, NatAcl* acl, short channelId,
                             gt::net::SocketAddress const& target, gt::net::SocketAddress const& bind,
                             gt::net::SocketAddress const& peer);
    // Closes the local connection without notifying anybody.
    ~StandardTcpForwardClient() override;

    // Starts the local connect; a failure, even one found at once, ends in
    // onConnect(false).
    void start() override;
    bool isAlive() const override { return m_state != State::CLOSED; }
    void send(gt::core::Binary& data) override;
    void sendBytes(char const* data, int length) override;
    void window(int credit) override;
    void shutdown() override;
    void onAclChanged() override;
    void setReadPaused(bool paused) override;
    void abort() override;

    State state() const { return m_state; }
    // Bytes of the relay waiting to be written locally.
    int unwritten() const { return m_credit.unwritten(); }

private:
    void _onConnect(gt::net::Socket* socket);
    void _onSent(int n);
    // The relay sent more than its credit allows: the channel is closed.
    void _overrun();
    void _closeNow();

    State m_state;
    LocalConnector m_connector;
    std::unique_ptr<gt::net::TcpSocketChannel> m_channel;
    gt::core::Binary m_pending;  // bytes of the relay received while connecting
    int m_heldCredit;            // credit of the relay received while connecting
    LocalCredit m_credit;        // relay bytes on their way to the local side
    bool m_overrun;              // the channel is closing at once (relay overrun or abort)
    bool m_readPaused;
};

}  // namespace tunnel
