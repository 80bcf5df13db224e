#include "gt/core/util/Base64.h"

#include "gt/core/lang/CodePage.h"

namespace gt {
namespace core {

namespace {

char const kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

unsigned valueOf(unsigned char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return 0;
}

}  // namespace

String Base64::encode(Binary const& data) {
    int n = data.length();
    if (n == 0) return String();
    auto const* s = reinterpret_cast<unsigned char const*>(data.data());
    Binary text;
    text.setLength(static_cast<int>((static_cast<long long>(n) + 2) / 3 * 4));
    char* o = text.data();
    int i = 0;
    for (; i + 2 < n; i += 3) {
        unsigned v = (s[i] << 16) | (s[i + 1] << 8) | s[i + 2];
        *o++ = kAlphabet[v >> 18];
        *o++ = kAlphabet[(v >> 12) & 63];
        *o++ = kAlphabet[(v >> 6) & 63];
        *o++ = kAlphabet[v & 63];
    }
    if (i < n) {
        unsigned v = s[i] << 16;
        if (i + 1 < n) v |= s[i + 1] << 8;
        *o++ = kAlphabet[v >> 18];
        *o++ = kAlphabet[(v >> 12) & 63];
        *o++ = i + 1 < n ? kAlphabet[(v >> 6) & 63] : '=';
        *o++ = '=';
    }
    String result;
    convertFromUtf8(text, &result);
    return result;
}

Binary Base64::decode(String const& text) {
    Binary bytes;
    convertToUtf8(text, &bytes);
    int n = bytes.length();
    if (n % 4 != 0) return Binary();
    auto const* s = reinterpret_cast<unsigned char const*>(bytes.data());
    int j = n;
    while (j > 0 && s[j - 1] == '=')
        --j;
    int outLength = static_cast<int>(static_cast<long long>(j) * 6 / 8);
    Binary out;
    out.setLength(outLength);
    auto* o = reinterpret_cast<unsigned char*>(out.data());
    int written = 0;
    for (int i = 0; i < j && written < outLength; i += 4) {
        unsigned v = 0;
        for (int k = 0; k < 4; ++k)
            v = (v << 6) | (i + k < j ? valueOf(s[i + k]) : 0);
        for (int k = 0; k < 3 && written < outLength; ++k)
            o[written++] = (v >> (16 - 8 * k)) & 0xFF;
    }
    return out;
}

}  // namespace core
}  // namespace gt
