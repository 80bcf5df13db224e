#include "gt/net/channel/HttpResponseReader.h"

namespace gt {
namespace net {

using core::Binary;
using core::String;

namespace {

String lowered(String const* value) {
    if (!value) return String();
    String out = value->toLower();
    out.trim();
    return out;
}

// A Content-Length value: digits only (blanks around them allowed); repeated
// headers must agree. -1 when malformed, -2 when above INT_MAX.
long long parseLength(String const& value) {
    long long result = -1;
    int start = 0;
    while (true) {
        int end = value.indexOf(u"\r\n", start);
        String part = value.mid(start, (end < 0 ? value.length() : end) - start);
        part.trim();
        if (part.isEmpty()) return -1;
        long long n = 0;
        for (int i = 0; i < part.length(); ++i) {
            if (part[i] < '0' || part[i] > '9') return -1;
            n = n * 10 + (part[i] - '0');
            if (n > 0x7FFFFFFF) return -2;
        }
        if (result >= 0 && n != result) return -1;
        result = n;
        if (end < 0) return result;
        start = end + 2;
    }
}

// The last entry of a comma-separated list, lowered and trimmed; repeated
// headers arrive joined with "\r\n" and count as one list.
String lastToken(String const* value) {
    String text = lowered(value);
    int comma = text.lastIndexOf(u',');
    int const lineBreak = text.lastIndexOf(u'\n');
    if (lineBreak > comma) comma = lineBreak;
    if (comma >= 0) {
        text = text.mid(comma + 1, text.length() - comma - 1);
        text.trim();
    }
    return text;
}

}  // namespace

HttpResponseReader::HttpResponseReader(int readLimit, int threshold)
    : m_readLimit(readLimit < 0 ? 0 : readLimit),
      m_buffer(readLimit, threshold),
      m_capsulator(&m_buffer),
      m_state(STATE_STATUS),
      m_bodyMode(BODY_NONE),
      m_bodyLength(0),
      m_error(false) {}

HttpResponseReader::~HttpResponseReader() = default;

void HttpResponseReader::reset() {
    m_buffer.clear();
    m_state = STATE_STATUS;
    m_bodyMode = BODY_NONE;
    m_bodyLength = 0;
    m_error = false;
    m_errorText.clear();
    m_response.reset();
}

bool HttpResponseReader::_fail(char16_t const* reason) {
    if (!m_error) m_errorText = reason;
    m_error = true;
    m_buffer.clear();
    m_response.reset();
    return false;
}

bool HttpResponseReader::feed(Binary const& data) {
    if (m_error) return false;
    if (!m_buffer.append(data)) return _fail(u"reply larger than the read limit");
    return _parse();
}

bool HttpResponseReader::_chooseBodyMode() {
    // Repeated headers of any letter case arrive joined under one name, so
    // lengths that disagree are seen here and refused.
    String const* length = m_response.findHeader(u"Content-Length");
    // A length together with a transfer coding leaves the body's end in
    // doubt: reading by the one where the server meant the other would
    // take part of the body for the next reply (or the next reply for the
    // body), so such a reply is refused along with the connection.
    if (length && m_response.findHeader(u"Transfer-Encoding"))
        return _fail(u"both Content-Length and Transfer-Encoding");
    if (length) {
        long long n = parseLength(*length);
        if (n == -1) return _fail(u"malformed or conflicting Content-Length headers");
        if (n < 0 || n > m_readLimit) return _fail(u"Content-Length larger than the read limit");
        m_bodyMode = BODY_LENGTH;
        m_bodyLength = static_cast<int>(n);
        return true;
    }
    if (lastToken(m_response.findHeader(u"Transfer-Encoding")) == u"chunked") {
        m_bodyMode = BODY_CHUNKED;
        return true;
    }
    m_bodyMode = BODY_NONE;
    if (!m_response.headers.isEmpty()) {
        String connection = lowered(m_response.findHeader(u"Connection"));
        if (m_response.version.toUpper() == u"HTTP/1.0") {
            if (connection != u"keep-alive") m_bodyMode = BODY_UNTIL_CLOSE;
        } else if (connection == u"close") {
            m_bodyMode = BODY_UNTIL_CLOSE;
        }
    }
    return true;
}

bool HttpResponseReader::_parse() {
    while (true) {
        switch (m_state) {
            case STATE_STATUS: {
                bool invalid = false;
                if (!m_capsulator.readStatusLine(&m_response.version, &m_response.statusCode,
                                                 &m_response.reason, MAX_STATUS_LINE, &invalid)) {
                    if (invalid) return _fail(u"control byte in the status line");
                    if (m_buffer.available() > MAX_STATUS_LINE + 1) return _fail(u"status line too long");
                    return true;
                }
                m_state = STATE_HEADERS;
                break;
            }
            case STATE_HEADERS: {
                bool invalid = false;
                if (!m_capsulator.readHeaders(&m_response.headers, MAX_HEADER_BLOCK, &invalid)) {
                    if (invalid) return _fail(u"NUL or control byte in the header block");
                    if (m_buffer.available() > MAX_HEADER_BLOCK + 3) return _fail(u"header block too long");
                    return true;
                }
                if (m_response.statusCode >= 100 && m_response.statusCode < 200 &&
                    m_response.statusCode != 101) {
                    // An interim reply; the real one follows.
                    m_response.reset();
                    m_state = STATE_STATUS;
                    break;
                }
                if (!_chooseBodyMode()) return false;
                m_state = STATE_BODY;
                break;
            }
            case STATE_BODY:
                switch (m_bodyMode) {
                    case BODY_NONE:
                        m_state = STATE_COMPLETE;
                        break;
                    case BODY_LENGTH:
                        if (!m_capsulator.readBody(&m_response.body, m_bodyLength)) return true;
                        m_state = STATE_COMPLETE;
                        break;
                    case BODY_CHUNKED: {
                        Binary chunk;
                        bool invalid = false;
                        if (!m_capsulator.readChunk(&chunk, &invalid))
                            return invalid ? _fail(u"malformed chunk") : true;
                        if (chunk.isEmpty()) {
                            m_state = STATE_COMPLETE;
                        } else {
                            if (static_cast<long long>(m_response.body.length()) + chunk.length() >
                                m_readLimit)
                                return _fail(u"chunked body larger than the read limit");
                            if (m_response.body.isEmpty()) {
                                m_response.body.swap(chunk);
                            } else {
                                m_response.body.append(chunk);
                            }
                        }
                        break;
                    }
                    case BODY_UNTIL_CLOSE:
                        return true;
                }
                break;
            case STATE_COMPLETE:
                _deliver();
                if (m_buffer.isEmpty()) return true;
                break;
        }
    }
}

void HttpResponseReader::_deliver() {
    m_state = STATE_STATUS;
    m_bodyMode = BODY_NONE;
    m_buffer.compact();
    HttpResponse done;
    done.swap(m_response);
    if (onResponse) onResponse(done);
}

bool HttpResponseReader::finish() {
    if (m_error) return false;
    if (m_state == STATE_BODY && m_bodyMode == BODY_UNTIL_CLOSE) {
        int n = m_buffer.available();
        bool read = m_capsulator.readBody(&m_response.body, n);
        (void)read;
        m_state = STATE_COMPLETE;
        _deliver();
        return true;
    }
    bool clean = isIdle();
    if (!clean) _fail(u"connection closed in the middle of a reply");
    return clean;
}

}  // namespace net
}  // namespace gt
