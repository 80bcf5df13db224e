// Tunnel datagrams: the messages that carry the public connections of one
// tunnel over its relay connection (kind 2 frames of the relay protocol).
//
//   CONNECT  01 | id(2) | protocol(1) | peer IPv4(4) | peer port(2)   relay -> service
//   SHUTDOWN 03 | id(2)                                              both ways
//   DATA     04 | id(2) | length n(2) | n payload bytes              both ways
//   WINDOW   05 | id(2) | credit(4, signed)                          both ways
//
// Integers are little-endian; the peer address is its host-order 32-bit value
// written little-endian (a.b.c.d arrives as d c b a). Bytes beyond the fields
// are ignored.
#pragma once

#include "gt/core/lang/Binary.h"
#include "gt/net/socket/SocketAddress.h"

namespace tunnel {

class TunnelDatagram {
public:
    enum Action { ACTION_CONNECT = 1, ACTION_SHUTDOWN = 3, ACTION_DATA = 4, ACTION_WINDOW = 5 };
    enum Protocol { PROTOCOL_TCP = 2, PROTOCOL_UDP = 3 };
    // The largest payload one DATA datagram carries.
    static constexpr int MAX_PAYLOAD = 65535;

    TunnelDatagram();

    // Decodes one datagram. False for a datagram shorter than 3 bytes, an
    // unknown kind, or a known kind too short for its fields (a DATA whose
    // length field runs past the end included); out is then unspecified.
    static bool decode(gt::core::Binary const& datagram, TunnelDatagram* out);
    // The same in place: a DATA payload is left where it is (*payload
    // points into data, *payloadLength is its length) and out->payload
    // stays untouched.
    static bool decode(char const* data, int length, TunnelDatagram* out, char const** payload,
                       int* payloadLength);
    // The 5 bytes that start a DATA datagram of count payload bytes.
    static void dataHeader(char* head, short channelId, int count);

    static gt::core::Binary shutdown(short channelId);
    static gt::core::Binary window(short channelId, int credit);
    // count is at most MAX_PAYLOAD.
    static gt::core::Binary data(short channelId, char const* payload, int count);
    // Used by tests and relay doubles; the service never sends it.
    static gt::core::Binary connect(short channelId, int protocol, gt::net::SocketAddress const& peer);

    int action;
    short channelId;
    int protocol;                 // CONNECT
    gt::net::SocketAddress peer;  // CONNECT
    int credit;                   // WINDOW
    gt::core::Binary payload;     // DATA
};

}  // namespace tunnel
