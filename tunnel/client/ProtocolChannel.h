// Message layer of the relay protocol on one TCP connection. Every frame body
// starts with a version byte (01) and a kind byte: 01 an encoded dictionary
// (no entry magic), 02 a tunnel datagram.
#pragma once

#include <functional>

#include "gt/core/lang/Binary.h"
#include "gt/core/util/Dictionary.h"
#include "gt/net/channel/SizeHeaderTcpSocketChannel.h"

namespace tunnel {

class ProtocolChannel : public gt::net::SizeHeaderTcpSocketChannel {
public:
    static constexpr int VERSION = 1;
    static constexpr int KIND_DICTIONARY = 1;
    static constexpr int KIND_DATAGRAM = 2;
    // Most received bytes that may wait unframed or undelivered (10 MiB).
    static constexpr int RECEIVE_LIMIT = 10485760;
    static constexpr int RECEIVE_THRESHOLD = 10240;

    ProtocolChannel(gt::net::Socket* socket, gt::net::SocketEventSelector* selector);
    ~ProtocolChannel() override;

    bool sendDictionary(gt::core::Dictionary<gt::core::Binary> const& dictionary);
    bool sendDatagram(gt::core::Binary const& datagram);
    // One datagram made of head (at most 16 bytes) and length bytes of data,
    // queued without being gathered first.
    bool sendDatagram(char const* head, int headLength, char const* data, int length);

    // Each dictionary that decoded completely and holds at least one key.
    std::function<void(gt::core::Dictionary<gt::core::Binary>&)> onDictionary;
    // Each tunnel datagram, the empty one included.
    std::function<void(gt::core::Binary&)> onDatagram;
    // The same, read in place: the bytes are valid for the call only. When
    // set, it is called instead of onDatagram.
    std::function<void(char const*, int)> onDatagramBytes;

protected:
    void _onFrame(char const* body, int length) override;
};

}  // namespace tunnel
