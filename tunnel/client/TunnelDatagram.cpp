#include "tunnel/client/TunnelDatagram.h"

#include "gt/core/lang/Fatal.h"

using gt::core::Binary;

namespace tunnel {

namespace {

unsigned _u8(char const* p) { return static_cast<unsigned char>(*p); }
unsigned _u16(char const* p) { return _u8(p) | (_u8(p + 1) << 8); }
unsigned _u32(char const* p) { return _u16(p) | (_u16(p + 2) << 16); }

void _put16(char* p, unsigned v) {
    p[0] = static_cast<char>(v & 0xFF);
    p[1] = static_cast<char>((v >> 8) & 0xFF);
}

void _put32(char* p, unsigned v) {
    _put16(p, v & 0xFFFF);
    _put16(p + 2, v >> 16);
}

Binary _header(int action, short channelId, int length) {
    Binary out;
    out.setLength(length);
    out[0] = static_cast<char>(action);
    _put16(out.data() + 1, static_cast<unsigned short>(channelId));
    return out;
}

}  // namespace

TunnelDatagram::TunnelDatagram() : action(0), channelId(0), protocol(0), credit(0) {}

bool TunnelDatagram::decode(Binary const& datagram, TunnelDatagram* out) {
    char const* payload = nullptr;
    int count = 0;
    if (!decode(datagram.data(), datagram.length(), out, &payload, &count)) return false;
    if (out->action == ACTION_DATA) out->payload.assign(payload, count);
    return true;
}

void TunnelDatagram::dataHeader(char* head, short channelId, int count) {
    GT_ASSERT(count >= 0 && count <= MAX_PAYLOAD);
    head[0] = static_cast<char>(ACTION_DATA);
    _put16(head + 1, static_cast<unsigned short>(channelId));
    _put16(head + 3, static_cast<unsigned>(count));
}

bool TunnelDatagram::decode(char const* p, int n, TunnelDatagram* out, char const** payload,
                            int* payloadLength) {
    if (p == nullptr || n < 3) return false;
    out->action = static_cast<int>(_u8(p));
    out->channelId = static_cast<short>(_u16(p + 1));
    switch (out->action) {
        case ACTION_CONNECT:
            if (n < 10) return false;
            out->protocol = static_cast<int>(_u8(p + 3));
            out->peer = gt::net::SocketAddress(gt::net::IpAddress(_u32(p + 4)),
                                               static_cast<unsigned short>(_u16(p + 8)));
            return true;
        case ACTION_SHUTDOWN:
            return true;
        case ACTION_DATA: {
            if (n < 5) return false;
            int const count = static_cast<int>(_u16(p + 3));
            if (n < count + 5) return false;
            *payload = p + 5;
            *payloadLength = count;
            return true;
        }
        case ACTION_WINDOW:
            if (n < 7) return false;
            out->credit = static_cast<int>(_u32(p + 3));
            return true;
        default:
            return false;
    }
}

Binary TunnelDatagram::shutdown(short channelId) { return _header(ACTION_SHUTDOWN, channelId, 3); }

Binary TunnelDatagram::window(short channelId, int credit) {
    Binary out = _header(ACTION_WINDOW, channelId, 7);
    _put32(out.data() + 3, static_cast<unsigned>(credit));
    return out;
}

Binary TunnelDatagram::data(short channelId, char const* payload, int count) {
    GT_ASSERT(count >= 0 && count <= MAX_PAYLOAD);
    Binary out;
    out.reserve(count + 5);
    out.setLength(5);
    out[0] = static_cast<char>(ACTION_DATA);
    _put16(out.data() + 1, static_cast<unsigned short>(channelId));
    _put16(out.data() + 3, static_cast<unsigned>(count));
    out.append(payload, count);
    return out;
}

Binary TunnelDatagram::connect(short channelId, int protocol, gt::net::SocketAddress const& peer) {
    Binary out = _header(ACTION_CONNECT, channelId, 10);
    out[3] = static_cast<char>(protocol);
    _put32(out.data() + 4, peer.address().value());
    _put16(out.data() + 8, peer.port());
    return out;
}

}  // namespace tunnel
