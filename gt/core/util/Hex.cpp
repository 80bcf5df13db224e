#include "gt/core/util/Hex.h"

#include "gt/core/lang/CodePage.h"

namespace gt {
namespace core {

namespace {

unsigned digitOf(unsigned char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return 0;
}

}  // namespace

String Hex::encode(Binary const& data) {
    static char const digits[] = "0123456789ABCDEF";
    int n = data.length();
    if (n == 0) return String();
    if (n > 0x1FFFFFFF) return String();
    Binary text;
    text.setLength(n * 2);
    auto const* s = reinterpret_cast<unsigned char const*>(data.data());
    char* o = text.data();
    for (int i = 0; i < n; ++i) {
        *o++ = digits[s[i] >> 4];
        *o++ = digits[s[i] & 15];
    }
    String result;
    convertFromUtf8(text, &result);
    return result;
}

Binary Hex::decode(String const& text) {
    Binary bytes;
    convertToUtf8(text, &bytes);
    int n = bytes.length();
    if (n % 2 != 0) return Binary();
    auto const* s = reinterpret_cast<unsigned char const*>(bytes.data());
    Binary out;
    out.setLength(n / 2);
    for (int i = 0; i < n / 2; ++i)
        out.data()[i] = static_cast<char>((digitOf(s[2 * i]) << 4) | digitOf(s[2 * i + 1]));
    return out;
}

}  // namespace core
}  // namespace gt
