#include "gt/net/channel/HttpCapsulator.h"

#include <climits>
#include <cstring>

#include "gt/core/lang/Fatal.h"
#include "gt/core/lang/Integer.h"

namespace gt {
namespace net {

using core::Binary;
using core::Char;
using core::String;

namespace {

char const kCrlf[] = "\r\n";

String textOf(char const* data, int count) { return Binary(data, count).utf8ToString(); }

// True when the bytes hold a control byte other than TAB (NUL and DEL
// included) outside a CR LF pair. The text conversion would stop at a NUL and
// hide what follows it, and a bare CR or LF splits lines differently for
// different readers, so such a block is refused rather than guessed at.
bool hasControlByte(char const* data, int count) {
    for (int i = 0; i < count; ++i) {
        unsigned char const b = static_cast<unsigned char>(data[i]);
        if (b == '\r' && i + 1 < count && data[i + 1] == '\n') {
            ++i;
            continue;
        }
        if ((b < 0x20 && b != '\t') || b == 0x7F) return true;
    }
    return false;
}

// Splits at the first blank and the next one; the third field is the rest.
void splitLine(String const& line, String* first, String* second, String* third) {
    int a = line.indexOf(u' ');
    if (a < 0) {
        *first = line;
        second->clear();
        third->clear();
        return;
    }
    *first = line.left(a);
    int b = line.indexOf(u' ', a + 1);
    if (b < 0) {
        *second = line.mid(a + 1, line.length() - a - 1);
        third->clear();
        return;
    }
    *second = line.mid(a + 1, b - a - 1);
    *third = line.mid(b + 1, line.length() - b - 1);
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The chunk size of a size line, or -1 when the line is not one.
long long parseChunkSize(char const* line, int length) {
    int i = 0;
    long long size = 0;
    for (; i < length && hexDigit(line[i]) >= 0; ++i) {
        size = size * 16 + hexDigit(line[i]);
        if (size > INT_MAX) return -1;
    }
    if (i == 0) return -1;
    while (i < length && (line[i] == ' ' || line[i] == '\t'))
        ++i;
    if (i < length && line[i] != ';') return -1;
    return size;
}

}  // namespace

bool HttpCapsulator::_append(Binary const& bytes) { return m_sb->append(bytes); }

int HttpCapsulator::_findLineEnd(int from) const {
    int available = m_sb->available();
    if (from < 0 || available - from < 2) return -1;
    void const* found = memmem(m_sb->data() + from, static_cast<size_t>(available - from), kCrlf, 2);
    return found ? static_cast<int>(static_cast<char const*>(found) - m_sb->data()) : -1;
}

bool HttpCapsulator::writeRequestLine(String const& method, String const& target, String const& version) {
    return _append((method + u" " + target + u" " + version + u"\r\n").toBinary());
}

bool HttpCapsulator::writeStatusLine(String const& version, int code, String const& reason) {
    return _append((version + u" " + core::Integer(code).toString() + u" " + reason + u"\r\n").toBinary());
}

bool HttpCapsulator::writeHeaders(core::Dictionary<String> const& headers) {
    String text;
    for (auto const& entry : headers) {
        String const& value = entry.second;
        int start = 0;
        while (true) {
            int end = value.indexOf(u"\r\n", start);
            text += entry.first;
            text += u": ";
            text.append(value, start, (end < 0 ? value.length() : end) - start);
            text += u"\r\n";
            if (end < 0) break;
            start = end + 2;
        }
    }
    text += u"\r\n";
    return _append(text.toBinary());
}

bool HttpCapsulator::writeBody(Binary const& body) { return _append(body); }

bool HttpCapsulator::writeChunk(Binary const& chunk) {
    Binary bytes = (core::Integer(chunk.length()).toHexString() + u"\r\n").toBinary();
    bytes.reserve(bytes.length() + chunk.length() + 2);
    bytes.append(chunk);
    bytes.append(kCrlf, 2);
    return _append(bytes);
}

bool HttpCapsulator::_readLine(String* line, int maxLength, bool* invalid) {
    if (invalid) *invalid = false;
    int end = _findLineEnd(0);
    if (end < 0 || (maxLength >= 0 && end > maxLength)) return false;
    if (hasControlByte(m_sb->data(), end)) {
        if (invalid) *invalid = true;
        return false;
    }
    *line = textOf(m_sb->data(), end);
    m_sb->skip(end + 2);
    return true;
}

bool HttpCapsulator::readRequestLine(String* method, String* target, String* version, int maxLength,
                                     bool* invalid) {
    String line;
    if (!_readLine(&line, maxLength, invalid)) return false;
    splitLine(line, method, target, version);
    return true;
}

bool HttpCapsulator::readStatusLine(String* version, int* code, String* reason, int maxLength,
                                    bool* invalid) {
    String line;
    if (!_readLine(&line, maxLength, invalid)) return false;
    String codeText;
    splitLine(line, version, &codeText, reason);
    *code = core::Integer::parse(codeText);
    return true;
}

bool HttpCapsulator::readHeaders(core::Dictionary<String>* headers, int maxLength, bool* invalid) {
    if (invalid) *invalid = false;
    char const* data = m_sb->data();
    int available = m_sb->available();
    if (available >= 2 && data[0] == '\r' && data[1] == '\n') {
        headers->clear();
        m_sb->skip(2);
        return true;
    }
    void const* found =
        available >= 4 ? memmem(data, static_cast<size_t>(available), "\r\n\r\n", 4) : nullptr;
    if (!found) return false;
    int blockEnd = static_cast<int>(static_cast<char const*>(found) - data);
    if (maxLength >= 0 && blockEnd > maxLength) return false;
    if (hasControlByte(data, blockEnd)) {
        if (invalid) *invalid = true;
        return false;
    }
    headers->clear();
    // The first spelling met of each name, by its lower-case form: names
    // differing only in case are one header, joined like exact repeats.
    core::Dictionary<String> spelling;
    String block = textOf(data, blockEnd);
    int start = 0;
    while (start <= block.length()) {
        int end = block.indexOf(u"\r\n", start);
        if (end < 0) end = block.length();
        // The colon is looked for within this line only, so a block of many
        // lines without one costs no more than one pass.
        int colon = start;
        Char const* text = block.data();
        while (colon < end && text[colon] != u':')
            ++colon;
        String name;
        String value;
        if (colon >= end) {
            name = block.mid(start, end - start);
        } else {
            name = block.mid(start, colon - start);
            value = block.mid(colon + 1, end - colon - 1);
            value.trim();
        }
        String const lower = name.toLower();
        String const* first = spelling.find(lower);
        if (!first) spelling.set(lower, name);
        String* existing = headers->find(first ? *first : name);
        if (existing) {
            *existing += u"\r\n";
            *existing += value;
        } else {
            headers->set(name, std::move(value));
        }
        start = end + 2;
    }
    m_sb->skip(blockEnd + 4);
    return true;
}

bool HttpCapsulator::readBody(Binary* body, int length) {
    if (length < 0 || m_sb->available() < length) return false;
    if (body) {
        bool read = m_sb->read(body, length);
        GT_ASSERT(read);
    } else {
        m_sb->skip(length);
    }
    return true;
}

bool HttpCapsulator::readChunk(Binary* chunk, bool* invalid) {
    if (invalid) *invalid = false;
    int lineEnd = _findLineEnd(0);
    if (lineEnd < 0) {
        if (m_sb->available() > kMaxChunkLine + 1 && invalid) *invalid = true;
        return false;
    }
    long long size = lineEnd > kMaxChunkLine ? -1 : parseChunkSize(m_sb->data(), lineEnd);
    if (size < 0) {
        if (invalid) *invalid = true;
        return false;
    }
    int dataStart = lineEnd + 2;
    char const* data = m_sb->data();
    int available = m_sb->available();
    if (size == 0) {
        // Trailer lines up to and including the empty line.
        int trailerEnd;
        if (available - dataStart >= 2 && data[dataStart] == '\r' && data[dataStart + 1] == '\n') {
            trailerEnd = dataStart + 2;
        } else {
            void const* found =
                available - dataStart >= 4
                    ? memmem(data + dataStart, static_cast<size_t>(available - dataStart), "\r\n\r\n", 4)
                    : nullptr;
            if (!found) {
                if (available - dataStart > kMaxTrailer && invalid) *invalid = true;
                return false;
            }
            trailerEnd = static_cast<int>(static_cast<char const*>(found) - data) + 4;
            if (trailerEnd - dataStart > kMaxTrailer) {
                if (invalid) *invalid = true;
                return false;
            }
        }
        if (chunk) chunk->clear();
        m_sb->skip(trailerEnd);
        return true;
    }
    long long needed = static_cast<long long>(dataStart) + size + 2;
    if (available < needed) return false;
    int const n = static_cast<int>(size);
    if (data[dataStart + n] != '\r' || data[dataStart + n + 1] != '\n') {
        if (invalid) *invalid = true;
        return false;
    }
    m_sb->skip(dataStart);
    if (chunk) {
        bool read = m_sb->read(chunk, n);
        GT_ASSERT(read);
    } else {
        m_sb->skip(n);
    }
    m_sb->skip(2);
    return true;
}

}  // namespace net
}  // namespace gt
