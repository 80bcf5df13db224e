#include "tunnel/Config.h"

#include "gt/core/lang/Fatal.h"
#include "gt/core/util/Base64.h"
#include "gt/core/util/JSON.h"
#include "gt/core/util/TEA.h"
#include "tunnel/ConfigText.h"
#include "tunnel/encrypt/Encryptor.h"

using gt::core::Any;
using gt::core::Array;
using gt::core::Binary;
using gt::core::Dictionary;
using gt::core::String;

gt::core::Dictionary<Any> Config::load() {
    return decode(String::fromUtf8(tunnel::generated::kConfigText),
                  String::fromUtf8(tunnel::generated::kConfigWord));
}

String Config::encode(Dictionary<Any> const& object, String const& word) {
    String text;
    gt::core::JSON::encode(object, &text, false);
    Binary encrypted;
    gt::core::TEA::encrypt(&encrypted, text.toBinary(), tunnel::Encryptor::teaKey(word));
    return gt::core::Base64::encode(encrypted);
}

// The two failures below are reported with these exact texts and lines,
// which is how a damaged executable is recognised in the field.
Dictionary<Any> Config::decode(String const& stored, String const& word) {
    Binary const key = tunnel::Encryptor::teaKey(word);
    Binary const encrypted = gt::core::Base64::decode(stored);
    Binary plain;
    bool const decrypted = gt::core::TEA::decrypt(&plain, encrypted, key);
    // A text whose length does not fit the cipher, or whose padding is
    // wrong, does not decrypt.
    if (!decrypted) GT_ASSERT(!L"Bad config data");
    Dictionary<Any> object;
    bool const parsed = gt::core::JSON::decode(plain.utf8ToString(), &object);
    if (!parsed) GT_ASSERT(!L"Bad config format");
    return object;
}

String Config::apiUrl() { return gt::core::toString(load().get(u"u")); }

String Config::encryption() { return gt::core::toString(load().get(u"e")); }

Array<String> Config::hosts() { return hostsOf(load()); }

Array<String> Config::hostsOf(Dictionary<Any> const& object) {
    Array<String> result;
    Any const* list = object.find(u"h");
    if (!list || list->isEmpty()) return result;
    for (Any const& entry : list->cast<Array<Any> >())
        result.add(gt::core::toString(entry));
    return result;
}
