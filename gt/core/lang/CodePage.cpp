#include "gt/core/lang/CodePage.h"

namespace gt {
namespace core {

namespace {

// Decodes n bytes (with stopAtNul, only those before the first zero byte)
// into out, which has room for n units.
int decodeUtf8(unsigned char const* s, int n, Char* out, bool stopAtNul) {
    int o = 0;
    int i = 0;
    while (i < n && !(stopAtNul && s[i] == 0)) {
        unsigned b = s[i];
        if (b < 0x80) {
            out[o++] = static_cast<Char>(b);
            ++i;
            continue;
        }
        int need;
        unsigned cp;
        unsigned lower = 0x80, upper = 0xBF;
        if (b >= 0xC2 && b <= 0xDF) {
            need = 1;
            cp = b & 0x1F;
        } else if (b >= 0xE0 && b <= 0xEF) {
            need = 2;
            cp = b & 0x0F;
            if (b == 0xE0) lower = 0xA0;
            if (b == 0xED) upper = 0x9F;
        } else if (b >= 0xF0 && b <= 0xF4) {
            need = 3;
            cp = b & 0x07;
            if (b == 0xF0) lower = 0x90;
            if (b == 0xF4) upper = 0x8F;
        } else {
            out[o++] = 0xFFFD;
            ++i;
            continue;
        }
        ++i;
        bool ok = true;
        for (int k = 0; k < need; ++k) {
            if (i >= n || s[i] < lower || s[i] > upper) {
                ok = false;  // the offending byte starts the next sequence
                break;
            }
            cp = (cp << 6) | (s[i] & 0x3F);
            ++i;
            lower = 0x80;
            upper = 0xBF;
        }
        if (!ok) {
            out[o++] = 0xFFFD;
        } else if (cp >= 0x10000) {
            cp -= 0x10000;
            out[o++] = static_cast<Char>(0xD800 + (cp >> 10));
            out[o++] = static_cast<Char>(0xDC00 + (cp & 0x3FF));
        } else {
            out[o++] = static_cast<Char>(cp);
        }
    }
    return o;
}

void fromBytes(Binary const& in, String* out, bool skipMark, bool stopAtNul) {
    if (!out) return;
    int n = in.length();
    if (n == 0) {
        out->clear();
        return;
    }
    auto const* s = reinterpret_cast<unsigned char const*>(in.data());
    if (skipMark && n > 2 && s[0] == 0xEF && s[1] == 0xBB && s[2] == 0xBF) {
        s += 3;
        n -= 3;
    }
    String result;
    result.reserve(n);
    int units = decodeUtf8(s, n, result.data(), stopAtNul);
    result.setLength(units);
    out->swap(result);
}

void toBytes(String const& in, Binary* out) {
    if (!out) return;
    int n = in.length();
    Char const* s = in.data();
    // Exact size first: up to the first NUL.
    long long bytes = 0;
    int end = 0;
    for (; end < n && s[end] != 0; ++end) {
        unsigned c = s[end];
        if (c < 0x80)
            bytes += 1;
        else if (c < 0x800)
            bytes += 2;
        else if (c >= 0xD800 && c <= 0xDBFF && end + 1 < n && s[end + 1] >= 0xDC00 && s[end + 1] <= 0xDFFF) {
            bytes += 4;
            ++end;
        } else
            bytes += 3;
    }
    if (bytes > 0x3FFFFFFF) {
        out->clear();
        return;
    }
    Binary result;
    result.setLength(static_cast<int>(bytes));
    auto* o = reinterpret_cast<unsigned char*>(result.data());
    for (int i = 0; i < end; ++i) {
        unsigned c = s[i];
        if (c < 0x80) {
            *o++ = static_cast<unsigned char>(c);
        } else if (c < 0x800) {
            *o++ = static_cast<unsigned char>(0xC0 | (c >> 6));
            *o++ = static_cast<unsigned char>(0x80 | (c & 0x3F));
        } else if (c >= 0xD800 && c <= 0xDBFF && i + 1 < end && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
            unsigned cp = 0x10000 + ((c - 0xD800) << 10) + (s[i + 1] - 0xDC00u);
            ++i;
            *o++ = static_cast<unsigned char>(0xF0 | (cp >> 18));
            *o++ = static_cast<unsigned char>(0x80 | ((cp >> 12) & 0x3F));
            *o++ = static_cast<unsigned char>(0x80 | ((cp >> 6) & 0x3F));
            *o++ = static_cast<unsigned char>(0x80 | (cp & 0x3F));
        } else {
            if (c >= 0xD800 && c <= 0xDFFF) c = 0xFFFD;  // lone surrogate
            *o++ = static_cast<unsigned char>(0xE0 | (c >> 12));
            *o++ = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
            *o++ = static_cast<unsigned char>(0x80 | (c & 0x3F));
        }
    }
    out->swap(result);
}

}  // namespace

void convertFromUtf8(Binary const& in, String* out) { fromBytes(in, out, true, false); }

void convertFromAnsi(Binary const& in, String* out) { fromBytes(in, out, false, true); }

void convertToUtf8(String const& in, Binary* out) { toBytes(in, out); }

void convertToOem(String const& in, Binary* out) { toBytes(in, out); }

}  // namespace core
}  // namespace gt
