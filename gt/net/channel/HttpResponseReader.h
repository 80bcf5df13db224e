// Turns the bytes of one HTTP/1.1 connection into a sequence of responses.
//
// Framing: a "Content-Length" header gives the body length; otherwise a
// "Transfer-Encoding" of chunked gives a chunked body; otherwise, when there
// are headers, the body runs until the connection closes for an HTTP/1.0
// reply without "Connection: keep-alive" and for any other version with
// "Connection: close"; in every other case the body is empty. Header names
// are matched in any letter case. Interim 1xx replies (other than 101) are
// skipped.
//
// Errors: bytes beyond the read limit, a malformed or oversized length or
// chunk, Content-Length headers that disagree (whatever the case of their
// names), a NUL or other control byte in the status line or header block,
// and a body cut short by the close are errors; no response is delivered for
// them and the connection should be dropped.
#pragma once

#include <functional>

#include "gt/core/io/StreamBuffer.h"
#include "gt/core/lang/Binary.h"
#include "gt/net/HttpResponse.h"
#include "gt/net/channel/HttpCapsulator.h"

namespace gt {
namespace net {

class HttpResponseReader {
public:
    enum State { STATE_STATUS = 0, STATE_HEADERS = 1, STATE_BODY = 2, STATE_COMPLETE = 3 };
    // The longest status line and the longest header block accepted.
    static constexpr int kMaxStatusLine = 8192;
    static constexpr int kMaxHeaderBlock = 65536;

    // readLimit bounds both the unread bytes held and the body of one
    // response; threshold is the buffer's compaction threshold.
    HttpResponseReader(int readLimit, int threshold);
    virtual ~HttpResponseReader();

    // Gets each complete response; it may take the response's content (by
    // swap or move). It must not destroy the reader.
    std::function<void(HttpResponse&)> onResponse;

    // Adds received bytes and delivers every response they complete. False
    // once the stream is in error (see above); later calls do nothing.
    bool feed(core::Binary const& data);
    // The connection has ended. A body that runs until the close is
    // delivered now. True when nothing was left half-read.
    bool finish();

    int state() const { return m_state; }
    bool hasError() const { return m_error; }
    // Why the stream is in error, in English; empty while it is not.
    core::String const& errorText() const { return m_errorText; }
    // Nothing of a next response has arrived yet.
    bool isIdle() const { return m_state == STATE_STATUS && m_buffer.isEmpty(); }
    // Forgets everything: a fresh connection.
    void reset();

private:
    enum BodyMode { BODY_NONE, BODY_LENGTH, BODY_CHUNKED, BODY_UNTIL_CLOSE };

    bool _parse();
    bool _chooseBodyMode();
    void _deliver();
    bool _fail(char16_t const* reason);

    int m_readLimit;
    core::StreamBuffer m_buffer;
    HttpCapsulator m_capsulator;
    int m_state;
    BodyMode m_bodyMode;
    int m_bodyLength;
    bool m_error;
    core::String m_errorText;
    HttpResponse m_response;
};

}  // namespace net
}  // namespace gt
