// Bounded byte FIFO between a socket and a decoder. Bytes are appended at the
// tail; the decoder reads the unread bytes in place through one pointer and
// consumes what it has decoded. The limit bounds what a peer can make us
// hold; above the capacity threshold, compaction gives memory back.
#pragma once

#include "gt/core/lang/Binary.h"

namespace gt {
namespace core {

class StreamBuffer {
public:
    // Negative arguments count as 0.
    StreamBuffer(int limit, int threshold);
    virtual ~StreamBuffer() = default;

    int available() const { return m_buf.length() - m_position; }
    bool isEmpty() const { return m_position == m_buf.length(); }
    // The first unread byte; valid until the next modifying call.
    char const* data() const { return m_buf.data() + m_position; }

    // Adds the bytes at the tail; false (nothing changes) when the unread
    // bytes and the new ones together exceed the limit.
    bool append(Binary const& buffer);
    // Room for n more bytes at the tail, for a reader that fills it in
    // place (commitTail then says how many it wrote). Consumed bytes are
    // dropped first when that saves growing; spare room is kept for later
    // reads. Null (nothing changes) for n <= 0 or when the unread bytes and
    // n together exceed the limit.
    char* prepareTail(int n);
    // n bytes (at most what prepareTail made room for) were written there.
    void commitTail(int n);
    // Copies up to n unread bytes into out without consuming them. False for
    // a null out or a negative n, and (out untouched) when nothing is unread
    // and n > 0; n = 0 empties out.
    bool peek(Binary* out, int n) const;
    // Consumes n bytes (nothing when n <= 0).
    void skip(int n);
    // peek, then skip on success.
    bool read(Binary* out, int n);
    // Removes the last n unread bytes (nothing when n <= 0).
    void dropTail(int n);
    void clear();
    // Discards the consumed bytes.
    void compact();

private:
    void _checkPosition() const;

    int m_limit;
    int m_threshold;
    int m_position;
    Binary m_buf;
};

}  // namespace core
}  // namespace gt
