// Turns an encryption spec ("tea(word);tea(other)") into two chains of
// steps over byte buffers, each step keyed by the step's own word and a
// per-message string the caller gives with every call.
#pragma once

#include <functional>

#include "gt/core/lang/Binary.h"
#include "gt/core/lang/String.h"
#include "gt/core/util/Array.h"

namespace tunnel {

class Encryptor {
public:
    using Step = std::function<gt::core::Binary(gt::core::Binary const&, gt::core::String const&)>;

    // No steps: both directions copy the data.
    Encryptor();
    // Steps separated by ';', each a name with an optional argument in
    // parentheses; only "tea" (any case) is known, other steps are skipped.
    explicit Encryptor(gt::core::String const& spec);
    Encryptor(Encryptor const&) = default;
    Encryptor& operator=(Encryptor const&) = default;
    virtual ~Encryptor();

    // The steps in spec order, each on the previous result.
    gt::core::Binary encrypt(gt::core::Binary const& data, gt::core::String const& messageKey) const;
    // The steps in reverse order. A step that cannot decrypt yields an empty
    // buffer, so a failure shows as an empty result, never as an exception.
    gt::core::Binary decrypt(gt::core::Binary const& data, gt::core::String const& messageKey) const;

    bool hasSteps() const { return !m_encryptSteps.isEmpty(); }

    // The 16-byte TEA key of a text: characters 8..23 of the lower-case hex
    // MD5 of its UTF-8 bytes.
    static gt::core::Binary teaKey(gt::core::String const& text);

private:
    gt::core::Array<Step> m_encryptSteps;
    gt::core::Array<Step> m_decryptSteps;
};

}  // namespace tunnel
