#include "tunnel/client/DictionaryCodec.h"

#include <cstring>

#include "gt/core/lang/CodePage.h"

using gt::core::Binary;
using gt::core::Dictionary;
using gt::core::String;

namespace tunnel {

namespace {

char const kMagic[4] = {'\xDA', '\xDA', '\x00', '\x00'};

void appendInt32(Binary* out, int value) {
    unsigned const v = static_cast<unsigned>(value);
    char const bytes[4] = {static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF),
                           static_cast<char>((v >> 16) & 0xFF), static_cast<char>((v >> 24) & 0xFF)};
    out->append(bytes, 4);
}

int readInt32(char const* p) {
    unsigned char const* u = reinterpret_cast<unsigned char const*>(p);
    return static_cast<int>(static_cast<unsigned>(u[0]) | (static_cast<unsigned>(u[1]) << 8) |
                            (static_cast<unsigned>(u[2]) << 16) | (static_cast<unsigned>(u[3]) << 24));
}

template <class Value, class Convert>
bool encodeAll(Dictionary<Value> const& dictionary, Binary* out, bool magic, Convert convert) {
    if (out == nullptr) return false;
    out->clear();
    Binary key;
    for (auto const& entry : dictionary) {
        // The UTF-8 conversion stops at a U+0000, so look for it in the text.
        if (entry.first.indexOf(gt::core::Char(0)) >= 0) {
            out->clear();
            return false;
        }
        gt::core::convertToUtf8(entry.first, &key);
        if (!writeDictionaryEntry(out, key, convert(entry.second), magic)) {
            out->clear();
            return false;
        }
    }
    return true;
}

template <class Value, class Convert>
bool decodeAll(Binary const& data, Dictionary<Value>* out, bool magic, Convert convert) {
    if (out == nullptr) return false;
    out->clear();
    Binary key;
    Binary value;
    String name;
    int offset = 0;
    int consumed = 0;
    while (offset < data.length() && readDictionaryEntry(data, offset, &key, &value, &consumed, magic)) {
        gt::core::convertFromUtf8(key, &name);
        out->set(name, convert(value));
        offset += consumed;
    }
    return offset == data.length();
}

}  // namespace

bool writeDictionaryEntry(Binary* out, Binary const& key, Binary const& value, bool magic) {
    if (out == nullptr) return false;
    // 00 ends the key on the wire: a key holding one would be cut there and
    // could read back as, and replace, another key.
    if (std::memchr(key.data(), 0, static_cast<size_t>(key.length())) != nullptr) return false;
    if (magic) out->append(kMagic, 4);
    out->append(key.data(), key.length());
    out->append('\0');
    appendInt32(out, value.length());
    out->append(value.data(), value.length());
    return true;
}

bool encodeDictionary(Dictionary<Binary> const& dictionary, Binary* out, bool magic) {
    return encodeAll(dictionary, out, magic, [](Binary const& value) -> Binary const& { return value; });
}

bool encodeDictionary(Dictionary<String> const& dictionary, Binary* out, bool magic) {
    return encodeAll(dictionary, out, magic, [](String const& value) {
        Binary bytes;
        gt::core::convertToUtf8(value, &bytes);
        return bytes;
    });
}

bool readDictionaryEntry(Binary const& data, int offset, Binary* key, Binary* value, int* consumed,
                         bool magic) {
    if (key == nullptr || value == nullptr || consumed == nullptr) return false;
    int const size = data.length();
    if (offset < 0 || offset > size) return false;
    char const* base = data.data();
    int p = offset;
    if (magic) {
        if (size - offset < 4) return false;
        if (std::memcmp(base + offset, kMagic, 4) != 0) return false;
        p = offset + 4;
    }
    void const* zero = std::memchr(base + p, 0, static_cast<size_t>(size - p));
    if (zero == nullptr) return false;
    int const keyEnd = static_cast<int>(static_cast<char const*>(zero) - base);
    // Every comparison is on the bytes that remain, so a huge length cannot overflow.
    if (size - (keyEnd + 1) < 4) return false;
    int const length = readInt32(base + keyEnd + 1);
    int const valueStart = keyEnd + 5;
    if (length < 0 || size - valueStart < length) return false;
    key->assign(base + p, keyEnd - p);
    value->assign(base + valueStart, length);
    *consumed = valueStart + length - offset;
    return true;
}

bool decodeDictionary(Binary const& data, Dictionary<Binary>* out, bool magic) {
    return decodeAll(data, out, magic, [](Binary const& value) -> Binary const& { return value; });
}

bool decodeDictionary(Binary const& data, Dictionary<String>* out, bool magic) {
    return decodeAll(data, out, magic, [](Binary const& value) {
        String text;
        gt::core::convertFromUtf8(value, &text);
        return text;
    });
}

}  // namespace tunnel
