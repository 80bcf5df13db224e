// One TCP connection from the service to a relay server, carrying a protocol
// channel and a dictionary rpc. The connect starts in the constructor and
// gives up after 3000 ms; each client serves one connection and never reconnects.
#pragma once

#include <functional>
#include <memory>

#include "gt/core/lang/Binary.h"
#include "gt/core/lang/Liveness.h"
#include "gt/core/util/Dictionary.h"
#include "gt/net/socket/SocketAddress.h"

namespace gt {
namespace net {
class Socket;
class SocketEventSelector;
class TcpSocketConnector;
}  // namespace net
}  // namespace gt

namespace tunnel {

class DicRpc;
class ProtocolChannel;

class ProtocolClient {
public:
    static constexpr int CONNECT_TIMEOUT_MS = 3000;
    static constexpr int IDLE_TIMEOUT_MS = 60000;
    // Most bytes the connection queues for sending; a send beyond it fails.
    // The owner keeps well below it (see sendQueueLength and onSent), so a
    // relay that stops reading cannot make the service hold without bound.
    static constexpr int SEND_QUEUE_LIMIT = 4 * 1024 * 1024;

    // Asserts a selector. A connect that fails at once (no socket, bind or
    // connect refused on the spot) cannot reach callbacks that are set after
    // construction: it leaves the client in its failed state (hasFailed()),
    // which owners check right after construction.
    ProtocolClient(gt::net::SocketEventSelector* selector, gt::net::SocketAddress const& server,
                   gt::net::SocketAddress const& bind);
    ProtocolClient(ProtocolClient const&) = delete;
    ProtocolClient& operator=(ProtocolClient const&) = delete;
    // Lets rpc, channel and connector go, in that order; no callback is called.
    virtual ~ProtocolClient();

    // False while not connected.
    bool sendDictionary(gt::core::Dictionary<gt::core::Binary> const& dictionary);
    bool sendDatagram(gt::core::Binary const& datagram);
    // A datagram of head and data, queued without being gathered first.
    bool sendDatagram(char const* head, int headLength, char const* data, int length);
    // Connected: the channel closes at once (onClosed follows at its next event
    // or tick). Connecting: the connect is cancelled (onConnectFailed follows).
    void close();
    // Null until connected.
    DicRpc* rpc() const { return m_rpc.get(); }
    bool isConnected() const;
    // Why the connect or the connection failed, as a system error number
    // (0 when no reason is known).
    int lastSystemError() const;
    // Bytes queued for the relay and not yet written (0 while not connected).
    int sendQueueLength() const;
    // The connect failed (at once or later); stays set.
    bool hasFailed() const { return m_failed; }
    gt::net::SocketAddress const& server() const { return m_server; }

    std::function<void()> onConnected;
    std::function<void()> onConnectFailed;
    std::function<void()> onClosed;
    // Dictionaries that are not rpc replies.
    std::function<void(gt::core::Dictionary<gt::core::Binary>&)> onDictionary;
    std::function<void(gt::core::Binary&)> onDatagram;
    // Each datagram in place (valid for the call only); when set, it is
    // called instead of onDatagram.
    std::function<void(char const*, int)> onDatagramBytes;
    // Some queued bytes were written (n of them).
    std::function<void(int)> onSent;

protected:
    // Every callback of the client and of its subclasses is called through
    // it: the owner may delete the client from inside any of them.
    gt::core::Liveness m_liveness;

private:
    void _onConnect(gt::net::Socket* socket);

    gt::net::SocketEventSelector* m_selector;
    // Members go in reverse order: the rpc before the channel it hooks into.
    std::unique_ptr<gt::net::TcpSocketConnector> m_connector;
    std::unique_ptr<ProtocolChannel> m_channel;
    std::unique_ptr<DicRpc> m_rpc;
    gt::net::SocketAddress m_server;
    bool m_failed;
};

}  // namespace tunnel
