#include "gt/core/util/JSON.h"

#include "gt/core/util/JsonBuilder.h"
#include "gt/core/util/JsonParser.h"

namespace gt {
namespace core {

namespace {

template <class Value>
bool encodeValue(Value const& value, String* out, bool pretty) {
    if (!out) return false;
    JsonBuilder builder;
    builder.begin(pretty);
    return builder.write(value, out);
}

bool parseText(String const& text, Any* root) {
    JsonParser parser;
    parser.begin(text);
    return parser.parse(root);
}

// Moves the root into out when it holds a T.
template <class T>
bool decodeContainer(String const& text, T* out) {
    if (!out) return false;
    Any root;
    if (!parseText(text, &root) || !root.is<T>()) return false;
    out->swap(root.cast<T>());
    return true;
}

}  // namespace

bool JSON::encode(Dictionary<Any> const& object, String* out, bool pretty) {
    return encodeValue(object, out, pretty);
}

bool JSON::encode(Array<Any> const& array, String* out, bool pretty) {
    return encodeValue(array, out, pretty);
}

bool JSON::encode(Any const& value, String* out, bool pretty) { return encodeValue(value, out, pretty); }

bool JSON::decode(String const& text, Dictionary<Any>* out) { return decodeContainer(text, out); }

bool JSON::decode(String const& text, Array<Any>* out) { return decodeContainer(text, out); }

bool JSON::decode(String const& text, Any* out) {
    if (!out) return false;
    Any root;
    if (!parseText(text, &root)) return false;
    out->swap(root);
    return true;
}

}  // namespace core
}  // namespace gt
