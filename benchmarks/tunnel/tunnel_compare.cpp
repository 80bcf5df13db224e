// Side-by-side benchmark of the tunnel engine on loopback.
//
// Three paths to one local target are measured in the same run, round by
// round (interleaved, so that drift of a shared machine hits them alike):
//   direct   user -> target
//   socat    user -> socat -> socat -> target (two hops, -b 131072)
//   engine   user -> relay double -> engine -> target
// Every party runs in a process of its own: the target, the relay double
// (plain blocking sockets and epoll, fast enough not to be the bottleneck),
// the engine (a forward worker of tunnel::NatManager) and the two socat
// hops. Users are threads of this process with blocking sockets.
//
//   tunnel_compare [rounds, default 3] [MiB per bulk run, default 512] [idle channels, default 2000]
//                  [paths, default direct,socat,engine: a profiling run may take one]
//
// Printed: bulk Gbit/s both ways on 1 and 8 streams, engine CPU s/GB, the
// round trip p50/p99 of a 14-byte exchange (and through the relay double
// alone, with an echoing peer in place of engine and target), the credit
// round trip of one channel with the bound it sets (window / loop), the
// busiest thread of the engine and of the double in each bulk run, bulk
// beside idle channels, and memory per idle channel at 1,000 and 10,000
// channels, each with ratios.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <signal.h>
#include <sys/epoll.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <sys/wait.h>
#include <unistd.h>

#include <dirent.h>
#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "benchmarks/support/BlockingUser.h"
#include "benchmarks/support/EngineChild.h"
#include "benchmarks/support/ProcessStats.h"
#include "gt/core/lang/String.h"
#include "gt/core/util/Array.h"
#include "gt/core/util/CodePage.h"
#include "gt/net/socket/SocketAddress.h"
#include "gt/util/ILogRecorder.h"
#include "gt/util/ThreadSafeLogRecorder.h"
#include "tunnel/nat/Nat.h"
#include "tunnel/nat/NatManager.h"

namespace {

using bench::busiestThread;
using bench::Clock;
using bench::closeAll;
using bench::connectTo;
using bench::cpuSeconds;
using bench::forkChild;
using bench::openDescriptors;
using bench::openIdle;
using bench::readAll;
using bench::rssBytes;
using bench::seconds;
using bench::threadCpuSeconds;
using bench::waitUntil;
using bench::writeAll;

// Bytes per second of streams users each sending bytes to the sink.
double bulkUp(unsigned short port, struct Shared* shared, int streams, long long bytes);
// Bytes per second of streams users each fetching bytes from the target.
double bulkDown(unsigned short port, int streams, long long bytes) {
    return bench::bulkFromTarget(port, streams, bytes, 1 << 17);
}
// Round trips of a 14-byte exchange with the echo, in microseconds, sorted.
std::vector<double> roundTrips(unsigned short port, int rounds) {
    return bench::roundTrips(port, 14, 50, rounds);
}

// ---- sockets ------------------------------------------------------------------

int listenLoopback(unsigned short* port) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(0x7F000001u);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(fd, 4096) != 0) {
        std::perror("listen");
        std::exit(1);
    }
    socklen_t n = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &n);
    *port = ntohs(a.sin_port);
    return fd;
}

// ---- processes ----------------------------------------------------------------

// Figures the target shares with this process.
struct Shared {
    std::atomic<long long> sunk;
    std::atomic<int> accepted;
    // Credit round trips the relay double sees, summed in nanoseconds, per
    // way. Toward the engine: from a DATA frame going out to the engine's
    // WINDOW that returns its bytes, weighted by the frame's bytes (frames
    // differ in size, and the mean time a byte of the window spends away is
    // what says how much of the window is in flight). From the engine: from
    // a WINDOW going out to the first DATA byte it lets the engine send, plus
    // the double's own time from taking DATA in to returning its credit.
    std::atomic<long long> downByteNs, downBytes;
    std::atomic<long long> upNs, upCount, upOwnNs, upOwnCount;

    void clearCredit() { downByteNs = downBytes = upNs = upCount = upOwnNs = upOwnCount = 0; }
    // Mean credit round trip in seconds, 0 without samples.
    double downLoop() const {
        return downBytes > 0 ? static_cast<double>(downByteNs) / static_cast<double>(downBytes) * 1e-9 : 0;
    }
    double upLoop() const {
        if (upCount == 0) return 0;
        double const own =
            upOwnCount > 0 ? static_cast<double>(upOwnNs) / static_cast<double>(upOwnCount) : 0;
        return (static_cast<double>(upNs) / static_cast<double>(upCount) + own) * 1e-9;
    }
};

long long nowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count();
}

// ---- target ---------------------------------------------------------------------
// The first byte of a connection chooses what it is: 'S' sink (counts into
// the shared figures until end of file), 'G' + 8 bytes n: writes n bytes and
// closes, 'E' echo. Connections that send nothing are held idle in an epoll
// set; each one that speaks gets a thread.

void serveTarget(int fd, Shared* shared) {
    char mode = 0;
    if (!readAll(fd, &mode, 1)) {
        ::close(fd);
        return;
    }
    std::vector<char> buffer(1 << 17, 'g');
    if (mode == 'S') {
        for (;;) {
            ssize_t r = ::recv(fd, buffer.data(), buffer.size(), 0);
            if (r < 0 && errno == EINTR) continue;
            if (r <= 0) break;
            shared->sunk += r;
        }
    } else if (mode == 'G') {
        long long n = 0;
        if (readAll(fd, &n, sizeof n)) {
            while (n > 0) {
                size_t const step =
                    static_cast<size_t>(std::min<long long>(n, static_cast<long long>(buffer.size())));
                if (!writeAll(fd, buffer.data(), step)) break;
                n -= static_cast<long long>(step);
            }
        }
    } else if (mode == 'E') {
        for (;;) {
            ssize_t r = ::recv(fd, buffer.data(), buffer.size(), 0);
            if (r < 0 && errno == EINTR) continue;
            if (r <= 0 || !writeAll(fd, buffer.data(), static_cast<size_t>(r))) break;
        }
    }
    ::close(fd);
}

void targetMain(int listener, Shared* shared) {
    ::fcntl(listener, F_SETFL, ::fcntl(listener, F_GETFL) | O_NONBLOCK);
    int ep = ::epoll_create1(EPOLL_CLOEXEC);
    epoll_event ev{};
    ev.events = EPOLLIN;
    ev.data.fd = listener;
    ::epoll_ctl(ep, EPOLL_CTL_ADD, listener, &ev);
    epoll_event ready[256];
    for (;;) {
        int n = ::epoll_wait(ep, ready, 256, -1);
        for (int i = 0; i < n; ++i) {
            int const fd = ready[i].data.fd;
            if (fd == listener) {
                for (;;) {
                    int c = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
                    if (c < 0) break;
                    ++shared->accepted;
                    int one = 1;
                    ::setsockopt(c, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
                    epoll_event e{};
                    e.events = EPOLLIN | EPOLLRDHUP;
                    e.data.fd = c;
                    ::epoll_ctl(ep, EPOLL_CTL_ADD, c, &e);
                }
                continue;
            }
            ::epoll_ctl(ep, EPOLL_CTL_DEL, fd, nullptr);
            ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
            std::thread(serveTarget, fd, shared).detach();
        }
    }
}

// ---- relay double -----------------------------------------------------------------
// Frames: size (LE 32, counting itself) | 01 | kind | body. Kind 1 is a
// dictionary (every call is answered with "@" = "return"), kind 2 a tunnel
// datagram: CONNECT 01, SHUTDOWN 03, DATA 04 (length LE 16), WINDOW 05 (LE 32).
// One thread reads the engine connection and writes DATA to the public
// sockets itself while one channel is busy; while several are, it hands the
// payloads to a few writer threads (a channel to one of them). A few threads
// share an epoll set that accepts public users and reads them ahead of the
// engine's credit, sending within it.

class Relay {
public:
    Relay(int engineListener, int publicListener, Shared* shared)
        : m_engineListener(engineListener), m_publicListener(publicListener), m_shared(shared) {}

    // Every engine connection gets a reader; the one that asked for
    // "tunnel_create" last carries the public users.
    void run() {
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
        for (int i = 0; i < kPublicThreads; ++i)
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

private:
    struct Channel {
        std::mutex lock;
        int fd = -1;
        long long credit = 0;  // bytes the engine lets us send
        bool armed = false;
        bool readDone = false;  // SHUTDOWN sent to the engine
        bool writeDone = false;
        // Bytes read from the user ahead of the engine's credit, as a ring,
        // so that credit coming back is spent on sending alone: a relay
        // that reads the public side only once it has credit adds that
        // read to every credit round trip. Allocated at the first byte.
        std::vector<char> ahead;
        size_t aheadStart = 0, aheadLength = 0;
        bool userDone = false;  // the user's end of stream (or an error) was read
        // Credit round trips toward the engine: bytes sent so far with the
        // time each frame went, and the credit the engine has given back.
        long long sent = 0;
        long long granted = -1;  // the engine's first WINDOW is its opening grant, not a return
        long long returned = 0;
        struct Sent {
            long long after;  // bytes sent once the frame was
            long long ns;     // when it went
            long long bytes;
        };
        std::deque<Sent> inFlight;
        // From the engine: bytes taken in, and each returned grant as
        // (credit before it, ns).
        long long received = 0;
        long long given = 0;
        std::deque<std::pair<long long, long long>> grants;
        // DATA from the engine handed to a writer thread, guarded by that
        // writer's lock: the payloads in a ring (allocated at the first
        // hand-over, dropped at release) and per frame the bytes still to
        // write, the credit it returns and when the engine reader took it in.
        struct Out {
            int left;
            int count;
            long long took;
        };
        int outFd = -1;
        std::vector<char> out;
        size_t outStart = 0, outLength = 0;
        std::vector<Out> outFrames;  // from outHead on
        size_t outHead = 0;
        bool scheduled = false;        // in a writer's list or being written
        bool shutdownPending = false;  // the engine's SHUTDOWN waits for the queued bytes
    };

    // A writer thread: the channels with bytes for it, in the order they
    // got them. A channel is in one writer's list at most once.
    struct Writer {
        std::mutex lock;
        std::condition_variable wake, room;
        std::deque<unsigned> ready;
        bool waiting = false;
    };

    static void put16(char* p, unsigned v) {
        p[0] = static_cast<char>(v);
        p[1] = static_cast<char>(v >> 8);
    }
    static void put32(char* p, unsigned v) {
        put16(p, v & 0xFFFF);
        put16(p + 2, v >> 16);
    }
    static unsigned get16(char const* p) {
        return static_cast<unsigned char>(p[0]) | (static_cast<unsigned char>(p[1]) << 8);
    }
    static unsigned get32(char const* p) { return get16(p) | (get16(p + 2) << 16); }

    void _sendFrame(int fd, char kind, char const* head, int headLength, char const* body, int bodyLength) {
        char prefix[6];
        put32(prefix, static_cast<unsigned>(6 + headLength + bodyLength));
        prefix[4] = 1;
        prefix[5] = kind;
        iovec parts[3] = {{prefix, 6},
                          {const_cast<char*>(head), static_cast<size_t>(headLength)},
                          {const_cast<char*>(body), static_cast<size_t>(bodyLength)}};
        _writeParts(fd, parts, 3);
    }

    void _datagram(char const* head, int n) { _sendFrame(m_engine, 2, head, n, nullptr, 0); }

    // Whole frames already encoded, in one write.
    void _sendBytes(int fd, char const* data, size_t n) {
        iovec part = {const_cast<char*>(data), n};
        _writeParts(fd, &part, 1);
    }

    // Writes every part under the write lock, so that frames of several
    // threads never interleave; a broken connection ends it.
    void _writeParts(int fd, iovec* parts, int count) {
        std::lock_guard<std::mutex> guard(m_writeLock);
        int first = 0;
        while (first < count) {
            ssize_t w = ::writev(fd, parts + first, count - first);
            if (w < 0 && errno == EINTR) continue;
            if (w <= 0) return;
            _skipWritten(parts, count, &first, static_cast<size_t>(w));
        }
    }

    // Moves parts[*first..count) past n written bytes.
    static void _skipWritten(iovec* parts, int count, int* first, size_t n) {
        while (*first < count && n >= parts[*first].iov_len) {
            n -= parts[*first].iov_len;
            ++*first;
        }
        if (*first < count) {
            parts[*first].iov_base = static_cast<char*>(parts[*first].iov_base) + n;
            parts[*first].iov_len -= n;
        }
    }

    static constexpr int kPublicThreads = 4;
    // Most bytes a channel reads ahead of its credit: one window.
    static constexpr size_t kAhead = 0x20000;
    // Threads that write DATA from the engine to the users while several
    // channels are busy (a channel always goes to the same one, so that its
    // bytes stay in order).
    static constexpr int kWriters = 4;
    // Bytes a channel may have waiting for its writer: the engine's credit
    // holds it to one window; twice that leaves room for a partial frame.
    static constexpr size_t kOut = 2 * kAhead;
    // A DATA frame for another channel within this time of the last one
    // says that several channels are busy.
    static constexpr long long kBusyNs = 1000000;

    Writer& _writerOf(unsigned id) { return m_writers[id % kWriters]; }

    // Which channels the engine reader saw DATA for lately. While one
    // channel alone is busy its DATA goes straight to the user from the
    // reader: a hand-over to another thread would add a wake-up to every
    // credit round trip. While several are, the reader only copies and
    // the writes to the users (the larger share of the work) spread over
    // the writers.
    struct Busy {
        unsigned lastId = 0;
        long long lastNs = 0;
        long long severalUntil = 0;

        bool several(unsigned id, long long now) {
            if (id != lastId && now - lastNs < kBusyNs) severalUntil = now + 2 * kBusyNs;
            lastId = id;
            lastNs = now;
            return now < severalUntil;
        }
    };

    // Credit back for frames whose bytes are written to the user, one
    // WINDOW each, in one write to the engine.
    void _credit(Channel* c, unsigned id, Channel::Out const* frames, size_t n) {
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
                m_shared->upOwnNs += at - frames[i].took;
                ++m_shared->upOwnCount;
            }
        }
        for (size_t i = 0; i < n; ++i) {
            char* f = out + 13 * i;
            put32(f, 13);
            f[4] = 1;
            f[5] = 2;
            f[6] = 5;
            put16(f + 7, id);
            put32(f + 9, static_cast<unsigned>(frames[i].count));
        }
        _sendBytes(m_engine, out, 13 * n);
    }

    // Appends a DATA payload to the channel's queue for its writer and
    // wakes the writer if it sleeps; called with the writer's lock held,
    // which it lets go.
    void _queue(Writer* w, std::unique_lock<std::mutex>* held, Channel* c, unsigned id, int fd,
                char const* data, int left, int count, long long took) {
        if (c->out.empty()) c->out.resize(kOut);
        // Only an engine that sends beyond its credit fills the ring: it
        // waits for the writer then.
        while (kOut - c->outLength < static_cast<size_t>(left))
            w->room.wait(*held);
        size_t const end = (c->outStart + c->outLength) % kOut;
        size_t const first = std::min(static_cast<size_t>(left), kOut - end);
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

    // Writes the queued DATA of one channel at a time, all its frames in
    // one go, and returns the credit of each frame as its bytes are out.
    // The engine's SHUTDOWN for a channel waits here until its bytes are.
    void _writerLoop(Writer* w) {
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
                frames.assign(c->outFrames.begin() + static_cast<std::ptrdiff_t>(c->outHead),
                              c->outFrames.end());
                total = c->outLength;
                size_t const first = std::min(total, kOut - c->outStart);
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
                c->outStart = (c->outStart + total) % kOut;
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

    void _arm(Channel* c) {
        // Called with the channel's lock held: the user is read while there
        // is room ahead, whatever the credit.
        if (c->armed || c->userDone || c->aheadLength >= kAhead) return;
        epoll_event e{};
        e.events = EPOLLIN | EPOLLONESHOT;
        e.data.u32 = static_cast<unsigned>(&*c - &m_channels[0]);
        ::epoll_ctl(m_epoll, c->fd >= 0 && m_registered[e.data.u32] ? EPOLL_CTL_MOD : EPOLL_CTL_ADD, c->fd,
                    &e);
        m_registered[e.data.u32] = true;
        c->armed = true;
    }

    void _release(Channel* c, unsigned id) {
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

    void _publicLoop() {
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

    // Reads the user ahead into the ring (when fill) and sends from it
    // within the credit; called with the channel's lock held, by the epoll
    // threads and, without fill, by the engine reader as soon as credit
    // arrives: the bytes read ahead go out with no wake-up of another
    // thread on the way, and the reader is spared the reads of the users.
    void _pump(Channel* c, unsigned id, bool fill) {
        for (;;) {
            // Fill the free part of the ring that follows its data.
            while (fill && c->fd >= 0 && !c->userDone && c->aheadLength < kAhead) {
                if (c->ahead.empty()) c->ahead.resize(kAhead);
                size_t const end = (c->aheadStart + c->aheadLength) % kAhead;
                size_t const room = std::min(kAhead - c->aheadLength, kAhead - end);
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
                size_t const part = std::min(c->aheadLength, kAhead - c->aheadStart);
                int const n =
                    static_cast<int>(std::min<long long>({c->credit, 65535, static_cast<long long>(part)}));
                char head[5] = {4};
                put16(head + 1, id);
                put16(head + 3, static_cast<unsigned>(n));
                c->credit -= n;
                c->sent += n;
                c->inFlight.push_back({c->sent, nowNs(), n});
                _sendFrame(m_engine, 2, head, 5, c->ahead.data() + c->aheadStart, n);
                c->aheadStart = (c->aheadStart + static_cast<size_t>(n)) % kAhead;
                c->aheadLength -= static_cast<size_t>(n);
                sentAny = true;
            }
            // Room made by sending is filled again at once.
            if (!fill || !sentAny || c->userDone || c->fd < 0) break;
        }
        if (c->fd >= 0 && c->userDone && c->aheadLength == 0 && !c->readDone) {
            c->readDone = true;
            char head[3] = {3};
            put16(head + 1, id);
            _datagram(head, 3);
            if (c->writeDone) _release(c, id);
        }
        if (c->fd >= 0) _arm(c);
    }

    void _accept() {
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
            char connect[10] = {1};
            put16(connect + 1, id);
            connect[3] = 2;  // TCP
            put32(connect + 4, ntohl(peer.sin_addr.s_addr));
            put16(connect + 8, ntohs(peer.sin_port));
            _datagram(connect, 10);
            char window[7] = {5};
            put16(window + 1, id);
            put32(window + 3, 0x20000);
            _datagram(window, 7);
        }
    }

    void _engineLoop(int engine) {
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
                if (size >= 6 && body[0] == 1)
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

    void _onFrame(int engine, char kind, char const* p, int n, long long took, Busy* busy) {
        if (kind == 1) {
            static char const reply[] = {'@', 0, 6, 0, 0, 0, 'r', 'e', 't', 'u', 'r', 'n'};
            _sendFrame(engine, 1, reply, sizeof reply, nullptr, 0);
            if (std::string(p, static_cast<size_t>(n)).find("tunnel_create") != std::string::npos)
                m_engine = engine;
            return;
        }
        if (kind != 2 || n < 3) return;
        unsigned const id = get16(p + 1);
        if (id == 0) return;
        Channel* c = &m_channels[id];
        switch (p[0]) {
            case 4: {  // DATA
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
                        m_shared->upNs += at - c->grants.front().second;
                        ++m_shared->upCount;
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
                    ssize_t sent = ::send(fd, p + 5 + done, static_cast<size_t>(count - done),
                                          MSG_DONTWAIT | MSG_NOSIGNAL);
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
            case 5: {  // WINDOW
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
                        m_shared->downByteNs += (at - c->inFlight.front().ns) * c->inFlight.front().bytes;
                        m_shared->downBytes += c->inFlight.front().bytes;
                        c->inFlight.pop_front();
                    }
                }
                // Only the send: the epoll threads read the user again.
                _pump(c, id, false);
                return;
            }
            case 3: {  // SHUTDOWN
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

    // The engine is done sending on a channel; called with the channel's
    // lock held, once the bytes before it are written to the user.
    void _engineShutdown(Channel* c, unsigned id) {
        if (c->fd < 0 || c->writeDone) return;
        c->writeDone = true;
        ::shutdown(c->fd, SHUT_WR);
        // A user that is done too, or that never got credit, goes now.
        if (c->readDone || c->credit <= 0) {
            if (!c->readDone) {
                c->readDone = true;
                char head[3] = {3};
                put16(head + 1, id);
                _datagram(head, 3);
            }
            _release(c, id);
        }
    }

    int m_engineListener;
    int m_publicListener;
    Shared* m_shared;
    std::atomic<int> m_engine{-1};
    int m_epoll = -1;
    std::mutex m_writeLock;
    std::mutex m_idLock;
    std::vector<unsigned> m_free;
    std::vector<Channel> m_channels = std::vector<Channel>(65536);
    std::vector<char> m_registered = std::vector<char>(65536, 0);
    std::array<Writer, kWriters> m_writers;
};

// ---- echoing peer ------------------------------------------------------------------
// Stands in for the engine behind a second relay double, so that the round
// trip through the double alone can be told from the engine's share: it
// opens the tunnel, grants every channel a window, drops each channel's
// first byte (the target's mode byte) and sends every other DATA byte back.

void echoPeerMain(unsigned short relayPort) {
    int const fd = connectTo(relayPort);
    if (fd < 0) return;
    auto frame = [&](char kind, char const* body, int n) {
        char head[6];
        unsigned const size = static_cast<unsigned>(6 + n);
        for (int i = 0; i < 4; ++i)
            head[i] = static_cast<char>(size >> (8 * i));
        head[4] = 1;
        head[5] = kind;
        iovec parts[2] = {{head, 6}, {const_cast<char*>(body), static_cast<size_t>(n)}};
        size_t const total = 6 + static_cast<size_t>(n);
        return ::writev(fd, parts, 2) == static_cast<ssize_t>(total);  // small frames: whole or broken
    };
    char const open[] = "tunnel_create";
    if (!frame(1, open, sizeof open - 1)) return;
    std::vector<char> buffer(1 << 20);
    std::vector<char> seen(65536, 0);
    size_t have = 0;
    for (;;) {
        ssize_t r = ::recv(fd, buffer.data() + have, buffer.size() - have, 0);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return;
        have += static_cast<size_t>(r);
        size_t pos = 0;
        while (have - pos >= 4) {
            unsigned char const* b = reinterpret_cast<unsigned char const*>(buffer.data() + pos);
            unsigned const size = b[0] | (b[1] << 8) | (b[2] << 16) | (static_cast<unsigned>(b[3]) << 24);
            if (size < 6 || size > buffer.size()) return;
            if (have - pos < size) break;
            char* d = buffer.data() + pos + 6;
            int const n = static_cast<int>(size) - 6;
            if (b[5] == 2 && n >= 3) {
                unsigned const id =
                    static_cast<unsigned char>(d[1]) | (static_cast<unsigned char>(d[2]) << 8);
                if (d[0] == 1) {  // CONNECT: a window for the double
                    seen[id] = 0;
                    char window[7] = {5, d[1], d[2], 0, 0, 2, 0};
                    frame(2, window, 7);
                } else if (d[0] == 4 && n >= 5) {  // DATA: back the same way
                    int count = n - 5;
                    char* data = d + 5;
                    if (!seen[id] && count > 0) {
                        seen[id] = 1;
                        ++data;
                        --count;
                    }
                    if (count > 0) {
                        std::vector<char> back(5 + static_cast<size_t>(count));
                        back[0] = 4;
                        back[1] = d[1];
                        back[2] = d[2];
                        back[3] = static_cast<char>(count);
                        back[4] = static_cast<char>(count >> 8);
                        std::memcpy(back.data() + 5, data, static_cast<size_t>(count));
                        frame(2, back.data(), static_cast<int>(back.size()));
                    }
                }
            }
            pos += size;
        }
        std::memmove(buffer.data(), buffer.data() + pos, have - pos);
        have -= pos;
    }
}

// ---- measurements ---------------------------------------------------------------------

double bulkUp(unsigned short port, Shared* shared, int streams, long long bytes) {
    return bench::bulkToSink(port, streams, bytes, 1 << 17, [shared] { return shared->sunk.load(); });
}

double percentile(std::vector<double> const& sorted, double p) {
    if (sorted.empty()) return 0;
    size_t i = static_cast<size_t>(p * static_cast<double>(sorted.size() - 1) + 0.5);
    return sorted[std::min(i, sorted.size() - 1)];
}

double median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

enum Path { DIRECT, SOCAT, ENGINE, PATHS };
char const* const kPathNames[PATHS] = {"direct", "socat 2 hops", "engine"};

struct Row {
    std::string name;
    std::string unit;
    std::vector<double> samples[PATHS];
};

}  // namespace

int main(int argc, char** argv) {
    int const rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    long long const mib = argc > 2 ? std::max(1LL, std::atoll(argv[2])) : 512;
    int idle = argc > 3 ? std::max(0, std::atoi(argv[3])) : 2000;
    std::string const only = argc > 4 ? argv[4] : "direct,socat,engine";
    ::signal(SIGPIPE, SIG_IGN);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    rlimit limit;
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0) {
        limit.rlim_cur = limit.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &limit);
    }
    long long const bulk = mib * 1024 * 1024;

    auto* shared = static_cast<Shared*>(
        ::mmap(nullptr, sizeof(Shared), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0));
    new (shared) Shared();

    unsigned short targetPort, relayPort, publicPort, socatPort, socatInner;
    int const targetListener = listenLoopback(&targetPort);
    int const relayListener = listenLoopback(&relayPort);
    int const publicListener = listenLoopback(&publicPort);
    std::vector<pid_t> children;
    pid_t const target = forkChild([&] { targetMain(targetListener, shared); });
    children.push_back(target);
    pid_t const relay = forkChild([&] {
        Relay r(relayListener, publicListener, shared);
        r.run();
    });
    children.push_back(relay);
    // A second relay double with an echoing peer in place of the engine.
    unsigned short relayPort2, publicPort2;
    int const relayListener2 = listenLoopback(&relayPort2);
    int const publicListener2 = listenLoopback(&publicPort2);
    children.push_back(forkChild([&] {
        Relay r(relayListener2, publicListener2, shared);
        r.run();
    }));
    children.push_back(forkChild([&] {
        ::close(targetListener);
        echoPeerMain(relayPort2);
    }));
    ::close(relayListener2);
    ::close(publicListener2);
    pid_t const engine = forkChild([&] {
        ::close(targetListener);
        ::close(relayListener);
        ::close(publicListener);
        bench::runEngine(relayPort, targetPort, true, [] {
            for (;;)
                ::pause();  // ended by the parent
        });
    });
    children.push_back(engine);

    // Two socat hops: two free ports are taken by binding and letting go.
    bool const haveSocat = ::access("/usr/bin/socat", X_OK) == 0;
    pid_t socatOuter = -1, socatHop = -1;
    if (haveSocat) {
        int a = listenLoopback(&socatPort), b = listenLoopback(&socatInner);
        ::close(a);
        ::close(b);
        auto startSocat = [&](unsigned short listen, unsigned short to) {
            std::string const l =
                "TCP4-LISTEN:" + std::to_string(listen) + ",bind=127.0.0.1,reuseaddr,fork,backlog=4096";
            std::string const c = "TCP4:127.0.0.1:" + std::to_string(to) + ",nodelay";
            return forkChild([&] {
                int devnull = ::open("/dev/null", O_WRONLY);
                ::dup2(devnull, 2);
                ::execl("/usr/bin/socat", "socat", "-b", "131072", l.c_str(), c.c_str(),
                        static_cast<char*>(nullptr));
            });
        };
        socatHop = startSocat(socatInner, targetPort);
        socatOuter = startSocat(socatPort, socatInner);
        children.push_back(socatHop);
        children.push_back(socatOuter);
    } else {
        std::printf("socat is not installed (apt-get install socat): its column stays empty\n");
    }
    ::close(targetListener);
    ::close(relayListener);
    ::close(publicListener);

    auto finish = [&](int code) {
        for (pid_t pid : children)
            ::kill(pid, SIGKILL);
        for (pid_t pid : children)
            ::waitpid(pid, nullptr, 0);
        return code;
    };
    // The engine opens its tunnel: a public connection gets through.
    bool up = waitUntil(
        [&] {
            int fd = connectTo(publicPort);
            if (fd < 0) return false;
            bool ok = writeAll(fd, "E", 1) && writeAll(fd, "ping", 4);
            char back[4];
            ok = ok && readAll(fd, back, 4);
            ::close(fd);
            if (!ok) std::this_thread::sleep_for(std::chrono::milliseconds(200));
            return ok;
        },
        20000);
    bool socatUp = haveSocat && waitUntil(
                                    [&] {
                                        int fd = connectTo(socatPort);
                                        if (fd >= 0) ::close(fd);
                                        return fd >= 0;
                                    },
                                    5000);
    if (!up) {
        std::fprintf(stderr, "the engine did not open its tunnel\n");
        return finish(1);
    }
    auto chosen = [&](char const* name, unsigned short port) {
        return only.find(name) != std::string::npos ? port : static_cast<unsigned short>(0);
    };
    unsigned short const ports[PATHS] = {
        chosen("direct", targetPort), chosen("socat", socatUp ? socatPort : static_cast<unsigned short>(0)),
        chosen("engine", publicPort)};

    std::vector<Row> rows;
    auto row = [&](std::string const& name, std::string const& unit) -> Row& {
        for (Row& r : rows)
            if (r.name == name) return r;
        rows.push_back(Row{name, unit, {}});
        return rows.back();
    };
    double const gbit = 8e-9;
    double socatCpu = 0, socatBytes = 0;
    std::vector<double> cpuPerGb, cpuPerGbIdle;
    std::vector<double> doubleAlone[2];  // p50, p99 through the relay double and an echoing peer
    // Per bulk row: the busiest engine thread and relay double thread, as a
    // share of one core. Near 1 says that thread set the pace.
    std::map<std::string, std::pair<std::vector<double>, std::vector<double>>> busy;
    // One channel moves at most its window per credit round trip. Under
    // bulk the loop holds the engine's work on a window and its wait for a
    // 64 KiB return portion; reached/bound is the share of the window in
    // flight on average (bytes moved per second times the time a byte is
    // away, over the window): near 1, the loop, not the copying, set the pace.
    struct Loop {
        char const* name;
        std::vector<double> us, bound, reached;
        void add(double loop, double gbits) {
            if (loop <= 0) return;
            us.push_back(loop * 1e6);
            bound.push_back(0x20000 * 8e-9 / loop);
            if (gbits > 0) reached.push_back(gbits / bound.back());
        }
    } loops[2] = {{"bulk 1 stream relay->local", {}, {}, {}}, {"bulk 1 stream local->relay", {}, {}, {}}};

    // Memory per idle channel first, before bulk runs leave freed buffers in
    // the engine's heap: the engine's growth while it holds them. The
    // channel of the start-up check is reaped first (the engine removes
    // closed channels once a second), so that it is not in the baseline.
    std::this_thread::sleep_for(std::chrono::milliseconds(2500));
    std::vector<std::pair<int, double>> memory;
    // Also the engine's CPU time per channel opened and closed again.
    double openCpu = 0;
    int opened = 0;
    for (int n : {1000, 10000}) {
        double const cpuBefore = cpuSeconds(engine);
        int const fdsBefore = openDescriptors(engine);
        long long const rssBefore = rssBytes(engine);
        std::vector<int> fds = openIdle(publicPort, n);
        waitUntil([&] { return openDescriptors(engine) - fdsBefore >= n; }, 30000);
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        int const held = openDescriptors(engine) - fdsBefore;
        long long const rssAfter = rssBytes(engine);
        memory.emplace_back(held, held > 0 ? static_cast<double>(rssAfter - rssBefore) / held : 0);
        closeAll(&fds);
        std::this_thread::sleep_for(std::chrono::milliseconds(2500));
        openCpu += cpuSeconds(engine) - cpuBefore;
        opened += held;
    }

    std::printf("%d rounds, %lld MiB per bulk run, %d idle channels; paths interleaved in each round\n",
                rounds, mib, idle);
    for (int round = 0; round < rounds; ++round) {
        for (int path = 0; path < PATHS; ++path) {
            unsigned short const port = ports[path];
            if (port == 0) continue;
            pid_t const watched = path == ENGINE ? engine : path == SOCAT ? socatOuter : -1;
            double const cpu0 =
                watched > 0 ? cpuSeconds(watched) + (path == SOCAT ? cpuSeconds(socatHop) : 0) : 0;
            long long moved = 0;
            // A bulk run; on the engine's path also how busy the busiest
            // thread of the engine and of the relay double was meanwhile.
            auto bulkRun = [&](char const* name, std::function<double()> const& run) {
                std::map<std::string, double> e0, r0;
                if (path == ENGINE) e0 = threadCpuSeconds(engine), r0 = threadCpuSeconds(relay);
                auto const start = Clock::now();
                double const gbits = run() * gbit;
                row(name, "Gbit/s").samples[path].push_back(gbits);
                if (path == ENGINE) {
                    double const elapsed = seconds(start);
                    busy[name].first.push_back(busiestThread(e0, threadCpuSeconds(engine), elapsed));
                    busy[name].second.push_back(busiestThread(r0, threadCpuSeconds(relay), elapsed));
                }
                return gbits;
            };
            shared->clearCredit();
            double const up1 =
                bulkRun("bulk 1 stream relay->local", [&] { return bulkUp(port, shared, 1, bulk); });
            if (path == ENGINE) loops[0].add(shared->downLoop(), up1);
            shared->clearCredit();
            double const down1 =
                bulkRun("bulk 1 stream local->relay", [&] { return bulkDown(port, 1, bulk); });
            if (path == ENGINE) loops[1].add(shared->upLoop(), down1);
            bulkRun("bulk 8 streams relay->local", [&] { return bulkUp(port, shared, 8, bulk / 8); });
            bulkRun("bulk 8 streams local->relay", [&] { return bulkDown(port, 8, bulk / 8); });
            moved += 4 * bulk;
            if (watched > 0) {
                // Finished socat children are counted once their parent reaps them.
                std::this_thread::sleep_for(std::chrono::milliseconds(200));
                double const cpu = cpuSeconds(watched) + (path == SOCAT ? cpuSeconds(socatHop) : 0) - cpu0;
                if (path == ENGINE) {
                    cpuPerGb.push_back(cpu / (static_cast<double>(moved) / 1e9));
                } else {
                    socatCpu += cpu;
                    socatBytes += static_cast<double>(moved);
                }
            }
            std::vector<double> const rtt = roundTrips(port, 5000);
            row("round trip p50 (14 B)", "us").samples[path].push_back(percentile(rtt, 0.5));
            row("round trip p99 (14 B)", "us").samples[path].push_back(percentile(rtt, 0.99));
            if (path == ENGINE) {
                std::vector<double> const alone = roundTrips(publicPort2, 5000);
                doubleAlone[0].push_back(percentile(alone, 0.5));
                doubleAlone[1].push_back(percentile(alone, 0.99));
            }

            if (path != ENGINE) continue;
            // The same bulk beside idle channels.
            int const base = openDescriptors(engine);
            std::vector<int> idleFds = openIdle(port, idle);
            waitUntil([&] { return openDescriptors(engine) - base >= static_cast<int>(idleFds.size()); },
                      10000);
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
            double const cpu1 = cpuSeconds(engine);
            row("bulk 1 stream relay->local beside idle", "Gbit/s")
                .samples[path]
                .push_back(bulkUp(port, shared, 1, bulk) * gbit);
            row("bulk 1 stream local->relay beside idle", "Gbit/s")
                .samples[path]
                .push_back(bulkDown(port, 1, bulk) * gbit);
            cpuPerGbIdle.push_back((cpuSeconds(engine) - cpu1) / (2.0 * static_cast<double>(bulk) / 1e9));
            closeAll(&idleFds);
            std::this_thread::sleep_for(std::chrono::milliseconds(1500));  // closed channels cleaned up
        }
        std::fflush(stdout);
    }

    std::printf("\n%-40s %12s %12s %12s %8s %8s\n", "median of the rounds", kPathNames[DIRECT],
                kPathNames[SOCAT], kPathNames[ENGINE], "e/socat", "e/direct");
    for (Row const& r : rows) {
        double m[PATHS];
        for (int p = 0; p < PATHS; ++p)
            m[p] = median(r.samples[p]);
        auto cell = [](double v) {
            char text[32];
            if (v == 0) return std::string("-");
            std::snprintf(text, sizeof text, "%.2f", v);
            return std::string(text);
        };
        std::printf("%-40s %12s %12s %12s %8s %8s   %s\n", r.name.c_str(), cell(m[DIRECT]).c_str(),
                    cell(m[SOCAT]).c_str(), cell(m[ENGINE]).c_str(),
                    m[SOCAT] > 0 ? cell(m[ENGINE] / m[SOCAT]).c_str() : "-",
                    m[DIRECT] > 0 ? cell(m[ENGINE] / m[DIRECT]).c_str() : "-", r.unit.c_str());
    }
    if (!doubleAlone[0].empty())
        std::printf(
            "\nround trip p50 / p99 through the relay double alone (an echoing peer in place of the engine "
            "and target): %.2f / %.2f us\n",
            median(doubleAlone[0]), median(doubleAlone[1]));
    std::printf("\ncredit round trip of one channel (128 KiB window), seen by the relay double:\n");
    std::printf("%-40s %12s %14s %14s\n", "", "loop, us", "bound, Gbit/s", "reached/bound");
    for (Loop const& l : loops) {
        if (l.us.empty()) continue;
        char reached[32] = "-";
        if (!l.reached.empty()) std::snprintf(reached, sizeof reached, "%.2f", median(l.reached));
        std::printf("%-40s %12.1f %14.2f %14s\n", l.name, median(l.us), median(l.bound), reached);
    }
    std::printf("\nbusiest thread during the engine's bulk runs, share of one core:\n");
    std::printf("%-40s %12s %14s\n", "", "engine", "relay double");
    for (Row const& r : rows) {
        auto const b = busy.find(r.name);
        if (b == busy.end()) continue;
        std::printf("%-40s %12.2f %14.2f\n", r.name.c_str(), median(b->second.first),
                    median(b->second.second));
    }
    std::printf("\n%-40s %12s %12s %12.2f   (socat: %.2f per hop)\n", "CPU s per GB relayed", "-", "-",
                median(cpuPerGb), socatBytes > 0 ? socatCpu / 2 / (socatBytes / 1e9) : 0.0);
    std::printf("%-40s %12s %12s %12.2f\n", "CPU s per GB beside idle", "-", "-", median(cpuPerGbIdle));
    auto rowMedian = [&](char const* name) {
        for (Row const& r : rows)
            if (r.name == name) return median(r.samples[ENGINE]);
        return 0.0;
    };
    for (char const* way : {"relay->local", "local->relay"}) {
        double const alone = rowMedian((std::string("bulk 1 stream ") + way).c_str());
        double const beside = rowMedian((std::string("bulk 1 stream ") + way + " beside idle").c_str());
        if (alone > 0)
            std::printf("throughput lost beside %d idle channels, %s: %.0f%%\n", idle, way,
                        100.0 * (1.0 - beside / alone));
    }
    for (auto const& m : memory)
        std::printf("memory per idle channel, %5d held:        %8.0f bytes\n", m.first, m.second);
    if (opened > 0)
        std::printf("engine CPU per channel opened and closed:  %8.1f us (%d channels)\n",
                    openCpu / opened * 1e6, opened);
    return finish(0);
}
