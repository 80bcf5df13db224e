// What the benchmarks' users and their bookkeeping share: blocking loopback
// sockets, wall-clock figures and a child process's resident memory.
#pragma once

#include <arpa/inet.h>
#include <errno.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace bench {

using Clock = std::chrono::steady_clock;

inline double seconds(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Polls done every 2 ms; false when ms passed first.
inline bool waitUntil(std::function<bool()> const& done, int ms) {
    auto const until = Clock::now() + std::chrono::milliseconds(ms);
    while (!done()) {
        if (Clock::now() > until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

// A blocking connection to 127.0.0.1:port with Nagle off; -1 when refused.
inline int connectTo(unsigned short port) {
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

inline bool writeAll(int fd, void const* data, size_t n) {
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

// Reads until end of stream or an error, in blocks of blockBytes; the bytes read.
inline long long readUntilEnd(int fd, size_t blockBytes) {
    std::vector<char> buffer(blockBytes);
    long long total = 0;
    for (;;) {
        ssize_t r = ::recv(fd, buffer.data(), buffer.size(), 0);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return total;
        total += r;
    }
}

// One user of a target's sink: the mode byte 'S', bytes in blocks of
// block, then the end of its stream; waits for the target's end.
inline void sendToSink(int fd, long long bytes, std::vector<char> const& block) {
    writeAll(fd, "S", 1);
    for (long long left = bytes; left > 0; left -= static_cast<long long>(block.size()))
        writeAll(fd, block.data(), static_cast<size_t>(std::min<long long>(left, block.size())));
    ::shutdown(fd, SHUT_WR);
    readUntilEnd(fd, block.size());
}

// Resident memory of a process; -1 when it cannot be read.
inline long long rssBytes(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(in, line)) {
        if (line.compare(0, 6, "VmRSS:") == 0) return std::atoll(line.c_str() + 6) * 1024;
    }
    return -1;
}

}  // namespace bench
