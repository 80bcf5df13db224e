#include "benchmarks/tunnel/CompareParties.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "benchmarks/support/BlockingTarget.h"
#include "benchmarks/support/BlockingUser.h"
#include "benchmarks/support/EchoPeer.h"
#include "benchmarks/support/EngineChild.h"
#include "benchmarks/support/ProcessStats.h"
#include "benchmarks/support/RelayDouble.h"
#include "benchmarks/support/SharedFigures.h"

namespace bench {

namespace {

// A listening socket on 127.0.0.1 and a free port; ends the benchmark when
// there is none.
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

}  // namespace

CompareParties::CompareParties() : m_figures(SharedFigures::create()) {
    unsigned short relayPort;
    int const targetListener = listenLoopback(&m_targetPort);
    int const relayListener = listenLoopback(&relayPort);
    int const publicListener = listenLoopback(&m_publicPort);
    SharedFigures* const figures = m_figures;
    m_children.push_back(forkChild([&] { runBlockingTarget(targetListener, figures); }));
    m_relay = forkChild([&] {
        RelayDouble r(relayListener, publicListener, figures);
        r.run();
    });
    m_children.push_back(m_relay);
    // A second relay double with an echoing peer in place of the engine.
    unsigned short relayPort2;
    int const relayListener2 = listenLoopback(&relayPort2);
    int const publicListener2 = listenLoopback(&m_echoPublicPort);
    m_children.push_back(forkChild([&] {
        RelayDouble r(relayListener2, publicListener2, figures);
        r.run();
    }));
    m_children.push_back(forkChild([&] {
        ::close(targetListener);
        runEchoPeer(relayPort2);
    }));
    ::close(relayListener2);
    ::close(publicListener2);
    unsigned short const targetPort = m_targetPort;
    m_engine = forkChild([&] {
        ::close(targetListener);
        ::close(relayListener);
        ::close(publicListener);
        runEngine(relayPort, targetPort, true, [] {
            for (;;)
                ::pause();  // ended by the parent
        });
    });
    m_children.push_back(m_engine);

    // Two socat hops: two free ports are taken by binding and letting go.
    m_haveSocat = ::access("/usr/bin/socat", X_OK) == 0;
    if (m_haveSocat) {
        unsigned short socatInner;
        int a = listenLoopback(&m_socatPort), b = listenLoopback(&socatInner);
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
        m_socatHop = startSocat(socatInner, m_targetPort);
        m_socatOuter = startSocat(m_socatPort, socatInner);
        m_children.push_back(m_socatHop);
        m_children.push_back(m_socatOuter);
    } else {
        std::printf("socat is not installed (apt-get install socat): its column stays empty\n");
    }
    ::close(targetListener);
    ::close(relayListener);
    ::close(publicListener);
}

CompareParties::~CompareParties() {
    for (pid_t pid : m_children)
        ::kill(pid, SIGKILL);
    for (pid_t pid : m_children)
        ::waitpid(pid, nullptr, 0);
}

bool CompareParties::waitUntilUp() {
    // The engine opens its tunnel: a public connection gets through.
    bool const up = waitUntil(
        [&] {
            int fd = connectTo(m_publicPort);
            if (fd < 0) return false;
            bool ok = writeAll(fd, "E", 1) && writeAll(fd, "ping", 4);
            char back[4];
            ok = ok && readAll(fd, back, 4);
            ::close(fd);
            if (!ok) std::this_thread::sleep_for(std::chrono::milliseconds(200));
            return ok;
        },
        20000);
    m_socatUp = m_haveSocat && waitUntil(
                                   [&] {
                                       int fd = connectTo(m_socatPort);
                                       if (fd >= 0) ::close(fd);
                                       return fd >= 0;
                                   },
                                   5000);
    return up;
}

}  // namespace bench
