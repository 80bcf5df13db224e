#include "gt/core/lang/Boolean.h"

namespace gt {
namespace core {

String const& Boolean::trueString() {
    static String const text(u"true");
    return text;
}

String const& Boolean::falseString() {
    static String const text(u"false");
    return text;
}

bool Boolean::parse(String const& text) {
    static char16_t const word[] = u"true";
    if (text.length() != 4) return false;
    for (int i = 0; i < 4; ++i) {
        Char c = text[i];
        if (c >= u'A' && c <= u'Z') c = static_cast<Char>(c - u'A' + u'a');
        if (c != word[i]) return false;
    }
    return true;
}

}  // namespace core
}  // namespace gt
