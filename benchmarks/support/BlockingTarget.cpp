#include "benchmarks/support/BlockingTarget.h"

#include <errno.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <thread>
#include <vector>

#include "benchmarks/support/BlockingUser.h"
#include "benchmarks/support/SharedFigures.h"

namespace bench {

namespace {

void serveTarget(int fd, SharedFigures* figures) {
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
            figures->sunk += r;
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

}  // namespace

void runBlockingTarget(int listener, SharedFigures* figures) {
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
                    ++figures->accepted;
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
            std::thread(serveTarget, fd, figures).detach();
        }
    }
}

}  // namespace bench
