#include "gt/core/lang/CommandLine.h"

namespace gt {
namespace core {
namespace detail {

void splitArguments(String const& text, std::vector<String>& out) {
    out.clear();
    bool quoted = false;
    Char const* p = text.data();
    Char const* end = p + text.length();
    String current;
    while (p < end) {
        // Take the longest run of ordinary characters in one block copy.
        Char const* run = p;
        if (quoted) {
            while (p < end && *p != u'"')
                ++p;
        } else {
            while (p < end && *p != u'"' && *p != u' ' && *p != u'\t')
                ++p;
        }
        if (p > run) current.append(run, static_cast<int>(p - run));
        if (p == end) break;
        if (*p == u'"') {
            quoted = !quoted;
        } else if (!current.isEmpty()) {
            out.push_back(current);
            current.clear();
        }
        ++p;
    }
    if (!current.isEmpty()) out.push_back(current);
}

}  // namespace detail
}  // namespace core
}  // namespace gt
