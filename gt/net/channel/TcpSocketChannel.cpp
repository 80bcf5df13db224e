#include "gt/net/channel/TcpSocketChannel.h"

#include <errno.h>
#include <sys/socket.h>

#include "gt/core/lang/Fatal.h"

namespace gt {
namespace net {

using gt::core::Binary;

namespace {

// Most bytes one read asks for, and reads per event, so that one busy
// channel cannot hold the loop.
constexpr int kRecvBlock = 0x10000;
constexpr int kReadsPerEvent = 16;
constexpr int kDefaultIdleMs = 120000;
constexpr int kDefaultKeepSize = 0x4000;
// What one byte buffer may hold.
constexpr long long kMaxQueued = 0x3FFFFFFF;
// Unread input dropped before a graceful close: whole receive queues per
// call, a few calls at most so a peer that keeps sending cannot hold us.
constexpr int kDiscardRounds = 4;
constexpr size_t kDiscardChunk = 0x40000000;

// A would-block or interrupted call ends a step; it is no sign of a closed
// connection.
bool isTransient(int result) {
    return result < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR);
}

}  // namespace

TcpSocketChannel::TcpSocketChannel(Socket* socket, SocketEventSelector* selector)
    : m_socket(0),
      m_selector(nullptr),
      m_state(STATE_INVALID),
      m_idleTimer(kDefaultIdleMs),
      m_inEvent(false),
      m_lastError(0),
      m_sendPos(0),
      m_recvLength(0),
      m_recvKeepSize(kDefaultKeepSize),
      m_recvBlock(kRecvBlock),
      m_sendKeepSize(kDefaultKeepSize),
      m_sendQueueLimit(-1),
      m_readPaused(false),
      m_recvLimiter(1000),
      m_sendLimiter(1000) {
    if (socket == nullptr || !socket->isValid()) return;
    m_socket.swap(*socket);
    m_socket.setBlocking(false);
    m_localAddress = m_socket.localAddress();
    m_remoteAddress = m_socket.remoteAddress();
    m_state = STATE_OPEN;
    setSelector(selector);
}

TcpSocketChannel::~TcpSocketChannel() {
    if (m_socket.isValid()) _release();
}

bool TcpSocketChannel::setSelector(SocketEventSelector* selector) {
    if (!m_socket.isValid()) return false;
    if (selector == m_selector) return true;
    if (selector != nullptr && selector->hasEventHandler(m_socket.handle())) return false;
    if (m_selector != nullptr) m_selector->removeEventHandler(m_socket.handle());
    m_selector = selector;
    if (selector != nullptr) GT_ASSERT(selector->addEventHandler(m_socket.handle(), this));
    return true;
}

bool TcpSocketChannel::recv(int n) {
    if (m_state != STATE_OPEN || n < 0) return false;
    if (n > 2147483647 - m_recvLength) return false;
    bool const had = m_recvLength > 0;
    m_recvLength += n;
    // Bytes may be waiting already: they are read in this turn.
    if (!had && n > 0) _wake(EVENT_READ);
    return true;
}

void TcpSocketChannel::setReadPaused(bool paused) {
    if (paused == m_readPaused) return;
    m_readPaused = paused;
    if (paused) {
        if (m_selector != nullptr && m_socket.isValid()) m_selector->interestChanged(m_socket.handle());
    } else if (m_recvLength > 0) {
        _wake(EVENT_READ);
    }
}

int TcpSocketChannel::sendQueueLength() const {
    return m_sendBuffer.length() - m_sendPos + m_pendingBuffer.length();
}

bool TcpSocketChannel::send(Binary const& data) {
    if (m_state != STATE_OPEN) return false;
    long long queued = static_cast<long long>(sendQueueLength()) + data.length();
    if (m_sendQueueLimit >= 0 && queued > m_sendQueueLimit) return false;
    if (static_cast<long long>(m_pendingBuffer.length()) + data.length() > kMaxQueued) return false;
    bool const idle = sendQueueLength() == 0;
    m_pendingBuffer.append(data);
    if (idle && !data.isEmpty()) _wake(EVENT_WRITE);
    return true;
}

bool TcpSocketChannel::send(char const* head, int headLength, Binary const& data) {
    return send(head, headLength, data.data(), data.length());
}

bool TcpSocketChannel::send(char const* head, int headLength, char const* data, int length) {
    if (m_state != STATE_OPEN || headLength < 0 || (head == nullptr && headLength > 0)) return false;
    if (length < 0 || (data == nullptr && length > 0)) return false;
    long long const total = static_cast<long long>(headLength) + length;
    long long queued = static_cast<long long>(sendQueueLength()) + total;
    if (m_sendQueueLimit >= 0 && queued > m_sendQueueLimit) return false;
    if (static_cast<long long>(m_pendingBuffer.length()) + total > kMaxQueued) return false;
    bool const idle = sendQueueLength() == 0;
    m_pendingBuffer.append(head, headLength);
    m_pendingBuffer.append(data, length);
    if (idle && total > 0) _wake(EVENT_WRITE);
    return true;
}

bool TcpSocketChannel::send(char const* data, int length) {
    if (m_state != STATE_OPEN || length < 0 || (data == nullptr && length > 0)) return false;
    long long queued = static_cast<long long>(sendQueueLength()) + length;
    if (m_sendQueueLimit >= 0 && queued > m_sendQueueLimit) return false;
    if (static_cast<long long>(m_pendingBuffer.length()) + length > kMaxQueued) return false;
    bool const idle = sendQueueLength() == 0;
    m_pendingBuffer.append(data, length);
    if (idle && length > 0) _wake(EVENT_WRITE);
    return true;
}

char* TcpSocketChannel::_recvSpace(int) { return nullptr; }

void TcpSocketChannel::_onRecvSpace(int) {}

void TcpSocketChannel::_wake(int bits) {
    // The bytes go out (or in) in the turn in which they were queued (or
    // granted), where the socket takes them, instead of one turn later.
    if (m_selector == nullptr || !m_socket.isValid()) return;
    m_selector->interestChanged(m_socket.handle());
    m_selector->post(m_socket.handle(), bits);
}

bool TcpSocketChannel::shutdown() {
    if (m_state == STATE_OPEN) {
        m_recvLength = 0;
        m_state = STATE_CLOSING;
        _wake(EVENT_WRITE);
    }
    return m_socket.isValid();
}

bool TcpSocketChannel::close() {
    if (m_state == STATE_OPEN || m_state == STATE_CLOSING) {
        m_recvLength = 0;
        m_sendBuffer.clear();
        m_pendingBuffer.clear();
        m_sendPos = 0;
        m_socket.setLinger(true, 0);
        m_socket.shutdown(Socket::SHUT_RECEIVE);
        m_state = STATE_CLOSED;
        if (m_selector != nullptr) m_selector->interestChanged(m_socket.handle());
    }
    return m_socket.isValid();
}

bool TcpSocketChannel::exportSocket(Socket* out) {
    if (!m_socket.isValid() || out == nullptr || out->isValid()) return false;
    if (m_selector != nullptr) m_selector->removeEventHandler(m_socket.handle());
    m_selector = nullptr;
    out->swap(m_socket);
    m_state = STATE_INVALID;
    return true;
}

int TcpSocketChannel::getEvents() {
    if (!m_socket.isValid()) return 0;
    if (m_state == STATE_CLOSED) return EVENT_READ;  // the next readiness or tick completes the close
    int bits = 0;
    if (m_state == STATE_OPEN && m_recvLength > 0 && !m_readPaused) {
        // A rate limit that is used up opens again with time alone.
        bits |=
            m_recvLimiter.allowance() > 0 ? static_cast<int>(EVENT_READ) : static_cast<int>(EVENT_ASK_AGAIN);
    }
    bool const queued = !m_sendBuffer.isEmpty() || !m_pendingBuffer.isEmpty();
    if ((m_state == STATE_OPEN || m_state == STATE_CLOSING) && queued) {
        bits |=
            m_sendLimiter.allowance() > 0 ? static_cast<int>(EVENT_WRITE) : static_cast<int>(EVENT_ASK_AGAIN);
    }
    // A graceful close with nothing left to send completes at the next
    // writability (at once, as a rule) instead of waiting for the tick,
    // which may be a second away: the peer must see its end of stream now.
    if (m_state == STATE_CLOSING && !queued) bits |= EVENT_WRITE;
    return bits;
}

void TcpSocketChannel::onEvent(int bits) {
    if (!m_socket.isValid() || m_inEvent) return;
    m_inEvent = true;

    Step step = STEP_AGAIN;
    if (bits & EVENT_READ) {
        for (int reads = 0; reads < kReadsPerEvent && (step = _readStep()) == STEP_AGAIN; ++reads) {
        }
        if (step == STEP_GONE) return;
    }
    if (bits & EVENT_WRITE) {
        while ((step = _writeStep()) == STEP_AGAIN) {
        }
        if (step == STEP_GONE) return;
    }
    if (!_housekeeping(bits == 0)) return;

    m_inEvent = false;
}

TcpSocketChannel::Step TcpSocketChannel::_readStep() {
    if (m_state != STATE_OPEN || m_recvLength <= 0 || m_readPaused) return STEP_DONE;
    int n = m_recvLength < m_recvBlock ? m_recvLength : m_recvBlock;
    int allowance = m_recvLimiter.allowance();
    if (n >= allowance) {
        n = allowance;
        if (n == 0) return STEP_DONE;
    }
    if (char* space = _recvSpace(n)) {
        ssize_t got;
        do {
            got = ::recv(m_socket.handle(), space, static_cast<size_t>(n), 0);
        } while (got < 0 && errno == EINTR);
        int const received = got < 0 ? -1 : static_cast<int>(got);
        if (received <= 0) return _readFailed(received);
        _countRead(received);
        gt::core::Liveness::Scope scope(m_liveness);
        _onRecvSpace(received);
        if (!scope.alive()) return STEP_GONE;
        return received < n ? STEP_DONE : STEP_AGAIN;
    }
    // Bytes land in the loop's scratch buffer, so that a channel keeps no
    // receive buffer of its own between reads; while another read holds
    // the scratch buffer (an owner reading from inside a callback), the
    // channel uses one of its own for the step.
    Binary* scratch = m_selector != nullptr ? m_selector->borrowScratch() : nullptr;
    SocketEventSelector* const lender = scratch != nullptr ? m_selector : nullptr;
    Binary& buffer = scratch != nullptr ? *scratch : m_recvBuffer;
    buffer.setLength(n);
    int received = m_socket.recv(buffer, 0, n);
    if (received <= 0) {
        buffer.clear();
        if (lender != nullptr) lender->returnScratch();
        return _readFailed(received);
    }
    _countRead(received);
    buffer.setLength(received);
    if (!m_liveness.call(onRecv, buffer)) {
        if (lender != nullptr) lender->returnScratch();
        return STEP_GONE;
    }
    if (lender != nullptr) {
        lender->returnScratch();
    } else {
        _trim(m_recvBuffer, m_recvKeepSize);
    }
    // A short read drained the socket: the next read would only block.
    return received < n ? STEP_DONE : STEP_AGAIN;
}

TcpSocketChannel::Step TcpSocketChannel::_readFailed(int received) {
    // Would-block or interrupted: the socket is only drained for now.
    if (isTransient(received)) return STEP_DONE;
    m_lastError = received < 0 ? errno : 0;
    return _detachAndNotify() ? STEP_DONE : STEP_GONE;
}

void TcpSocketChannel::_countRead(int received) {
    m_recvLength -= received;
    GT_ASSERT(m_recvLength >= 0);
    m_recvLimiter.consume(received);
    m_idleTimer.reset();
}

TcpSocketChannel::Step TcpSocketChannel::_writeStep() {
    if (m_state != STATE_OPEN && m_state != STATE_CLOSING) return STEP_DONE;
    if (m_sendBuffer.isEmpty()) {
        if (m_pendingBuffer.isEmpty()) return STEP_DONE;
        m_sendBuffer.swap(m_pendingBuffer);
        m_sendPos = 0;
    }
    int limit = m_sendBuffer.length() - m_sendPos;
    GT_ASSERT(limit > 0);
    int allowance = m_sendLimiter.allowance();
    int n = limit < allowance ? limit : allowance;
    if (n <= 0) return STEP_DONE;

    int sent = m_socket.send(m_sendBuffer, m_sendPos, n);
    if (sent <= 0) {
        if (isTransient(sent)) return STEP_DONE;
        m_lastError = sent < 0 ? errno : EPIPE;
        return _detachAndNotify() ? STEP_DONE : STEP_GONE;
    }
    m_sendPos += sent;
    GT_ASSERT(m_sendPos <= m_sendBuffer.length());
    m_sendLimiter.consume(sent);
    if (m_sendPos == m_sendBuffer.length()) {
        m_sendBuffer.clear();
        m_sendPos = 0;
        // The emptied block keeps its room: it becomes the pending buffer at
        // the next swap and collects the next block without growing (and
        // copying) again. The room is given back at a tick that finds the
        // channel drained (housekeeping).
    }
    if (!m_liveness.call(onSent, sent)) return STEP_GONE;
    m_idleTimer.reset();
    // A short write filled the socket's buffer: writability comes back later.
    return sent < n ? STEP_DONE : STEP_AGAIN;
}

bool TcpSocketChannel::_housekeeping(bool tick) {
    if (!m_socket.isValid()) return true;  // exported by a callback
    if (tick && m_sendBuffer.isEmpty() && m_pendingBuffer.isEmpty()) {
        _trim(m_sendBuffer, m_sendKeepSize);
        _trim(m_pendingBuffer, m_sendKeepSize);
    }
    if (m_idleTimer.interval() != 0 && m_idleTimer.isExpired()) {
        m_lastError = ETIMEDOUT;
        if (!m_liveness.call(onTimeout)) return false;
        return _detachAndNotify();
    }
    if (m_state == STATE_CLOSING && m_sendBuffer.isEmpty() && m_pendingBuffer.isEmpty()) {
        return _detachAndNotify();
    }
    if (m_state == STATE_CLOSED) return _detachAndNotify();
    return true;
}

bool TcpSocketChannel::_detachAndNotify() {
    if (!m_socket.isValid()) return true;
    _release();
    return m_liveness.call(onClosed);
}

void TcpSocketChannel::_release() {
    GT_ASSERT(STATE_INVALID != m_state);
    m_sendPos = 0;
    m_recvLength = 0;
    m_sendBuffer.clear();
    m_sendBuffer.shrink();
    m_pendingBuffer.clear();
    m_pendingBuffer.shrink();
    m_recvBuffer.clear();
    m_recvBuffer.shrink();
    if (m_state == STATE_CLOSING) {
        m_socket.shutdown(Socket::SHUT_SEND);  // the peer sees an orderly end
        _discardInput();
    }
    Socket tmp(0);
    GT_ASSERT(this->exportSocket(&tmp));
    m_state = STATE_INVALID;
}

void TcpSocketChannel::_discardInput() {
    // Linux answers the close of a socket that still holds unread input with
    // a reset, which throws away what is still queued for the peer. Bytes the
    // owner never asked for are dropped here instead, without copying them.
    for (int i = 0; i < kDiscardRounds; ++i) {
        ssize_t n = ::recv(m_socket.handle(), nullptr, kDiscardChunk, MSG_DONTWAIT | MSG_TRUNC);
        if (n <= 0) break;
    }
}

void TcpSocketChannel::_trim(Binary& buffer, int keepSize) {
    buffer.clear();
    if (buffer.capacity() > keepSize) buffer.shrink();
}

}  // namespace net
}  // namespace gt
