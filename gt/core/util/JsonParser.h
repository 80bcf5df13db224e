// Reads UTF-16 JSON text into an Any tree: objects become Dictionary<Any>,
// arrays Array<Any>, integers the narrowest of signed char, short, int and
// long long, numbers with a point double. Nesting deeper than MAX_DEPTH
// objects and arrays fails the read.
#pragma once

#include "gt/core/util/Any.h"

namespace gt {
namespace core {

class JsonParser {
public:
    static constexpr int MAX_DEPTH = 256;

    JsonParser();
    virtual ~JsonParser();

    // Copies the text; false when already begun.
    bool begin(String const& text);
    void end();
    bool isBegun() const { return m_begun; }

    // Reads the first complete value of the text (whatever follows it is not
    // looked at) and swaps it into out. On failure out is left untouched.
    // The same text can be parsed again.
    bool parse(Any* out);

    // Each starts at the cursor, skipping whitespace first.
    bool readValue(Any* out);
    bool readString(String* out);
    bool readNumber(Any* out);
    bool readKeyword(Any* out);
    bool readObject(Dictionary<Any>* out);
    bool readArray(Array<Any>* out);
    // Whitespace: the units 0x09-0x0D, the space and NUL.
    void skipWhitespace();

private:
    class DepthGuard;

    bool _atEnd() const { return m_cursor >= m_text.length(); }
    Char _current() const { return m_text.data()[m_cursor]; }
    bool _matches(Char const* word, int length) const;

    String m_text;
    int m_cursor;
    bool m_begun;
    String m_number;
    int m_depth;
};

}  // namespace core
}  // namespace gt
