// Buffered, non-blocking TCP connection on a SocketEventSelector: reads as
// many bytes as its owner has granted, writes what was queued, closes
// gracefully or at once, and reports through four callbacks.
#pragma once

#include <functional>

#include "gt/core/lang/Binary.h"
#include "gt/core/lang/Liveness.h"
#include "gt/core/util/Timer.h"
#include "gt/net/ISocketEventHandler.h"
#include "gt/net/SocketEventSelector.h"
#include "gt/net/channel/ByteRateLimiter.h"
#include "gt/net/socket/Socket.h"

namespace gt {
namespace net {

class TcpSocketChannel : private ISocketEventHandler {
public:
    enum State {
        STATE_INVALID = 0,  // no socket
        STATE_OPEN = 1,
        STATE_CLOSING = 2,  // send what is queued, then close
        STATE_CLOSED = 3,   // immediate close requested
    };

    // Each block of received bytes (the receiver may swap them out; they are
    // gone once the receiver destroys the channel).
    std::function<void(gt::core::Binary&)> onRecv;
    // Bytes one write step put on the wire.
    std::function<void(int)> onSent;
    // Once, after the socket has been let go.
    std::function<void()> onClosed;
    // The idle time-out expired (onClosed follows).
    std::function<void()> onTimeout;

    // Takes a valid socket over (the caller's object is left invalid), makes
    // it non-blocking and attaches to the selector. Nothing is read before
    // the first recv().
    TcpSocketChannel(Socket* socket, SocketEventSelector* selector);
    TcpSocketChannel(TcpSocketChannel const&) = delete;
    TcpSocketChannel& operator=(TcpSocketChannel const&) = delete;
    // Lets a held socket go without calling onClosed. An owner may destroy
    // the channel from inside any of its callbacks.
    ~TcpSocketChannel() override;

    bool isValid() const { return m_socket.isValid(); }
    int state() const { return m_state; }
    // Moves the channel to another selector (null only detaches).
    bool setSelector(SocketEventSelector* selector);
    // Grants n more bytes of reading.
    bool recv(int n);
    int recvCredit() const { return m_recvLength; }
    // Stops reading (the credit is kept) until unpaused: an owner whose
    // onward queue is full holds the bytes back in the kernel, where TCP
    // flow control slows the sender down.
    void setReadPaused(bool paused);
    bool isReadPaused() const { return m_readPaused; }
    // Queues bytes for sending; false when not open or when the queue would
    // pass its limit.
    bool send(gt::core::Binary const& data);
    // Queues head (headLength bytes) and then data, both or neither, so a
    // message cut in two pieces is never queued in part.
    bool send(char const* head, int headLength, gt::core::Binary const& data);
    // Queues length bytes; false as for send(Binary).
    bool send(char const* data, int length);
    // Queues head and then length bytes of data, both or neither.
    bool send(char const* head, int headLength, char const* data, int length);
    // Bytes queued and not yet written.
    int sendQueueLength() const;
    // Caps sendQueueLength() (-1, the default, leaves it unlimited).
    void setSendQueueLimit(int bytes) { m_sendQueueLimit = bytes; }
    // Graceful close: stops reading, sends what is queued, then FIN.
    bool shutdown();
    // Immediate close: drops what is queued and resets the connection at
    // the next event or tick.
    bool close();
    // Hands the socket to out (non-null, invalid); the channel then holds none.
    bool exportSocket(Socket* out);

    // Restarts the idle timer with a new interval (0: no idle limit).
    void setIdleTimeout(int ms) { m_idleTimer.start(ms); }
    int idleTimeout() const { return m_idleTimer.interval(); }
    // Most bytes one read takes (64 KiB by default; at least 1).
    void setRecvBlock(int bytes) { m_recvBlock = bytes < 1 ? 1 : bytes; }
    // Capacities above these are given back after use.
    void setRecvKeepSize(int bytes) { m_recvKeepSize = bytes; }
    void setSendKeepSize(int bytes) { m_sendKeepSize = bytes; }
    // Bytes per second per direction; negative means unlimited.
    void setRecvRateLimit(int bytesPerSecond) { m_recvLimiter.setLimit(bytesPerSecond); }
    void setSendRateLimit(int bytesPerSecond) { m_sendLimiter.setLimit(bytesPerSecond); }

    // Why the connection ended, as a system error number (see
    // gt::core::systemErrorText): the failing read or write's, ETIMEDOUT
    // after the idle time-out; 0 while open and after an orderly or local
    // close.
    int lastError() const { return m_lastError; }

    SocketAddress const& localAddress() const { return m_localAddress; }
    SocketAddress const& remoteAddress() const { return m_remoteAddress; }

    int getEvents() override;
    void onEvent(int bits) override;
    bool reportsInterest() const override { return true; }

protected:
    // Every callback of the channel and of its subclasses is called through
    // it: the owner may destroy the channel from inside any of them.
    gt::core::Liveness m_liveness;

    // Where a read may put its bytes in place: a subclass that keeps a
    // receive stream of its own gives room for up to n bytes there (null:
    // the bytes go to onRecv as usual).
    virtual char* _recvSpace(int n);
    // n bytes were read into the room _recvSpace gave (it may destroy the
    // channel, as onRecv may).
    virtual void _onRecvSpace(int n);

private:
    enum Step { STEP_DONE, STEP_AGAIN, STEP_GONE };  // GONE: the channel was destroyed

    void _wake(int bits);
    Step _readStep();
    // A receive that got nothing (received <= 0): end of step, or the
    // channel detached on end of stream or an error.
    Step _readFailed(int received);
    // Books bytes just received: the read request, the limiter, the idle timer.
    void _countRead(int received);
    Step _writeStep();
    bool _housekeeping(bool tick);  // false when the channel was destroyed
    bool _detachAndNotify();
    void _release();
    void _discardInput();
    static void _trim(gt::core::Binary& buffer, int keepSize);

    Socket m_socket;
    SocketEventSelector* m_selector;
    int m_state;
    gt::core::Timer m_idleTimer;
    bool m_inEvent;
    int m_lastError;
    SocketAddress m_localAddress;
    SocketAddress m_remoteAddress;
    gt::core::Binary m_sendBuffer;
    gt::core::Binary m_pendingBuffer;
    int m_sendPos;
    int m_recvLength;
    gt::core::Binary m_recvBuffer;
    int m_recvKeepSize;
    int m_recvBlock;
    int m_sendKeepSize;
    int m_sendQueueLimit;
    bool m_readPaused;
    ByteRateLimiter m_recvLimiter;
    ByteRateLimiter m_sendLimiter;
};

}  // namespace net
}  // namespace gt
