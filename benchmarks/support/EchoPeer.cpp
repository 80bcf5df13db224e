#include "benchmarks/support/EchoPeer.h"

#include <errno.h>
#include <sys/socket.h>
#include <sys/uio.h>

#include <cstring>
#include <vector>

#include "benchmarks/support/BlockingUser.h"
#include "benchmarks/support/RelayWire.h"

namespace bench {

void runEchoPeer(unsigned short relayPort) {
    int const fd = connectTo(relayPort);
    if (fd < 0) return;
    auto frame = [&](char kind, char const* body, int n) {
        char head[wire::HEAD];
        wire::putHead(head, kind, static_cast<size_t>(n));
        iovec parts[2] = {{head, wire::HEAD}, {const_cast<char*>(body), static_cast<size_t>(n)}};
        size_t const total = wire::HEAD + static_cast<size_t>(n);
        return ::writev(fd, parts, 2) == static_cast<ssize_t>(total);  // small frames: whole or broken
    };
    char const open[] = "tunnel_create";
    if (!frame(wire::DICTIONARY, open, sizeof open - 1)) return;
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
            char const* b = buffer.data() + pos;
            unsigned const size = wire::get32(b);
            if (size < wire::HEAD || size > buffer.size()) return;
            if (have - pos < size) break;
            char* d = buffer.data() + pos + wire::HEAD;
            int const n = static_cast<int>(size) - wire::HEAD;
            if (b[5] == wire::DATAGRAM && n >= 3) {
                unsigned const id = wire::get16(d + 1);
                if (d[0] == wire::CONNECT) {  // a window for the double
                    seen[id] = 0;
                    char window[7] = {wire::WINDOW, d[1], d[2]};
                    wire::put32(window + 3, 0x20000);
                    frame(wire::DATAGRAM, window, 7);
                } else if (d[0] == wire::DATA && n >= 5) {  // back the same way
                    int count = n - 5;
                    char* data = d + 5;
                    if (!seen[id] && count > 0) {
                        seen[id] = 1;
                        ++data;
                        --count;
                    }
                    if (count > 0) {
                        std::vector<char> back(5 + static_cast<size_t>(count));
                        back[0] = wire::DATA;
                        back[1] = d[1];
                        back[2] = d[2];
                        wire::put16(back.data() + 3, static_cast<unsigned>(count));
                        std::memcpy(back.data() + 5, data, static_cast<size_t>(count));
                        frame(wire::DATAGRAM, back.data(), static_cast<int>(back.size()));
                    }
                }
            }
            pos += size;
        }
        std::memmove(buffer.data(), buffer.data() + pos, have - pos);
        have -= pos;
    }
}

}  // namespace bench
