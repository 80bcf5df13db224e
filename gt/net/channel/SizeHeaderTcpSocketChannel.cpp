#include "gt/net/channel/SizeHeaderTcpSocketChannel.h"

#include <cstring>

namespace gt {
namespace net {

namespace {
constexpr int kReadAhead = 1048576;
constexpr int kHeader = 4;
constexpr int kMaxPrefix = 60;
// Consumed bytes the receive stream may keep before they are dropped. Frames
// seldom end exactly where a read ends, so the stream rarely empties by
// itself; without this it would grow to its limit before giving room back.
constexpr int kCompactAfter = 262144;
// Room the receive stream keeps while frames flow: reads go straight into
// it, and a stream that gave its room back after every frame would only
// have to grow again at the next read.
constexpr int kStreamKeep = 0x50000;
}  // namespace

SizeHeaderTcpSocketChannel::SizeHeaderTcpSocketChannel(Socket* socket, SocketEventSelector* selector,
                                                       int limit, int threshold)
    : TcpSocketChannel(socket, selector),
      m_stream(limit, threshold > kStreamKeep ? threshold : kStreamKeep),
      m_capsulator(&m_stream),
      m_limit(limit < 0 ? 0 : limit),
      m_consumed(0) {
    recv(kReadAhead);
    onRecv = [this](gt::core::Binary& data) { _onData(data); };
}

SizeHeaderTcpSocketChannel::~SizeHeaderTcpSocketChannel() = default;

bool SizeHeaderTcpSocketChannel::send(gt::core::Binary const& body) { return _sendFrame(nullptr, 0, body); }

bool SizeHeaderTcpSocketChannel::_sendFrame(char const* prefix, int prefixLength,
                                            gt::core::Binary const& payload) {
    return _sendFrame(prefix, prefixLength, payload.data(), payload.length());
}

bool SizeHeaderTcpSocketChannel::_sendFrame(char const* prefix, int prefixLength, char const* payload,
                                            int payloadLength) {
    if (!isValid()) return false;
    char head[kHeader + kMaxPrefix];
    if (prefixLength < 0 || prefixLength > kMaxPrefix || payloadLength < 0) return false;
    long long const size = static_cast<long long>(kHeader) + prefixLength + payloadLength;
    if (size > 0x7FFFFFFF) return false;
    writeLittleEndian32(head, static_cast<int>(size));
    if (prefixLength > 0) std::memcpy(head + kHeader, prefix, static_cast<size_t>(prefixLength));
    // Size, prefix and payload are queued together or not at all: a size
    // field left without its body would derail every later frame.
    return TcpSocketChannel::send(head, kHeader + prefixLength, payload, payloadLength);
}

void SizeHeaderTcpSocketChannel::_onFrame(char const* body, int length) {
    if (!onPacket) return;
    gt::core::Binary packet(body, length);  // a handler may destroy the channel and still use it
    m_liveness.call(onPacket, packet);
}

void SizeHeaderTcpSocketChannel::_onData(gt::core::Binary& data) {
    // Give the credit back so the channel may always read 1 MiB ahead.
    recv(data.length());
    if (!m_stream.append(data)) {
        close();
        return;
    }
    _deliverFrames();
}

char* SizeHeaderTcpSocketChannel::_recvSpace(int n) {
    // Past the limit there is no room: the read goes the usual way, and the
    // append that fails there closes the connection.
    return m_stream.prepareTail(n);
}

void SizeHeaderTcpSocketChannel::_onRecvSpace(int n) {
    m_stream.commitTail(n);
    recv(n);
    _deliverFrames();
}

void SizeHeaderTcpSocketChannel::_deliverFrames() {
    gt::core::Liveness::Scope frames(m_liveness);
    for (;;) {
        int const size = m_capsulator.pendingSize();
        if (size < kHeader || m_stream.available() < size) break;
        // Nothing else touches the stream while the handler runs: reads are
        // not re-entered, and a destroyed channel is left at once.
        if (size > kHeader) _onFrame(m_stream.data() + kHeader, size - kHeader);
        // A handler may close or even destroy the channel; nothing more is
        // delivered then.
        if (!frames.alive()) return;
        m_stream.skip(size);
        m_consumed += size;
        if (state() != STATE_OPEN) break;
    }
    if (m_consumed >= kCompactAfter) {
        m_stream.compact();
        m_consumed = 0;
    }
    if (state() != STATE_OPEN) return;
    // A size below 4 never completes a frame, and one above the limit never
    // fits: both are protocol violations, so the connection goes at once
    // instead of holding up to the limit in memory first.
    int const size = m_capsulator.pendingSize();
    if (m_capsulator.hasBadHeader() || size > m_limit) close();
}

}  // namespace net
}  // namespace gt
