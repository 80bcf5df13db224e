// One-call JSON text encoding and decoding of Any trees.
#pragma once

#include "gt/core/util/Any.h"

namespace gt {
namespace core {

class JSON {
public:
    // True when the whole tree was written into out (which is cleared first).
    static bool encode(Dictionary<Any> const& object, String* out, bool pretty);
    static bool encode(Array<Any> const& array, String* out, bool pretty);
    static bool encode(Any const& value, String* out, bool pretty);

    // True only when the text parses and its root is of the output's kind;
    // the output is then replaced, otherwise left as it was.
    static bool decode(String const& text, Dictionary<Any>* out);
    static bool decode(String const& text, Array<Any>* out);
    static bool decode(String const& text, Any* out);
};

}  // namespace core
}  // namespace gt
