#include "gt/core/io/StreamBuffer.h"

#include "gt/core/lang/Exception.h"
#include "gt/core/lang/Fatal.h"

namespace gt {
namespace core {

StreamBuffer::StreamBuffer(int limit, int threshold)
    : m_limit(limit < 0 ? 0 : limit), m_threshold(threshold < 0 ? 0 : threshold), m_position(0) {}

bool StreamBuffer::append(Binary const& buffer) {
    // Sizes are summed in 64 bits: a limit near 2^31 must not wrap.
    long long unread = available();
    long long incoming = buffer.length();
    if (unread + incoming > m_limit) return false;
    if (static_cast<long long>(m_buf.length()) + incoming > m_limit) {
        // Fits only once the consumed bytes are gone.
        compact();
        GT_ASSERT(m_buf.length() + buffer.length() <= m_limit);
    }
    m_buf.append(buffer);
    return true;
}

char* StreamBuffer::prepareTail(int n) {
    if (n <= 0 || static_cast<long long>(available()) + n > m_limit) return nullptr;
    int const length = m_buf.length();
    if (m_buf.capacity() - length < n) {
        if (m_position > 0) {
            // Only the unread bytes (a frame's start, as a rule) move.
            m_buf.remove(0, m_position);
            m_position = 0;
        }
        int const needed = m_buf.length() + n;
        if (m_buf.capacity() < needed) {
            // Room for a few such reads, so that moves stay rare.
            long long room = 4LL * n;
            if (room < needed) room = needed;
            if (room > m_limit) room = m_limit;
            m_buf.reserve(static_cast<int>(room));
        }
    }
    return m_buf.data() + m_buf.length();
}

void StreamBuffer::commitTail(int n) {
    if (n <= 0) return;
    GT_ASSERT(m_buf.capacity() - m_buf.length() >= n);
    m_buf.setLength(m_buf.length() + n);
}

void StreamBuffer::_checkPosition() const {
    if (m_position < 0 || m_position > m_buf.length()) throw OutOfRangeException(m_position, m_buf.length());
}

bool StreamBuffer::peek(Binary* out, int n) const {
    if (!out || n < 0) return false;
    if (n == 0) {
        out->clear();
        return true;
    }
    int unread = available();
    if (unread <= 0) return false;
    _checkPosition();
    out->assign(m_buf.data() + m_position, n < unread ? n : unread);
    return true;
}

void StreamBuffer::skip(int n) {
    if (n <= 0) return;
    if (n < available()) {
        m_position += n;
        return;
    }
    m_buf.clear();
    m_position = 0;
    compact();
}

bool StreamBuffer::read(Binary* out, int n) {
    if (!peek(out, n)) return false;
    skip(n);
    return true;
}

void StreamBuffer::dropTail(int n) {
    if (n <= 0) return;
    if (n < available()) {
        m_buf.setLength(m_buf.length() - n);
        return;
    }
    m_buf.clear();
    m_position = 0;
    compact();
}

void StreamBuffer::clear() {
    m_buf.clear();
    m_position = 0;
    compact();
}

void StreamBuffer::compact() {
    if (m_position > 0) {
        _checkPosition();
        if (m_buf.capacity() > m_threshold) {
            Binary unread(m_buf.data() + m_position, m_buf.length() - m_position);
            m_buf.swap(unread);
        } else {
            m_buf.remove(0, m_position);
        }
        m_position = 0;
    } else if (m_buf.capacity() > m_threshold) {
        m_buf.shrink();
    }
}

}  // namespace core
}  // namespace gt
