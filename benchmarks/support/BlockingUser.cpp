#include "benchmarks/support/BlockingUser.h"

#include <arpa/inet.h>
#include <errno.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <thread>

namespace bench {

bool waitUntil(std::function<bool()> const& done, int ms) {
    auto const until = Clock::now() + std::chrono::milliseconds(ms);
    while (!done()) {
        if (Clock::now() > until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

int connectTo(unsigned short port) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(0x7F000001u);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        ::close(fd);
        return -1;
    }
    int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return fd;
}

bool writeAll(int fd, void const* data, size_t n) {
    char const* p = static_cast<char const*>(data);
    while (n > 0) {
        ssize_t w = ::send(fd, p, n, MSG_NOSIGNAL);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return false;
        p += w;
        n -= static_cast<size_t>(w);
    }
    return true;
}

bool readAll(int fd, void* data, size_t n) {
    char* p = static_cast<char*>(data);
    while (n > 0) {
        ssize_t r = ::recv(fd, p, n, 0);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return false;
        p += r;
        n -= static_cast<size_t>(r);
    }
    return true;
}

long long readUntilEnd(int fd, size_t blockBytes) {
    std::vector<char> buffer(blockBytes);
    long long total = 0;
    for (;;) {
        ssize_t r = ::recv(fd, buffer.data(), buffer.size(), 0);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return total;
        total += r;
    }
}

void sendToSink(int fd, long long bytes, std::vector<char> const& block) {
    writeAll(fd, "S", 1);
    for (long long left = bytes; left > 0; left -= static_cast<long long>(block.size()))
        writeAll(fd, block.data(), static_cast<size_t>(std::min<long long>(left, block.size())));
    ::shutdown(fd, SHUT_WR);
    readUntilEnd(fd, block.size());
}

std::vector<int> openIdle(unsigned short port, int n) {
    std::vector<int> fds;
    for (int i = 0; i < n; ++i) {
        int fd = connectTo(port);
        if (fd < 0) break;
        fds.push_back(fd);
    }
    return fds;
}

void closeAll(std::vector<int>* fds) {
    for (int fd : *fds)
        ::close(fd);
    fds->clear();
}

double bulkToSink(unsigned short port, int streams, long long bytes, size_t blockBytes,
                  std::function<long long()> const& sunk) {
    long long const before = sunk();
    std::vector<char> block(blockBytes, 's');
    auto const start = Clock::now();
    std::vector<std::thread> users;
    for (int i = 0; i < streams; ++i) {
        users.emplace_back([&] {
            int fd = connectTo(port);
            if (fd < 0) return;
            sendToSink(fd, bytes, block);
            ::close(fd);
        });
    }
    for (auto& u : users)
        u.join();
    if (!waitUntil([&] { return sunk() - before >= bytes * streams; }, 60000)) {
        std::fprintf(stderr, "port %u, %d streams to the sink: %lld of %lld bytes arrived\n", port, streams,
                     sunk() - before, bytes * streams);
        return 0;
    }
    return static_cast<double>(bytes * streams) / seconds(start);
}

double bulkFromTarget(unsigned short port, int streams, long long bytes, size_t blockBytes) {
    auto const start = Clock::now();
    std::vector<std::thread> users;
    std::atomic<long long> got{0};
    for (int i = 0; i < streams; ++i) {
        users.emplace_back([&] {
            int fd = connectTo(port);
            if (fd < 0) return;
            char request[9] = {'G'};
            std::memcpy(request + 1, &bytes, 8);
            writeAll(fd, request, 9);
            got += readUntilEnd(fd, blockBytes);
            ::close(fd);
        });
    }
    for (auto& u : users)
        u.join();
    if (got != bytes * streams) {
        std::fprintf(stderr, "port %u, %d streams from the target: %lld of %lld bytes arrived\n", port,
                     streams, static_cast<long long>(got), bytes * streams);
        return 0;
    }
    return static_cast<double>(got) / seconds(start);
}

std::vector<double> roundTrips(unsigned short port, size_t messageBytes, int warmUp, int rounds) {
    std::vector<double> us;
    int fd = connectTo(port);
    if (fd < 0) return us;
    writeAll(fd, "E", 1);
    std::vector<char> buffer(messageBytes, 'r');
    for (int i = -warmUp; i < rounds; ++i) {
        auto const start = Clock::now();
        if (!writeAll(fd, buffer.data(), buffer.size()) || !readAll(fd, buffer.data(), buffer.size())) break;
        if (i >= 0) us.push_back(seconds(start) * 1e6);
    }
    ::close(fd);
    std::sort(us.begin(), us.end());
    return us;
}

}  // namespace bench
