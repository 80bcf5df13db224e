// The cloud endpoints built into the program, kept enciphered: a small JSON
// object ("u" the API root URL, "e" the body encryption spec, "h" the API
// server entries), UTF-8, TEA-encrypted under a key made from a built-in
// word, as Base64 text. Each accessor decodes it afresh.
#pragma once

#include "gt/core/lang/String.h"
#include "gt/core/util/Any.h"
#include "gt/core/util/Array.h"
#include "gt/core/util/Dictionary.h"

class Config {
public:
    // The decoded object. A damaged stored text is a fatal error: the
    // program cannot run without its endpoints.
    static gt::core::Dictionary<gt::core::Any> load();
    static gt::core::String apiUrl();
    static gt::core::String encryption();
    // Empty when "h" is missing; a "h" that is not a list is a bad cast.
    static gt::core::Array<gt::core::String> hosts();

    // load() over any stored text and word (the build's generator makes the
    // text with encode()).
    static gt::core::Dictionary<gt::core::Any> decode(gt::core::String const& stored,
                                                      gt::core::String const& word);
    static gt::core::String encode(gt::core::Dictionary<gt::core::Any> const& object,
                                   gt::core::String const& word);
    // The entries of "h" of a decoded object, as hosts() reads them.
    static gt::core::Array<gt::core::String> hostsOf(gt::core::Dictionary<gt::core::Any> const& object);
};
