// Build-time generator of the built-in configuration: writes a header that
// holds the enciphered text of {"u": url, "e": spec, "h": [hosts]} and the
// word its key is made from.
//
//   config_generator <out.h> <url> <spec> <hosts, comma-separated> <word>
//
// The word is 8 lower-case ASCII letters. The header is rewritten only when
// its content changes, so an unchanged configuration rebuilds nothing.
#include <cstdio>
#include <cstring>
#include <string>

#include "gt/core/io/File.h"
#include "gt/core/util/Any.h"
#include "gt/core/util/Base64.h"
#include "gt/core/util/JSON.h"
#include "gt/core/util/MD5.h"
#include "gt/core/util/Strings.h"
#include "gt/core/util/TEA.h"

using gt::core::Any;
using gt::core::Array;
using gt::core::Binary;
using gt::core::Dictionary;
using gt::core::String;

namespace {

bool isWord(char const* word) {
    if (std::strlen(word) != 8) return false;
    for (char const* c = word; *c; ++c)
        if (*c < 'a' || *c > 'z') return false;
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 6) {
        std::fprintf(stderr, "usage: %s <out.h> <url> <spec> <hosts> <word>\n", argv[0]);
        return 2;
    }
    if (!isWord(argv[5])) {
        std::fprintf(stderr, "config word must be 8 lower-case letters: '%s'\n", argv[5]);
        return 2;
    }
    Array<Any> hosts;
    for (String const& host : gt::core::Strings(String::fromUtf8(argv[4]), u",")) {
        String entry(host);
        entry.trim();
        if (!entry.isEmpty()) hosts.add(Any(entry));
    }
    Dictionary<Any> object;
    object.set(u"u", Any(String::fromUtf8(argv[2])));
    object.set(u"e", Any(String::fromUtf8(argv[3])));
    object.set(u"h", Any(hosts));
    String json;
    if (!gt::core::JSON::encode(object, &json, false)) {
        std::fprintf(stderr, "cannot encode the configuration\n");
        return 1;
    }
    Binary key = gt::core::md5Hex(Binary(argv[5])).mid(8, 16).toBinary();
    Binary encrypted;
    if (!gt::core::TEA::encrypt(&encrypted, json.toBinary(), key)) return 1;
    Binary text = gt::core::Base64::encode(encrypted).toBinary();

    std::string header =
        "// Generated at build time from the API settings of the build; do not edit.\n"
        "#pragma once\n\n"
        "namespace tunnel {\nnamespace generated {\n\n"
        "char const kConfigText[] = \"" +
        std::string(text.data(), static_cast<size_t>(text.length())) +
        "\";\n"
        "char const kConfigWord[] = \"" +
        std::string(argv[5]) + "\";\n\n}  // namespace generated\n}  // namespace tunnel\n";
    Binary content(header.data(), static_cast<int>(header.size()));
    String const out = String::fromUtf8(argv[1]);
    Binary existing;
    if (gt::core::File::readAll(out, &existing) && existing == content) return 0;
    if (!gt::core::File::write(out, content)) {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
