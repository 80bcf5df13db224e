// Starts the local TCP connection of a forward client: connect to the target
// from the chosen source address within the forward clients' time-out, and
// set the connected socket up as a channel of the clients' shape.
#pragma once

#include <functional>
#include <memory>

#include "gt/net/SocketEventSelector.h"
#include "gt/net/socket/SocketAddress.h"

namespace gt {
namespace net {
class Socket;
class TcpSocketChannel;
class TcpSocketConnector;
}  // namespace net
}  // namespace gt

namespace tunnel {

class LocalConnector {
public:
    // High bytes of the loopback source ports: clear of the privileged ports.
    static constexpr int FIRST_HIGH_BYTE = 4;
    static constexpr int LAST_HIGH_BYTE = 255;

    explicit LocalConnector(gt::net::SocketEventSelector* selector);
    LocalConnector(LocalConnector const&) = delete;
    LocalConnector& operator=(LocalConnector const&) = delete;
    // Drops a pending connect without calling back.
    ~LocalConnector();

    // Connects to target from bind; done gets the connected socket or null
    // (failure, time-out or cancel), exactly once, possibly before connect
    // returns. A target without an address (0.0.0.0) fails at once. When the
    // bind address is a loopback source with a chosen port, the port is bound
    // with SO_REUSEADDR and, while it is busy, every other port with the same
    // low byte is tried in turn (see loopbackSourcePort); *bind is updated to
    // the address used.
    void connect(gt::net::SocketAddress const& target, gt::net::SocketAddress* bind,
                 std::function<void(gt::net::Socket*)> done);
    bool isConnecting() const;
    // Why the last connect failed, as a system error number (0: no failure
    // known, ECANCELED after cancel()).
    int lastError() const;
    // Aborts a pending connect; done then gets null at the next event. False
    // when nothing is pending.
    bool cancel();

    // A channel on the connected socket, set up for a forward client: no
    // delay, 16384-byte keep sizes, 15 min idle time-out. Nothing is read before the owner grants credit.
    static std::unique_ptr<gt::net::TcpSocketChannel> openChannel(gt::net::Socket* socket,
                                                                  gt::net::SocketEventSelector* selector);

    // A source port for the loopback trick with lowByte in its low byte and
    // a random high byte that keeps it clear of the privileged ports (< 1024).
    static unsigned short loopbackSourcePort(int lowByte);

private:
    gt::net::SocketEventSelector* m_selector;
    std::unique_ptr<gt::net::TcpSocketConnector> m_connector;
    bool m_starting;      // connect() is running
    bool m_failedAtOnce;  // the connector refused while connect() was running
};

}  // namespace tunnel
