// Writes an Any tree as UTF-16 JSON text, compact (no whitespace at all) or
// pretty (CR LF line ends, one TAB per nesting level).
#pragma once

#include "gt/core/util/Any.h"

namespace gt {
namespace core {

class JsonBuilder {
public:
    JsonBuilder();
    virtual ~JsonBuilder();

    // False when already begun.
    bool begin(bool pretty);
    void end();
    bool isBegun() const { return m_begun; }

    // Clear out, then write the value. False when out is null, the builder is
    // not begun or the tree holds a type JSON cannot express, infinity and NaN
    // included (the text up to that value stays in out).
    bool write(Dictionary<Any> const& object, String* out);
    bool write(Array<Any> const& array, String* out);
    bool write(Any const& value, String* out);

    // Append to out without clearing it.
    bool writeValue(Any const& value, String* out);
    bool writeObject(Dictionary<Any> const& object, String* out);
    bool writeArray(Array<Any> const& array, String* out);

    // Backslash, double quote, CR, LF, form feed, backspace and TAB become
    // their two-character escapes, every other unit below 0x20 \u00XX;
    // nothing else is touched.
    static void escapeString(String& text);

private:
    void _lineBreak(String* out) const;
    static void _appendEscaped(String const& text, String* out);

    int m_depth;
    bool m_pretty;
    bool m_begun;
};

}  // namespace core
}  // namespace gt
