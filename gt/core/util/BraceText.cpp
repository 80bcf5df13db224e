#include "gt/core/util/BraceText.h"

namespace gt {
namespace core {

bool isBraceTextKey(String const& key) {
    for (Char const *p = key.data(), *end = p + key.length(); p < end; ++p) {
        if (*p < 33 || *p == u'{' || *p == u'}') return false;
    }
    return true;
}

// The reader closes a value at the first '}' at nesting depth 0, so every
// '}' needs an earlier '{' of its own and every '{' a later '}'.
bool isBraceTextValue(String const& value) {
    int depth = 0;
    for (Char const *p = value.data(), *end = p + value.length(); p < end; ++p) {
        if (*p == u'{') {
            ++depth;
        } else if (*p == u'}') {
            if (depth == 0) return false;
            --depth;
        }
    }
    return depth == 0;
}

bool formatBraceText(Dictionary<String> const& dict, String* out) {
    if (!out) return false;
    out->clear();
    int size = 0;
    for (auto const& entry : dict) {
        if (!isBraceTextKey(entry.first) || !isBraceTextValue(entry.second)) return false;
        size += entry.first.length() + entry.second.length() + 2;
    }
    out->reserve(size);
    for (auto const& entry : dict) {
        out->append(entry.first);
        out->append(u'{');
        out->append(entry.second);
        out->append(u'}');
    }
    return true;
}

void parseBraceText(String const& text, Dictionary<String>* dict) {
    if (!dict) return;
    dict->clear();
    Char const* begin = text.data();
    Char const* end = begin + text.length();
    Char const* key = begin;
    Char const* cursor = begin;
    while (cursor < end) {
        Char c = *cursor;
        if (c < 33) {
            key = cursor = cursor + 1;
        } else if (c == u'{') {
            Char const* valueStart = cursor + 1;
            Char const* p = valueStart;
            int depth = 0;
            for (; p < end; ++p) {
                if (*p == u'{') {
                    ++depth;
                } else if (*p == u'}') {
                    if (depth == 0) break;
                    --depth;
                }
            }
            if (p == end) return;  // not closed: the unfinished entry is dropped
            dict->set(String(key, cursor), String(valueStart, p));
            key = cursor = p + 1;
        } else {
            ++cursor;
        }
    }
}

}  // namespace core
}  // namespace gt
