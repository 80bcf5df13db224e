#include "benchmarks/support/RelayDouble.h"

#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>

#include "benchmarks/support/BlockingUser.h"
#include "benchmarks/support/RelayWire.h"
#include "benchmarks/support/SharedFigures.h"

namespace bench {

using wire::get16;
using wire::get32;
using wire::put16;
using wire::put32;

namespace {

long long nowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count();
}

}  // namespace
RelayDouble::RelayDouble(int engineListener, int publicListener, SharedFigures* figures)
    : m_engineListener(engineListener), m_publicListener(publicListener), m_figures(figures) {}

void RelayDouble::run() {
    m_epoll = ::epoll_create1(EPOLL_CLOEXEC);
    ::fcntl(m_publicListener, F_SETFL, ::fcntl(m_publicListener, F_GETFL) | O_NONBLOCK);
    epoll_event e{};
    e.events = EPOLLIN;
    e.data.u32 = 0;  // id 0 is never a channel: the listener
    ::epoll_ctl(m_epoll, EPOLL_CTL_ADD, m_publicListener, &e);
    for (unsigned id = 65535; id >= 1; --id)
        m_free.push_back(id);
    // Several threads wait on the one epoll set (users are armed one
    // shot, so each readiness goes to one thread): reading the users of
    // several busy channels is spread over cores, and only the sends to
    // the engine connection take turns.
    for (int i = 0; i < PUBLIC_THREADS; ++i)
        std::thread([this] { _publicLoop(); }).detach();
    for (Writer& w : m_writers)
        std::thread([this, &w] { _writerLoop(&w); }).detach();
    for (;;) {
        int const engine = ::accept4(m_engineListener, nullptr, nullptr, SOCK_CLOEXEC);
        if (engine < 0) continue;
        int one = 1;
        ::setsockopt(engine, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        std::thread([this, engine] { _engineLoop(engine); }).detach();
    }
}

void RelayDouble::_sendFrame(int fd, char kind, char const* head, int headLength, char const* body,
                             int bodyLength) {
    char prefix[wire::HEAD];
    wire::putHead(prefix, kind, static_cast<size_t>(headLength + bodyLength));
    iovec parts[3] = {{prefix, wire::HEAD},
                      {const_cast<char*>(head), static_cast<size_t>(headLength)},
                      {const_cast<char*>(body), static_cast<size_t>(bodyLength)}};
    _writeParts(fd, parts, 3);
}

void RelayDouble::_datagram(char const* head, int n) {
    _sendFrame(m_engine, wire::DATAGRAM, head, n, nullptr, 0);
}

void RelayDouble::_sendShutdown(Channel* c, unsigned id) {
    c->readDone = true;
    char head[3] = {wire::SHUTDOWN};
    put16(head + 1, id);
    _datagram(head, 3);
}

void RelayDouble::_sendBytes(int fd, char const* data, size_t n) {
    iovec part = {const_cast<char*>(data), n};
    _writeParts(fd, &part, 1);
}

void RelayDouble::_writeParts(int fd, iovec* parts, int count) {
    std::lock_guard<std::mutex> guard(m_writeLock);
    int first = 0;
    while (first < count) {
        ssize_t w = ::writev(fd, parts + first, count - first);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return;
        _skipWritten(parts, count, &first, static_cast<size_t>(w));
    }
}

void RelayDouble::_skipWritten(iovec* parts, int count, int* first, size_t n) {
    while (*first < count && n >= parts[*first].iov_len) {
        n -= parts[*first].iov_len;
        ++*first;
    }
    if (*first < count) {
        parts[*first].iov_base = static_cast<char*>(parts[*first].iov_base) + n;
        parts[*first].iov_len -= n;
    }
}

RelayDouble::Writer& RelayDouble::_writerOf(unsigned id) { return m_writers[id % WRITERS]; }

void RelayDouble::_credit(Channel* c, unsigned id, Channel::Out const* frames, size_t n) {
    if (n == 0) return;
    char stack[13 * 16];
    std::vector<char> heap;
    char* out = stack;
    if (n > 16) {
        heap.resize(13 * n);
        out = heap.data();
    }
    {
        std::lock_guard<std::mutex> guard(c->lock);
        for (size_t i = 0; i < n; ++i) {
            long long const at = nowNs();
            c->grants.emplace_back(c->given, at);
            c->given += frames[i].count;
            m_figures->upOwnNs += at - frames[i].took;
            ++m_figures->upOwnCount;
        }
    }
    for (size_t i = 0; i < n; ++i) {
        char* f = out + 13 * i;
        wire::putHead(f, wire::DATAGRAM, 7);
        f[6] = wire::WINDOW;
        put16(f + 7, id);
        put32(f + 9, static_cast<unsigned>(frames[i].count));
    }
    _sendBytes(m_engine, out, 13 * n);
}

void RelayDouble::_queue(Writer* w, std::unique_lock<std::mutex>* held, Channel* c, unsigned id, int fd,
                         char const* data, int left, int count, long long took) {
    if (c->out.empty()) c->out.resize(OUT_BYTES);
    // Only an engine that sends beyond its credit fills the ring: it
    // waits for the writer then.
    while (OUT_BYTES - c->outLength < static_cast<size_t>(left))
        w->room.wait(*held);
    size_t const end = (c->outStart + c->outLength) % OUT_BYTES;
    size_t const first = std::min(static_cast<size_t>(left), OUT_BYTES - end);
    std::memcpy(c->out.data() + end, data, first);
    std::memcpy(c->out.data(), data + first, static_cast<size_t>(left) - first);
    c->outLength += static_cast<size_t>(left);
    c->outFrames.push_back({left, count, took});
    c->outFd = fd;
    bool wake = false;
    if (!c->scheduled) {
        c->scheduled = true;
        w->ready.push_back(id);
        // One wake-up for all that arrives before the writer runs.
        wake = w->waiting;
        w->waiting = false;
    }
    held->unlock();
    if (wake) w->wake.notify_one();
}

void RelayDouble::_writerLoop(Writer* w) {
    std::vector<Channel::Out> frames;
    for (;;) {
        unsigned id;
        Channel* c;
        int fd;
        iovec parts[2];
        size_t total;
        {
            std::unique_lock<std::mutex> held(w->lock);
            while (w->ready.empty()) {
                w->waiting = true;
                w->wake.wait(held);
            }
            w->waiting = false;
            id = w->ready.front();
            w->ready.pop_front();
            c = &m_channels[id];
            fd = c->outFd;
            frames.assign(c->outFrames.begin() + static_cast<std::ptrdiff_t>(c->outHead), c->outFrames.end());
            total = c->outLength;
            size_t const first = std::min(total, OUT_BYTES - c->outStart);
            parts[0] = {c->out.data() + c->outStart, first};
            parts[1] = {c->out.data(), total - first};
        }
        // The reader only appends behind these bytes, so they are
        // written without the lock.
        size_t written = 0, credited = 0, frameEnd = 0;
        int part = parts[0].iov_len > 0 ? 0 : 1;
        for (;;) {
            size_t done = credited;
            while (done < frames.size() && frameEnd + static_cast<size_t>(frames[done].left) <= written)
                frameEnd += static_cast<size_t>(frames[done++].left);
            _credit(c, id, frames.data() + credited, done - credited);
            credited = done;
            if (written == total) break;
            ssize_t n = ::writev(fd, parts + part, 2 - part);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;  // a broken user: the rest goes without credit, as before
            written += static_cast<size_t>(n);
            _skipWritten(parts, 2, &part, static_cast<size_t>(n));
        }
        bool shutdown = false;
        {
            std::lock_guard<std::mutex> guard(w->lock);
            c->outStart = (c->outStart + total) % OUT_BYTES;
            c->outLength -= total;
            c->outHead += frames.size();
            if (c->outHead == c->outFrames.size()) {
                c->outFrames.clear();
                c->outHead = 0;
                c->scheduled = false;
                shutdown = c->shutdownPending;
                c->shutdownPending = false;
            } else {
                w->ready.push_back(id);  // more arrived meanwhile: after the other channels
            }
        }
        w->room.notify_all();
        if (shutdown) {
            std::lock_guard<std::mutex> guard(c->lock);
            _engineShutdown(c, id);
        }
    }
}

void RelayDouble::_arm(Channel* c) {
    // Called with the channel's lock held: the user is read while there
    // is room ahead, whatever the credit.
    if (c->armed || c->userDone || c->aheadLength >= AHEAD_BYTES) return;
    epoll_event e{};
    e.events = EPOLLIN | EPOLLONESHOT;
    e.data.u32 = static_cast<unsigned>(&*c - &m_channels[0]);
    ::epoll_ctl(m_epoll, c->fd >= 0 && m_registered[e.data.u32] ? EPOLL_CTL_MOD : EPOLL_CTL_ADD, c->fd, &e);
    m_registered[e.data.u32] = true;
    c->armed = true;
}

void RelayDouble::_release(Channel* c, unsigned id) {
    // Called with the channel's lock held, once both directions are done.
    if (c->fd < 0) return;
    if (m_registered[id]) ::epoll_ctl(m_epoll, EPOLL_CTL_DEL, c->fd, nullptr);
    m_registered[id] = false;
    ::close(c->fd);
    c->fd = -1;
    std::vector<char>().swap(c->ahead);
    c->aheadStart = c->aheadLength = 0;
    {
        // Nothing waits for a writer any more: the engine's SHUTDOWN
        // came only after the queued bytes were written.
        std::lock_guard<std::mutex> guard(_writerOf(id).lock);
        std::vector<char>().swap(c->out);
        c->outStart = c->outLength = 0;
    }
    std::lock_guard<std::mutex> guard(m_idLock);
    m_free.push_back(id);
}

void RelayDouble::_publicLoop() {
    // A few events per wait, so that the busy users spread over the threads.
    epoll_event ready[4];
    for (;;) {
        int n = ::epoll_wait(m_epoll, ready, 4, -1);
        for (int i = 0; i < n; ++i) {
            unsigned const id = ready[i].data.u32;
            if (id == 0) {
                _accept();
                continue;
            }
            Channel* c = &m_channels[id];
            std::unique_lock<std::mutex> guard(c->lock);
            c->armed = false;
            _pump(c, id, true);
        }
    }
}

void RelayDouble::_pump(Channel* c, unsigned id, bool fill) {
    for (;;) {
        // Fill the free part of the ring that follows its data.
        while (fill && c->fd >= 0 && !c->userDone && c->aheadLength < AHEAD_BYTES) {
            if (c->ahead.empty()) c->ahead.resize(AHEAD_BYTES);
            size_t const end = (c->aheadStart + c->aheadLength) % AHEAD_BYTES;
            size_t const room = std::min(AHEAD_BYTES - c->aheadLength, AHEAD_BYTES - end);
            ssize_t r = ::recv(c->fd, c->ahead.data() + end, room, MSG_DONTWAIT);
            if (r < 0 && errno == EINTR) continue;
            if (r < 0 && errno == EAGAIN) break;
            if (r <= 0) {
                c->userDone = true;
                break;
            }
            c->aheadLength += static_cast<size_t>(r);
            if (static_cast<size_t>(r) < room) break;
        }
        // Send what the credit allows, a frame of at most 65535 bytes
        // from each contiguous part of the ring.
        bool sentAny = false;
        while (c->fd >= 0 && c->credit > 0 && c->aheadLength > 0) {
            size_t const part = std::min(c->aheadLength, AHEAD_BYTES - c->aheadStart);
            int const n =
                static_cast<int>(std::min<long long>({c->credit, 65535, static_cast<long long>(part)}));
            char head[5] = {wire::DATA};
            put16(head + 1, id);
            put16(head + 3, static_cast<unsigned>(n));
            c->credit -= n;
            c->sent += n;
            c->inFlight.push_back({c->sent, nowNs(), n});
            _sendFrame(m_engine, wire::DATAGRAM, head, 5, c->ahead.data() + c->aheadStart, n);
            c->aheadStart = (c->aheadStart + static_cast<size_t>(n)) % AHEAD_BYTES;
            c->aheadLength -= static_cast<size_t>(n);
            sentAny = true;
        }
        // Room made by sending is filled again at once.
        if (!fill || !sentAny || c->userDone || c->fd < 0) break;
    }
    if (c->fd >= 0 && c->userDone && c->aheadLength == 0 && !c->readDone) {
        _sendShutdown(c, id);
        if (c->writeDone) _release(c, id);
    }
    if (c->fd >= 0) _arm(c);
}

void RelayDouble::_accept() {
    for (;;) {
        int fd = ::accept4(m_publicListener, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) return;
        if (m_engine < 0) {
            ::close(fd);
            continue;
        }
        int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        sockaddr_in peer{};
        socklen_t length = sizeof peer;
        ::getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &length);
        unsigned id;
        {
            std::lock_guard<std::mutex> guard(m_idLock);
            if (m_free.empty()) {
                ::close(fd);
                continue;
            }
            id = m_free.back();
            m_free.pop_back();
        }
        Channel* c = &m_channels[id];
        std::lock_guard<std::mutex> guard(c->lock);
        c->fd = fd;
        c->credit = 0;
        c->armed = false;
        c->readDone = false;
        c->writeDone = false;
        c->userDone = false;
        c->aheadStart = c->aheadLength = 0;
        c->sent = c->returned = c->received = 0;
        c->granted = -1;
        c->given = 0x20000;
        c->inFlight.clear();
        c->grants.clear();
        char connect[10] = {wire::CONNECT};
        put16(connect + 1, id);
        connect[3] = 2;  // TCP
        put32(connect + 4, ntohl(peer.sin_addr.s_addr));
        put16(connect + 8, ntohs(peer.sin_port));
        _datagram(connect, 10);
        char window[7] = {wire::WINDOW};
        put16(window + 1, id);
        put32(window + 3, 0x20000);
        _datagram(window, 7);
    }
}

void RelayDouble::_engineLoop(int engine) {
    std::vector<char> buffer(1 << 20);
    size_t have = 0;
    Busy busy;
    for (;;) {
        ssize_t r = ::recv(engine, buffer.data() + have, buffer.size() - have, 0);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) break;
        long long const took = nowNs();
        have += static_cast<size_t>(r);
        size_t pos = 0;
        while (have - pos >= 4) {
            unsigned const size = get32(buffer.data() + pos);
            if (size < 4 || size > buffer.size()) {
                have = 0;  // a broken stream: the connection goes
                r = -1;
                break;
            }
            if (have - pos < size) break;
            char const* body = buffer.data() + pos + 4;
            if (size >= wire::HEAD && body[0] == 1)
                _onFrame(engine, body[1], body + 2, static_cast<int>(size) - 6, took, &busy);
            pos += size;
        }
        if (r < 0) break;
        std::memmove(buffer.data(), buffer.data() + pos, have - pos);
        have -= pos;
    }
    if (m_engine == engine) m_engine = -1;
    ::close(engine);
}

void RelayDouble::_onFrame(int engine, char kind, char const* p, int n, long long took, Busy* busy) {
    if (kind == wire::DICTIONARY) {
        static char const reply[] = {'@', 0, 6, 0, 0, 0, 'r', 'e', 't', 'u', 'r', 'n'};
        _sendFrame(engine, wire::DICTIONARY, reply, sizeof reply, nullptr, 0);
        if (std::string(p, static_cast<size_t>(n)).find("tunnel_create") != std::string::npos)
            m_engine = engine;
        return;
    }
    if (kind != wire::DATAGRAM || n < 3) return;
    unsigned const id = get16(p + 1);
    if (id == 0) return;
    Channel* c = &m_channels[id];
    switch (p[0]) {
        case wire::DATA: {
            if (n < 5) return;
            int const count = static_cast<int>(get16(p + 3));
            if (n - 5 < count) return;  // a length beyond its frame
            int fd;
            {
                std::lock_guard<std::mutex> guard(c->lock);
                fd = c->fd;
                if (c->writeDone) fd = -1;
                // The first byte beyond a returned grant could only leave
                // the engine once that grant had reached it.
                c->received += count;
                long long const at = nowNs();
                while (!c->grants.empty() && c->grants.front().first < c->received) {
                    m_figures->upNs += at - c->grants.front().second;
                    ++m_figures->upCount;
                    c->grants.pop_front();
                }
            }
            if (fd < 0) return;
            // Credit goes back for every frame as soon as its bytes are
            // written to the public user. Behind bytes still queued for
            // the channel's writer, or while several channels are busy,
            // the frame goes to the writer.
            Writer* w = &_writerOf(id);
            bool const several = busy->several(id, took);
            std::unique_lock<std::mutex> held(w->lock);
            if (c->shutdownPending) return;
            if (c->scheduled || several) {
                _queue(w, &held, c, id, fd, p + 5, count, count, took);
                return;
            }
            held.unlock();
            // Nothing of the channel waits (and only the reader queues),
            // so the bytes go out straight, without blocking the reader
            // on a slow user: what does not fit goes to the writer.
            int done = 0;
            while (done < count) {
                ssize_t sent =
                    ::send(fd, p + 5 + done, static_cast<size_t>(count - done), MSG_DONTWAIT | MSG_NOSIGNAL);
                if (sent < 0 && errno == EINTR) continue;
                if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
                if (sent <= 0) return;  // a broken user: no credit
                done += static_cast<int>(sent);
            }
            if (done < count) {
                held.lock();
                _queue(w, &held, c, id, fd, p + 5 + done, count - done, count, took);
                return;
            }
            Channel::Out const frame{0, count, took};
            _credit(c, id, &frame, 1);
            return;
        }
        case wire::WINDOW: {
            if (n < 7) return;
            std::lock_guard<std::mutex> guard(c->lock);
            if (c->fd < 0) return;
            long long const amount = get32(p + 3);
            c->credit += amount;
            if (c->granted < 0) {
                c->granted = amount;
            } else {
                c->returned += amount;
                long long const at = nowNs();
                while (!c->inFlight.empty() && c->inFlight.front().after <= c->returned) {
                    m_figures->downByteNs += (at - c->inFlight.front().ns) * c->inFlight.front().bytes;
                    m_figures->downBytes += c->inFlight.front().bytes;
                    c->inFlight.pop_front();
                }
            }
            // Only the send: the epoll threads read the user again.
            _pump(c, id, false);
            return;
        }
        case wire::SHUTDOWN: {
            {
                std::lock_guard<std::mutex> guard(_writerOf(id).lock);
                if (c->scheduled) {
                    c->shutdownPending = true;  // after the queued bytes, by the writer
                    return;
                }
            }
            std::lock_guard<std::mutex> guard(c->lock);
            _engineShutdown(c, id);
            return;
        }
        default:
            return;
    }
}

void RelayDouble::_engineShutdown(Channel* c, unsigned id) {
    if (c->fd < 0 || c->writeDone) return;
    c->writeDone = true;
    ::shutdown(c->fd, SHUT_WR);
    // A user that is done too, or that never got credit, goes now.
    if (c->readDone || c->credit <= 0) {
        if (!c->readDone) _sendShutdown(c, id);
        _release(c, id);
    }
}

}  // namespace bench
