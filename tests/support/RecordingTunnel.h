// A tunnel that records what a forwarder sends through it, in order.
#pragma once

#include <string>
#include <vector>

#include "gt/core/lang/Binary.h"
#include "support/Text.h"
#include "tunnel/forward/IActionDown.h"

namespace gt {
namespace test {

// One thing the forwarder sent over the tunnel.
struct Sent {
    enum Kind { DATA, WINDOW, SHUTDOWN } kind;
    short channelId;
    std::string data;
    int credit;
};

class RecordingTunnel : public tunnel::IActionDown {
public:
    void send(short channelId, gt::core::Binary const& data) override {
        sent.push_back({Sent::DATA, channelId, bytes(data), 0});
    }
    void window(short channelId, int credit) override {
        sent.push_back({Sent::WINDOW, channelId, "", credit});
    }
    void shutdown(short channelId) override { sent.push_back({Sent::SHUTDOWN, channelId, "", 0}); }

    int count(Sent::Kind kind, short channelId) const {
        int n = 0;
        for (Sent const& s : sent)
            if (s.kind == kind && s.channelId == channelId) ++n;
        return n;
    }
    bool has(Sent::Kind kind, short channelId) const { return count(kind, channelId) > 0; }
    // All DATA bytes of the channel, concatenated.
    std::string data(short channelId) const {
        std::string out;
        for (Sent const& s : sent)
            if (s.kind == Sent::DATA && s.channelId == channelId) out += s.data;
        return out;
    }
    // The sum of WINDOW credits of the channel.
    long long credit(short channelId) const {
        long long sum = 0;
        for (Sent const& s : sent)
            if (s.kind == Sent::WINDOW && s.channelId == channelId) sum += s.credit;
        return sum;
    }

    std::vector<Sent> sent;
};

}  // namespace test
}  // namespace gt
