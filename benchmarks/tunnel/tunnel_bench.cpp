// Benchmark of one forward through the tunnel engine, on loopback.
//
// Three parts run here: a relay double and a local target (threads of this
// process, each on its own event loop of the project's network library), and
// the engine (a forward worker of tunnel::NatManager) in a child process of
// its own, so that its memory can be read alone. Public users are blocking
// sockets of the main thread. Every figure is measured once through the
// tunnel and once directly against the target, and printed with the ratio.
//
//   tunnel_bench [bulk MiB per channel, default 64] [idle channels, default 1000]
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <numeric>
#include <string>
#include <thread>
#include <vector>

#include "benchmarks/support/BlockingUser.h"
#include "benchmarks/support/EngineChild.h"
#include "benchmarks/support/ProcessStats.h"
#include "gt/core/lang/Binary.h"
#include "gt/core/util/Dictionary.h"
#include "gt/net/ISocketEventHandler.h"
#include "gt/net/SocketEventSelector.h"
#include "gt/net/channel/TcpSocketChannel.h"
#include "gt/net/socket/Socket.h"
#include "gt/net/socket/SocketAddress.h"
#include "support/Loopback.h"
#include "tunnel/client/ProtocolChannel.h"
#include "tunnel/client/TunnelDatagram.h"

using bench::rssBytes;
using bench::waitUntil;
using gt::core::Binary;
using gt::net::Socket;
using gt::net::SocketAddress;
using gt::net::SocketEventSelector;
using gt::net::TcpSocketChannel;
using gt::test::loopback;
using tunnel::TunnelDatagram;

namespace {

Socket listenOn() {
    Socket s(Socket::TYPE_TCP);
    s.setReuseAddress(true);
    s.bind(loopback(0));
    s.listen();
    ::listen(s.handle(), 4096);
    s.setBlocking(false);
    return s;
}

// Accepts connections of a listening socket on an event loop.
class Acceptor : public gt::net::ISocketEventHandler {
public:
    Acceptor(Socket* listener, SocketEventSelector* selector, std::function<void(Socket*)> accepted)
        : m_listener(listener), m_accepted(std::move(accepted)) {
        selector->addEventHandler(listener->handle(), this);
    }
    int getEvents() override { return EVENT_READ; }
    void onEvent(int bits) override {
        if (!(bits & EVENT_READ)) return;
        for (;;) {
            Socket s(0);
            if (!m_listener->accept(&s)) return;
            s.setNoDelay(true);
            m_accepted(&s);
        }
    }

private:
    Socket* m_listener;
    std::function<void(Socket*)> m_accepted;
};

// ---- local target ---------------------------------------------------------
// The first byte of a connection chooses its behaviour: 'S' sink (reads and
// counts until end of file), 'G' + 8 bytes n: writes n bytes and closes, 'E'
// echo. A connection that sends nothing is held idle.
class Target {
public:
    Target() : m_listener(listenOn()), m_selector(1000) {}
    unsigned short port() const { return m_listener.localAddress().port(); }

    void run(std::atomic<bool> const& stop) {
        m_selector.runOnce(0);  // this thread owns the selector from here on
        Acceptor acceptor(&m_listener, &m_selector, [this](Socket* s) { _accept(s); });
        while (!stop)
            m_selector.poll(50);
        m_conns.clear();
    }

    std::atomic<long long> sunk{0};
    std::atomic<int> accepted{0};

private:
    struct Conn {
        std::unique_ptr<TcpSocketChannel> channel;
        char mode = 0;
        long long toWrite = 0;
        Binary header;
    };

    void _accept(Socket* s) {
        ++accepted;
        auto conn = std::make_shared<Conn>();
        conn->channel.reset(new TcpSocketChannel(s, &m_selector));
        Conn* c = conn.get();
        c->channel->setIdleTimeout(0);
        c->channel->recv(0x7fffffff);
        c->channel->onRecv = [this, c](Binary& data) { _recv(c, data); };
        c->channel->onSent = [this, c](int) { _fill(c); };
        m_conns.push_back(conn);
    }

    void _recv(Conn* c, Binary& data) {
        int pos = 0;
        if (c->mode == 0) {
            c->mode = data[0];
            pos = 1;
        }
        if (c->mode == 'S') {
            sunk += data.length() - pos;
        } else if (c->mode == 'E') {
            c->channel->send(pos == 0 ? data : Binary(data, pos, data.length() - pos));
        } else if (c->mode == 'G') {
            c->header.append(data.data() + pos, data.length() - pos);
            if (c->header.length() >= 8 && c->toWrite == 0) {
                long long n;
                std::memcpy(&n, c->header.data(), 8);
                c->toWrite = n;
                _fill(c);
            }
        }
    }

    void _fill(Conn* c) {
        static Binary const block(65536, 'g');
        if (c->mode != 'G') return;
        while (c->toWrite > 0 && c->channel->sendQueueLength() < 262144) {
            int const n = c->toWrite < block.length() ? static_cast<int>(c->toWrite) : block.length();
            c->channel->send(n == block.length() ? block : Binary(block, 0, n));
            c->toWrite -= n;
            if (c->toWrite == 0) c->channel->shutdown();
        }
    }

    Socket m_listener;
    SocketEventSelector m_selector;
    std::vector<std::shared_ptr<Conn>> m_conns;
};

// ---- relay double -------------------------------------------------------------
// Answers every call, publishes the tunnel on a public port, and moves bytes
// between public sockets and tunnel datagrams with credit both ways.
class Relay {
public:
    Relay() : m_listener(listenOn()), m_public(listenOn()), m_selector(1000) {}
    unsigned short port() const { return m_listener.localAddress().port(); }
    unsigned short publicPort() const { return m_public.localAddress().port(); }

    void run(std::atomic<bool> const& stop) {
        m_selector.runOnce(0);  // this thread owns the selector from here on
        Acceptor engines(&m_listener, &m_selector, [this](Socket* s) { _acceptEngine(s); });
        Acceptor users(&m_public, &m_selector, [this](Socket* s) { _acceptPublic(s); });
        while (!stop)
            m_selector.poll(50);
        m_channels.clear();
        m_engines.clear();
    }

    std::atomic<bool> tunnelOpen{false};
    std::atomic<int> channelsOpen{0};

private:
    struct Channel {
        std::unique_ptr<TcpSocketChannel> channel;
        bool open = true;
    };

    void _acceptEngine(Socket* s) {
        tunnel::ProtocolChannel* engine = new tunnel::ProtocolChannel(s, &m_selector);
        m_engines.emplace_back(engine);
        engine->setIdleTimeout(0);
        engine->onDictionary = [this, engine](gt::core::Dictionary<Binary>& request) {
            gt::core::Dictionary<Binary> reply;
            reply.set(u"@", Binary("return"));
            engine->sendDictionary(reply);
            if (request.get(u"method") == Binary("tunnel_create")) {
                m_tunnel = engine;
                tunnelOpen = true;
            }
        };
        engine->onDatagram = [this](Binary& datagram) { _onDatagram(datagram); };
    }

    void _acceptPublic(Socket* s) {
        if (!m_tunnel) return;
        short id = m_nextId++;
        auto& slot = m_channels[static_cast<unsigned short>(id)];
        slot.reset(new Channel);
        Channel* c = slot.get();
        c->channel.reset(new TcpSocketChannel(s, &m_selector));
        c->channel->setIdleTimeout(0);
        SocketAddress const peer = c->channel->remoteAddress();
        c->channel->onRecv = [this, id](Binary& data) {
            for (int pos = 0; pos < data.length(); pos += TunnelDatagram::MAX_PAYLOAD) {
                int const n = std::min<int>(TunnelDatagram::MAX_PAYLOAD, data.length() - pos);
                m_tunnel->sendDatagram(TunnelDatagram::data(id, data.data() + pos, n));
            }
        };
        c->channel->onSent = [this, id](int n) { m_tunnel->sendDatagram(TunnelDatagram::window(id, n)); };
        c->channel->onClosed = [this, id, c]() {
            if (c->open) m_tunnel->sendDatagram(TunnelDatagram::shutdown(id));
            c->open = false;
            --channelsOpen;
        };
        ++channelsOpen;
        m_tunnel->sendDatagram(TunnelDatagram::connect(id, TunnelDatagram::PROTOCOL_TCP, peer));
        m_tunnel->sendDatagram(TunnelDatagram::window(id, 0x20000));
    }

    void _onDatagram(Binary& datagram) {
        TunnelDatagram d;
        if (!TunnelDatagram::decode(datagram, &d)) return;
        auto& slot = m_channels[static_cast<unsigned short>(d.channelId)];
        if (!slot || !slot->open) return;
        switch (d.action) {
            case TunnelDatagram::ACTION_DATA:
                slot->channel->send(d.payload);
                break;
            case TunnelDatagram::ACTION_WINDOW:
                slot->channel->recv(d.credit);
                break;
            case TunnelDatagram::ACTION_SHUTDOWN:
                slot->open = false;
                slot->channel->shutdown();
                break;
            default:
                break;
        }
    }

    Socket m_listener;
    Socket m_public;
    SocketEventSelector m_selector;
    std::vector<std::unique_ptr<tunnel::ProtocolChannel>> m_engines;
    tunnel::ProtocolChannel* m_tunnel = nullptr;
    std::vector<std::unique_ptr<Channel>> m_channels = std::vector<std::unique_ptr<Channel>>(65536);
    short m_nextId = 1;
};

// ---- child processes ------------------------------------------------------------

// Forks a child that runs body(fd) with one end of a socket pair and exits
// when body returns; the parent keeps the other end.
pid_t forkLinked(int* parentEnd, std::function<void(int)> const& body) {
    int pair[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) return -1;
    pid_t pid = bench::forkChild([&] {
        ::close(pair[0]);
        body(pair[1]);
    });
    ::close(pair[1]);
    *parentEnd = pair[0];
    return pid;
}

void waitByte(int fd) {
    char c;
    while (::read(fd, &c, 1) < 0 && errno == EINTR) {
    }
}

void sendByte(int fd) {
    char c = 1;
    while (::write(fd, &c, 1) < 0 && errno == EINTR) {
    }
}

// Direct counterpart of the engine's idle channels: a process holding n
// connections to the target.
void holderMain(int fd, unsigned short targetPort) {
    waitByte(fd);
    int const n = [&] {
        int v = 0;
        ::read(fd, &v, sizeof v);
        return v;
    }();
    SocketEventSelector selector(1000);
    std::vector<std::unique_ptr<TcpSocketChannel>> channels;
    for (int i = 0; i < n; ++i) {
        Socket s(Socket::TYPE_TCP);
        s.connect(loopback(targetPort));
        channels.emplace_back(new TcpSocketChannel(&s, &selector));
    }
    sendByte(fd);
    waitByte(fd);
}

// ---- public users -------------------------------------------------------------

// MB/s of channels parallel users each sending bytes to the target's sink.
double bulkToLocal(unsigned short port, Target& target, int channels, long long bytes) {
    return bench::bulkToSink(port, channels, bytes, 1 << 16, [&] { return target.sunk.load(); }) / 1e6;
}

// MB/s of channels parallel users each fetching bytes from the target.
double bulkFromLocal(unsigned short port, int channels, long long bytes) {
    return bench::bulkFromTarget(port, channels, bytes, 1 << 16) / 1e6;
}

// Mean round trip in microseconds of a 32-byte request answered by the echo.
double latencyUs(unsigned short port, int rounds) {
    std::vector<double> const us = bench::roundTrips(port, 32, 20, rounds);
    return us.empty() ? 0 : std::accumulate(us.begin(), us.end(), 0.0) / static_cast<double>(us.size());
}

void row(char const* name, char const* unit, double tunnel, double direct) {
    std::printf("%-34s %12.1f %12.1f %8.2f   %s\n", name, tunnel, direct, direct > 0 ? tunnel / direct : 0.0,
                unit);
}

}  // namespace

int main(int argc, char** argv) {
    long long const mib = argc > 1 ? std::atoll(argv[1]) : 64;
    int idle = argc > 2 ? std::atoi(argv[2]) : 1000;
    ::signal(SIGPIPE, SIG_IGN);
    long long const limit = bench::raiseDescriptorLimit();
    if (limit >= 0) {
        int const fit = static_cast<int>((limit - 200) / 4);
        if (idle > fit) {
            std::printf("(descriptor limit %lu: %d idle channels instead of %d)\n",
                        static_cast<unsigned long>(limit), fit, idle);
            idle = fit;
        }
    }

    // Sockets first, then the children (before any thread exists here).
    Relay relay;
    Target target;
    int engineFd = -1, holderFd = -1;
    unsigned short const relayPort = relay.port(), targetPort = target.port();
    pid_t const engine = forkLinked(&engineFd, [&](int fd) {
        bench::runEngine(relayPort, targetPort, false,
                         [&] { waitByte(fd); });  // until the parent closes its end
    });
    pid_t const holder = forkLinked(&holderFd, [&](int fd) { holderMain(fd, targetPort); });

    std::atomic<bool> stop{false};
    std::thread relayThread([&] { relay.run(stop); });
    std::thread targetThread([&] { target.run(stop); });
    if (!waitUntil([&] { return relay.tunnelOpen.load(); }, 15000)) {
        std::fprintf(stderr, "the engine did not open its tunnel\n");
        return 1;
    }
    unsigned short const pub = relay.publicPort();
    long long const bulk = mib * 1024 * 1024;

    // Memory per idle channel first, before bulk transfers leave freed
    // buffers in the engine's heap: the engine's growth while it holds the
    // channels, beside a process holding as many plain connections.
    long long const engineBefore = rssBytes(engine);
    int const acceptedBefore = target.accepted;
    std::vector<int> users = bench::openIdle(pub, idle);
    waitUntil([&] { return target.accepted - acceptedBefore >= idle; }, 30000);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    long long const engineAfter = rssBytes(engine);
    long long const holderBefore = rssBytes(holder);
    sendByte(holderFd);
    if (::write(holderFd, &idle, sizeof idle) != sizeof idle) return 1;
    waitByte(holderFd);
    long long const holderAfter = rssBytes(holder);
    bench::closeAll(&users);
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));  // closed channels cleaned up

    std::printf("one forward on loopback; tunnel = public user -> relay double -> engine -> target\n");
    std::printf("%-34s %12s %12s %8s\n", "measurement", "tunnel", "direct", "ratio");
    row("bulk relay->local, 1 channel", "MB/s", bulkToLocal(pub, target, 1, bulk),
        bulkToLocal(targetPort, target, 1, bulk));
    row("bulk relay->local, 16 channels", "MB/s", bulkToLocal(pub, target, 16, bulk / 16),
        bulkToLocal(targetPort, target, 16, bulk / 16));
    row("bulk local->relay, 1 channel", "MB/s", bulkFromLocal(pub, 1, bulk),
        bulkFromLocal(targetPort, 1, bulk));
    row("bulk local->relay, 16 channels", "MB/s", bulkFromLocal(pub, 16, bulk / 16),
        bulkFromLocal(targetPort, 16, bulk / 16));
    row("request latency (32 B echo)", "us", latencyUs(pub, 2000), latencyUs(targetPort, 2000));
    row("memory per idle channel", "bytes", static_cast<double>(engineAfter - engineBefore) / idle,
        static_cast<double>(holderAfter - holderBefore) / idle);
    std::printf("(%d idle channels, measured first; engine RSS %lld -> %lld KiB)\n", idle,
                engineBefore / 1024, engineAfter / 1024);

    ::close(holderFd);
    ::close(engineFd);
    int status;
    ::waitpid(holder, &status, 0);
    ::waitpid(engine, &status, 0);
    stop = true;
    relayThread.join();
    targetThread.join();
    return 0;
}
