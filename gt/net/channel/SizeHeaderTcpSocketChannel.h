// TCP channel that carries size-header frames: it reads with a standing credit
// of 1 MiB, collects bytes in a bounded stream, hands every complete non-empty
// frame body to onPacket and writes each sent body as one frame.
#pragma once

#include <functional>

#include "gt/core/io/StreamBuffer.h"
#include "gt/core/lang/Binary.h"
#include "gt/net/channel/SizeHeaderCapsulator.h"
#include "gt/net/channel/TcpSocketChannel.h"

namespace gt {
namespace net {

class SizeHeaderTcpSocketChannel : public TcpSocketChannel {
public:
    // limit: most received bytes that may wait unframed; beyond it, and on a
    // frame header that can never complete, the connection is closed at once.
    // threshold: capacity above which the stream gives memory back (the
    // room of a few reads is kept whatever it says).
    SizeHeaderTcpSocketChannel(Socket* socket, SocketEventSelector* selector, int limit, int threshold);
    ~SizeHeaderTcpSocketChannel() override;

    // Queues one frame with this body; false without an open connection.
    bool send(gt::core::Binary const& body);

    std::function<void(gt::core::Binary&)> onPacket;

protected:
    // Queues one frame whose body is prefix (prefixLength bytes, at most 60)
    // followed by payload: the whole frame or nothing.
    bool _sendFrame(char const* prefix, int prefixLength, gt::core::Binary const& payload);
    bool _sendFrame(char const* prefix, int prefixLength, char const* payload, int payloadLength);
    // One complete non-empty frame body, read in place from the receive
    // stream: the bytes stay valid for the call only. The default copies
    // them into a buffer and hands it to onPacket; a subclass that decodes
    // the body itself saves that copy.
    virtual void _onFrame(char const* body, int length);

    char* _recvSpace(int n) override;
    void _onRecvSpace(int n) override;

private:
    void _onData(gt::core::Binary& data);
    void _deliverFrames();

    gt::core::StreamBuffer m_stream;
    SizeHeaderCapsulator m_capsulator;
    int m_limit;
    int m_consumed;  // frame bytes taken off the stream since it was last compacted
};

}  // namespace net
}  // namespace gt
