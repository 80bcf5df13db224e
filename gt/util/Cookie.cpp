#include "gt/util/Cookie.h"

namespace gt {
namespace util {

using core::String;

Cookie::Cookie(String const& text) {
    int const length = text.length();
    int eq = text.indexOf(u'=');
    if (eq < 0) {
        name = text;
    } else {
        name = text.left(eq);
        int semi = text.indexOf(u';', eq + 1);
        int end = semi < 0 ? length : semi;
        value = text.mid(eq + 1, end - eq - 1);
    }
    // Every piece, the name=value pair included, may set an attribute.
    int start = 0;
    while (start <= length) {
        int semi = text.indexOf(u';', start);
        int end = semi < 0 ? length : semi;
        String piece = text.mid(start, end - start);
        int pieceEq = piece.indexOf(u'=');
        String key = pieceEq < 0 ? piece : piece.left(pieceEq);
        key = key.toLower();
        key.trim();
        if (key == u"domain" || key == u"path") {
            String attribute = pieceEq < 0 ? String() : piece.mid(pieceEq + 1, piece.length() - pieceEq - 1);
            (key == u"domain" ? domain : path) = attribute;
        }
        if (semi < 0) break;
        start = semi + 1;
    }
    name.trim();
}

String Cookie::toString() const { return name + u"=" + value + u"; domain=" + domain + u"; path=" + path; }

}  // namespace util
}  // namespace gt
