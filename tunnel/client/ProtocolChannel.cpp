#include "tunnel/client/ProtocolChannel.h"

#include <cstring>

#include "tunnel/client/DictionaryCodec.h"

using gt::core::Binary;
using gt::core::Dictionary;

namespace tunnel {

ProtocolChannel::ProtocolChannel(gt::net::Socket* socket, gt::net::SocketEventSelector* selector)
    : SizeHeaderTcpSocketChannel(socket, selector, RECEIVE_LIMIT, RECEIVE_THRESHOLD) {}

ProtocolChannel::~ProtocolChannel() = default;

bool ProtocolChannel::sendDictionary(Dictionary<Binary> const& dictionary) {
    Binary encoded;
    if (!encodeDictionary(dictionary, &encoded, false)) return false;
    char const prefix[2] = {static_cast<char>(VERSION), static_cast<char>(KIND_DICTIONARY)};
    return _sendFrame(prefix, 2, encoded);
}

bool ProtocolChannel::sendDatagram(Binary const& datagram) {
    // The datagram goes straight into the send queue behind its prefix.
    char const prefix[2] = {static_cast<char>(VERSION), static_cast<char>(KIND_DATAGRAM)};
    return _sendFrame(prefix, 2, datagram);
}

bool ProtocolChannel::sendDatagram(char const* head, int headLength, char const* data, int length) {
    char prefix[2 + 16] = {static_cast<char>(VERSION), static_cast<char>(KIND_DATAGRAM)};
    if (headLength < 0 || headLength > 16) return false;
    if (headLength > 0) std::memcpy(prefix + 2, head, static_cast<size_t>(headLength));
    return _sendFrame(prefix, 2 + headLength, data, length);
}

void ProtocolChannel::_onFrame(char const* body, int length) {
    if (length <= 1 || body[0] != VERSION) return;
    int const kind = static_cast<unsigned char>(body[1]);
    // The version and kind bytes are left behind as the rest is copied out
    // of the receive stream, once.
    if (kind == KIND_DICTIONARY) {
        Binary const encoded(body + 2, length - 2);
        Dictionary<Binary> dictionary;
        // A dictionary cut short is dropped whole: a reply missing its tail
        // could otherwise lose its error code and read as a success.
        bool const complete = decodeDictionary(encoded, &dictionary, false);
        if (complete && !dictionary.isEmpty()) m_liveness.call(onDictionary, dictionary);
    } else if (kind == KIND_DATAGRAM) {
        if (onDatagramBytes) {
            m_liveness.call(onDatagramBytes, body + 2, length - 2);
            return;
        }
        if (!onDatagram) return;
        // Not a member: a handler may destroy this channel and still use it.
        Binary datagram(body + 2, length - 2);
        m_liveness.call(onDatagram, datagram);
    }
}

}  // namespace tunnel
