// Length-prefixed frames on a byte stream: a signed 32-bit little-endian size
// that counts its own 4 bytes, then size - 4 body bytes.
#pragma once

#include "gt/core/io/StreamBuffer.h"
#include "gt/core/lang/Binary.h"

namespace gt {
namespace net {

class SizeHeaderCapsulator {
public:
    // The stream is not owned and must outlive the capsulator.
    explicit SizeHeaderCapsulator(gt::core::StreamBuffer* stream);
    virtual ~SizeHeaderCapsulator() = default;

    // Takes one complete frame off the front of the stream into body. False,
    // consuming nothing, when no complete frame is unread (or body is null).
    bool decapsulate(gt::core::Binary* body);
    // Appends the size and the body; false (the stream unchanged) when they
    // do not fit under the stream's limit.
    bool encapsulate(gt::core::Binary const& body);
    // True when a size field is unread whose value is below 4: such a header
    // never completes a frame and the stream is corrupt.
    bool hasBadHeader() const;
    // The size field of the first unread frame, or -1 when fewer than 4 bytes are unread.
    int pendingSize() const;

private:
    gt::core::StreamBuffer* m_sb;
};

// Reads / writes a little-endian signed 32-bit value.
int readLittleEndian32(char const* p);
void writeLittleEndian32(char* p, int value);

}  // namespace net
}  // namespace gt
