// Writes and reads the text forms of HTTP/1.1 (request and status lines,
// header blocks, bodies, chunks) on a stream buffer. Text is UTF-8. Every
// write returns false when the stream refuses the bytes; every read returns
// false and consumes nothing while the stream does not hold the whole item.
#pragma once

#include "gt/core/io/StreamBuffer.h"
#include "gt/core/lang/Binary.h"
#include "gt/core/lang/String.h"
#include "gt/core/util/Dictionary.h"

namespace gt {
namespace net {

class HttpCapsulator {
public:
    // The longest chunk-size line (extensions included) accepted.
    static constexpr int kMaxChunkLine = 4096;
    // The longest trailer block after the last chunk.
    static constexpr int kMaxTrailer = 65536;

    explicit HttpCapsulator(core::StreamBuffer* sb) : m_sb(sb) {}

    bool writeRequestLine(core::String const& method, core::String const& target,
                          core::String const& version);
    bool writeStatusLine(core::String const& version, int code, core::String const& reason);
    // One line per header in key order; a value holding "\r\n" gives one
    // line per part. Ends with the empty line.
    bool writeHeaders(core::Dictionary<core::String> const& headers);
    bool writeBody(core::Binary const& body);
    // Lower-case hex length, CRLF, the bytes, CRLF.
    bool writeChunk(core::Binary const& chunk);

    // A line up to CRLF split at its first two blanks. With maxLength >= 0
    // a longer line is refused. A line holding a control byte other than TAB
    // (NUL included) sets *invalid (when given) and consumes nothing.
    bool readRequestLine(core::String* method, core::String* target, core::String* version, int maxLength,
                         bool* invalid = nullptr);
    bool readStatusLine(core::String* version, int* code, core::String* reason, int maxLength,
                        bool* invalid = nullptr);
    // The header block through its empty line: names as first received,
    // values trimmed, repeated names (in any letter case) joined with "\r\n"
    // in the order received. A block holding a control byte other than TAB
    // outside its CR LF line ends (NUL, a bare CR or LF) sets *invalid (when
    // given) and consumes nothing.
    bool readHeaders(core::Dictionary<core::String>* headers, int maxLength, bool* invalid = nullptr);
    // length bytes into body, or skipped when body is null.
    bool readBody(core::Binary* body, int length);
    // One chunk: the size line (hex digits, then optional blanks and
    // ";extensions"), the bytes and their CRLF. The last chunk (size 0) is
    // read together with its trailer lines and final empty line, and gives
    // an empty chunk. A size line, size or chunk end that can never be valid
    // sets *invalid (when given) and consumes nothing.
    bool readChunk(core::Binary* chunk, bool* invalid = nullptr);

private:
    bool _append(core::Binary const& bytes);
    // Offset of the first CRLF at or after from in the unread bytes, or -1.
    int _findLineEnd(int from) const;
    bool _readLine(core::String* line, int maxLength, bool* invalid);

    core::StreamBuffer* m_sb;
};

}  // namespace net
}  // namespace gt
