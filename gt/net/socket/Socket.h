// Owner of one IPv4 socket descriptor: TCP or UDP, blocking or not.
#pragma once

#include "gt/core/lang/Binary.h"
#include "gt/net/socket/SocketAddress.h"

namespace gt {
namespace net {

class Socket {
public:
    enum { TYPE_TCP = 1, TYPE_UDP = 2 };
    // Directions of shutdown(); any other value shuts both down.
    enum { SHUT_SEND = 0, SHUT_RECEIVE = 1, SHUT_BOTH = 2 };

    // 1 = TCP, 2 = UDP; any other type, or a failing system call, gives an
    // invalid socket. Blocking until setBlocking(false).
    explicit Socket(int type);
    Socket(Socket&& other) noexcept;
    Socket& operator=(Socket&& other) noexcept;  // exchanges with other
    Socket(Socket const&) = delete;
    Socket& operator=(Socket const&) = delete;
    virtual ~Socket();

    void swap(Socket& other) noexcept;
    bool isValid() const { return m_handle != -1; }
    int handle() const { return m_handle; }

    // Applies the blocking flag, then connects. True when connected, or when
    // non-blocking and the connect has started (await writability). The
    // none-address 0.0.0.0 is refused.
    bool connect(SocketAddress const& remote);
    bool bind(SocketAddress const& local);
    bool listen();  // backlog 64
    // Accepts into out, which must be non-null and invalid; out gets this
    // socket's blocking mode.
    bool accept(Socket* out);
    void shutdown(int how);
    SocketAddress localAddress() const;
    SocketAddress remoteAddress() const;

    // Byte count, 0 for an orderly close on receive, -1 on error or bad
    // arguments (pos/len outside the buffer). errno tells why after -1; a
    // would-block result leaves EAGAIN/EWOULDBLOCK there.
    int send(gt::core::Binary const& data, int pos, int len);
    int recv(gt::core::Binary& buffer, int pos, int size);
    int sendTo(gt::core::Binary const& data, int pos, int len, SocketAddress const& to);
    int recvFrom(gt::core::Binary& buffer, int pos, int size, SocketAddress* from);

    bool setBlocking(bool on);
    bool isBlocking() const { return m_handle != -1 && m_blocking; }
    bool setLinger(bool on, int seconds);
    bool setReuseAddress(bool on);
    // A later bind to an address with port 0 leaves the port to connect,
    // which may share a local port among different peers.
    bool setBindAddressNoPort(bool on);
    bool setRecvTimeout(int ms);
    bool setSendTimeout(int ms);
    bool setRecvBufferSize(int bytes);
    bool setSendBufferSize(int bytes);
    bool setNoDelay(bool on);
    // True when invalid, when the query fails, or when an error is pending.
    bool hasError() const;
    // The pending error number, taken off the socket (0: none); EBADF when
    // invalid, the query's own errno when the query fails.
    int pendingError() const;

    // Waits for the asked conditions; ms < 0 waits without limit, 0 polls.
    // True only when the socket is ready for one of them.
    bool wait(bool read, bool write, bool error, int ms);

private:
    bool _applyBlocking(bool on);

    int m_handle;
    bool m_blocking;
};

namespace detail {
// Readiness bits (1 readable, 2 writable, 4 exceptional) from poll() events,
// as select() would report them for the asked bits.
int readinessBits(short revents, int asked);
short pollEvents(int asked);
}  // namespace detail

}  // namespace net
}  // namespace gt
