#include "gt/net/socket/Socket.h"

#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cstring>
#include <utility>

namespace gt {
namespace net {

using gt::core::Binary;

namespace {

// A write to a connection the peer has reset must fail with EPIPE, not end
// the process: the library ignores SIGPIPE from start-up on (every send also
// passes MSG_NOSIGNAL).
struct IgnoreBrokenPipe {
    IgnoreBrokenPipe() { ::signal(SIGPIPE, SIG_IGN); }
};
IgnoreBrokenPipe const ignoreBrokenPipe;

sockaddr_in toSockaddr(SocketAddress const& address) {
    sockaddr_in result;
    std::memset(&result, 0, sizeof result);
    result.sin_family = AF_INET;
    result.sin_addr.s_addr = htonl(address.address().value());
    result.sin_port = htons(address.port());
    return result;
}

SocketAddress fromSockaddr(sockaddr_in const& address) {
    return SocketAddress(IpAddress(ntohl(address.sin_addr.s_addr)), ntohs(address.sin_port));
}

bool checkRange(int length, int pos, int len) {
    return pos >= 0 && len >= 0 && static_cast<long long>(pos) + len <= length;
}

bool setIntOption(int handle, int level, int name, int value) {
    if (handle == -1) return false;
    return ::setsockopt(handle, level, name, &value, sizeof value) == 0;
}

bool setTimeOption(int handle, int name, int ms) {
    if (handle == -1) return false;
    // Linux takes a timeval here; 0 means no time-out as it does elsewhere.
    timeval value;
    if (ms < 0) ms = 0;
    value.tv_sec = ms / 1000;
    value.tv_usec = (ms % 1000) * 1000;
    return ::setsockopt(handle, SOL_SOCKET, name, &value, sizeof value) == 0;
}

}  // namespace

namespace detail {

short pollEvents(int asked) {
    short events = 0;
    if (asked & 1) events |= POLLIN;
    if (asked & 2) events |= POLLOUT;
    if (asked & 4) events |= POLLPRI;
    return events;
}

int readinessBits(short revents, int asked) {
    // select() counts a hang-up or an error as readable, an error also as
    // writable; an invalid descriptor is no readiness at all.
    if (revents & POLLNVAL) return 0;
    int bits = 0;
    if ((asked & 1) && (revents & (POLLIN | POLLHUP | POLLERR))) bits |= 1;
    if ((asked & 2) && (revents & (POLLOUT | POLLERR))) bits |= 2;
    if ((asked & 4) && (revents & POLLPRI)) bits |= 4;
    return bits;
}

}  // namespace detail

Socket::Socket(int type) : m_handle(-1), m_blocking(true) {
    if (type == TYPE_TCP) {
        m_handle = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
    } else if (type == TYPE_UDP) {
        // An ICMP port-unreachable never fails a later recvfrom of an
        // unconnected UDP socket on Linux, so nothing more is needed here.
        m_handle = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP);
    }
    if (m_handle < 0) m_handle = -1;
}

Socket::Socket(Socket&& other) noexcept : m_handle(other.m_handle), m_blocking(other.m_blocking) {
    other.m_handle = -1;
    other.m_blocking = true;
}

Socket& Socket::operator=(Socket&& other) noexcept {
    swap(other);
    return *this;
}

Socket::~Socket() {
    if (m_handle != -1) ::close(m_handle);
    m_handle = -1;
}

void Socket::swap(Socket& other) noexcept {
    std::swap(m_handle, other.m_handle);
    std::swap(m_blocking, other.m_blocking);
}

bool Socket::_applyBlocking(bool on) {
    int flags = ::fcntl(m_handle, F_GETFL);
    if (flags < 0) return false;
    int wanted = on ? (flags & ~O_NONBLOCK) : (flags | O_NONBLOCK);
    return wanted == flags || ::fcntl(m_handle, F_SETFL, wanted) == 0;
}

bool Socket::connect(SocketAddress const& remote) {
    if (m_handle == -1) return false;
    if (!_applyBlocking(m_blocking)) return false;
    if (remote.address().isNone()) {
        // Linux would take 0.0.0.0 for this host; it names no peer here.
        errno = ENETUNREACH;
        return false;
    }
    sockaddr_in address = toSockaddr(remote);
    if (::connect(m_handle, reinterpret_cast<sockaddr const*>(&address), sizeof address) == 0) return true;
    if (!m_blocking) return errno == EINPROGRESS;
    if (errno != EINTR) return false;
    // A blocking connect cut short by a signal goes on in the background:
    // wait for its end and read its outcome.
    if (!wait(false, true, false, -1)) return false;
    return !hasError();
}

bool Socket::bind(SocketAddress const& local) {
    if (m_handle == -1) return false;
    sockaddr_in address = toSockaddr(local);
    return ::bind(m_handle, reinterpret_cast<sockaddr const*>(&address), sizeof address) == 0;
}

bool Socket::listen() {
    if (m_handle == -1) return false;
    return ::listen(m_handle, 64) != -1;
}

bool Socket::accept(Socket* out) {
    if (m_handle == -1 || out == nullptr || out->isValid()) return false;
    // Linux does not pass the non-blocking mode on to the accepted socket;
    // ask for it so the new socket's mode matches the flag it inherits.
    int flags = SOCK_CLOEXEC | (m_blocking ? 0 : SOCK_NONBLOCK);
    int handle;
    do {
        handle = ::accept4(m_handle, nullptr, nullptr, flags);
    } while (handle < 0 && errno == EINTR);
    if (handle < 0) return false;
    out->m_handle = handle;
    out->m_blocking = m_blocking;
    return true;
}

void Socket::shutdown(int how) {
    if (m_handle == -1) return;
    int direction = how == SHUT_SEND ? SHUT_WR : how == SHUT_RECEIVE ? SHUT_RD : SHUT_RDWR;
    ::shutdown(m_handle, direction);
}

SocketAddress Socket::localAddress() const {
    if (m_handle == -1) return SocketAddress();
    sockaddr_in address;
    socklen_t length = sizeof address;
    if (::getsockname(m_handle, reinterpret_cast<sockaddr*>(&address), &length) != 0 ||
        address.sin_family != AF_INET) {
        return SocketAddress();
    }
    return fromSockaddr(address);
}

SocketAddress Socket::remoteAddress() const {
    if (m_handle == -1) return SocketAddress();
    sockaddr_in address;
    socklen_t length = sizeof address;
    if (::getpeername(m_handle, reinterpret_cast<sockaddr*>(&address), &length) != 0 ||
        address.sin_family != AF_INET) {
        return SocketAddress();
    }
    return fromSockaddr(address);
}

int Socket::send(Binary const& data, int pos, int len) {
    if (m_handle == -1 || !checkRange(data.length(), pos, len)) return -1;
    char const* start = data.data() + pos;
    ssize_t sent;
    do {
        sent = ::send(m_handle, start, static_cast<size_t>(len), MSG_NOSIGNAL);
    } while (sent < 0 && errno == EINTR);
    return sent < 0 ? -1 : static_cast<int>(sent);
}

int Socket::recv(Binary& buffer, int pos, int size) {
    if (m_handle == -1 || !checkRange(buffer.length(), pos, size)) return -1;
    char* start = buffer.data() + pos;
    ssize_t received;
    do {
        received = ::recv(m_handle, start, static_cast<size_t>(size), 0);
    } while (received < 0 && errno == EINTR);
    return received < 0 ? -1 : static_cast<int>(received);
}

int Socket::sendTo(Binary const& data, int pos, int len, SocketAddress const& to) {
    if (m_handle == -1 || !checkRange(data.length(), pos, len)) return -1;
    char const* start = data.data() + pos;
    sockaddr_in address = toSockaddr(to);
    ssize_t sent;
    do {
        sent = ::sendto(m_handle, start, static_cast<size_t>(len), MSG_NOSIGNAL,
                        reinterpret_cast<sockaddr const*>(&address), sizeof address);
    } while (sent < 0 && errno == EINTR);
    return sent < 0 ? -1 : static_cast<int>(sent);
}

int Socket::recvFrom(Binary& buffer, int pos, int size, SocketAddress* from) {
    if (m_handle == -1 || !checkRange(buffer.length(), pos, size)) return -1;
    char* start = buffer.data() + pos;
    sockaddr_in address;
    std::memset(&address, 0, sizeof address);
    socklen_t length = sizeof address;
    ssize_t received;
    do {
        received = ::recvfrom(m_handle, start, static_cast<size_t>(size), 0,
                              reinterpret_cast<sockaddr*>(&address), &length);
    } while (received < 0 && errno == EINTR);
    if (received < 0) return -1;
    if (from != nullptr) *from = fromSockaddr(address);
    return static_cast<int>(received);
}

bool Socket::setBlocking(bool on) {
    if (m_handle == -1) return false;
    if (!_applyBlocking(on)) return false;
    m_blocking = on;
    return true;
}

bool Socket::setLinger(bool on, int seconds) {
    if (m_handle == -1) return false;
    linger value;
    value.l_onoff = on ? 1 : 0;
    value.l_linger = seconds < 0 ? 0 : seconds;
    return ::setsockopt(m_handle, SOL_SOCKET, SO_LINGER, &value, sizeof value) == 0;
}

bool Socket::setReuseAddress(bool on) { return setIntOption(m_handle, SOL_SOCKET, SO_REUSEADDR, on ? 1 : 0); }

bool Socket::setBindAddressNoPort(bool on) {
    return setIntOption(m_handle, IPPROTO_IP, IP_BIND_ADDRESS_NO_PORT, on ? 1 : 0);
}

bool Socket::setRecvTimeout(int ms) { return setTimeOption(m_handle, SO_RCVTIMEO, ms); }

bool Socket::setSendTimeout(int ms) { return setTimeOption(m_handle, SO_SNDTIMEO, ms); }

bool Socket::setRecvBufferSize(int bytes) { return setIntOption(m_handle, SOL_SOCKET, SO_RCVBUF, bytes); }

bool Socket::setSendBufferSize(int bytes) { return setIntOption(m_handle, SOL_SOCKET, SO_SNDBUF, bytes); }

bool Socket::setNoDelay(bool on) { return setIntOption(m_handle, IPPROTO_TCP, TCP_NODELAY, on ? 1 : 0); }

bool Socket::hasError() const { return pendingError() != 0; }

int Socket::pendingError() const {
    if (m_handle == -1) return EBADF;
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(m_handle, SOL_SOCKET, SO_ERROR, &error, &length) != 0) return errno != 0 ? errno : EBADF;
    return error;
}

bool Socket::wait(bool read, bool write, bool error, int ms) {
    if (m_handle == -1) return false;
    int asked = (read ? 1 : 0) | (write ? 2 : 0) | (error ? 4 : 0);
    pollfd entry;
    entry.fd = m_handle;
    entry.events = detail::pollEvents(asked);
    entry.revents = 0;
    int ready = ::poll(&entry, 1, ms < 0 ? -1 : ms);
    if (ready <= 0) return false;
    return detail::readinessBits(entry.revents, asked) != 0;
}

}  // namespace net
}  // namespace gt
