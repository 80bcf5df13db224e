#include "tunnel/encrypt/Encryptor.h"

#include "gt/core/lang/Fatal.h"
#include "gt/core/util/MD5.h"
#include "gt/core/util/Strings.h"
#include "gt/core/util/TEA.h"

using gt::core::Binary;
using gt::core::String;

namespace tunnel {

namespace {

bool isBlank(gt::core::Char c) { return c == u' ' || (c >= 9 && c <= 13); }

String trimBlanks(String const& text) {
    int begin = 0;
    int end = text.length();
    while (begin < end && isBlank(text[begin]))
        ++begin;
    while (end > begin && isBlank(text[end - 1]))
        --end;
    return text.mid(begin, end - begin);
}

Binary teaEncrypt(Binary const& data, String const& word, String const& messageKey) {
    Binary key = Encryptor::teaKey(word + messageKey);
    Binary out;
    bool const encrypted = gt::core::TEA::encrypt(&out, data, key);
    if (!encrypted) gt::core::raiseAssert("TEA::encrypt(&en_data, buffer, pwd_16)", __FILE__, __LINE__);
    return out;
}

Binary teaDecrypt(Binary const& data, String const& word, String const& messageKey) {
    Binary out;
    if (!gt::core::TEA::decrypt(&out, data, Encryptor::teaKey(word + messageKey))) return Binary();
    return out;
}

}  // namespace

Encryptor::Encryptor() = default;

Encryptor::Encryptor(String const& spec) {
    gt::core::Strings pieces(spec, u";");
    for (String const& raw : pieces) {
        String const piece = trimBlanks(raw);
        int const open = piece.indexOf(u'(');
        String const name = (open < 0 ? piece : piece.left(open)).toLower();
        String argument;
        if (open >= 0) {
            int const close = piece.indexOf(u')', open + 1);
            argument = close < 0 ? piece.mid(open + 1, piece.length() - open - 1)
                                 : piece.mid(open + 1, close - open - 1);
        }
        if (name != u"tea") continue;
        m_encryptSteps.add([argument](Binary const& data, String const& messageKey) {
            return teaEncrypt(data, argument, messageKey);
        });
        Step decryptStep = [argument](Binary const& data, String const& messageKey) {
            return teaDecrypt(data, argument, messageKey);
        };
        gt::core::Array<Step> reversed;
        reversed.add(decryptStep);
        for (Step const& step : m_decryptSteps)
            reversed.add(step);
        m_decryptSteps.swap(reversed);
    }
}

Encryptor::~Encryptor() = default;

Binary Encryptor::teaKey(String const& text) {
    return gt::core::md5Hex(text.toBinary()).mid(8, 16).toBinary();
}

Binary Encryptor::encrypt(Binary const& data, String const& messageKey) const {
    Binary result(data);
    for (Step const& step : m_encryptSteps)
        result = step(result, messageKey);
    return result;
}

Binary Encryptor::decrypt(Binary const& data, String const& messageKey) const {
    Binary result(data);
    for (Step const& step : m_decryptSteps)
        result = step(result, messageKey);
    return result;
}

}  // namespace tunnel
