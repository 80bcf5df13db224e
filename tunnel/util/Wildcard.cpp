#include "tunnel/util/Wildcard.h"

#include <vector>

namespace tunnel {

bool wildcardMatch(gt::core::String const& text, gt::core::String const& pattern) {
    using gt::core::Char;
    int const n = text.length();
    Char const* t = text.data();
    // prev[k]: the pattern prefix handled so far matches the first k units of text.
    std::vector<char> prev(static_cast<size_t>(n) + 1, 0);
    std::vector<char> cur(static_cast<size_t>(n) + 1, 0);
    prev[0] = 1;
    for (int i = 0; i < pattern.length(); ++i) {
        Char const c = pattern[i];
        if (c == u'*') {
            cur[0] = prev[0];
            for (int k = 1; k <= n; ++k)
                cur[k] = cur[k - 1] || prev[k];
        } else {
            cur[0] = 0;
            for (int k = 1; k <= n; ++k)
                cur[k] = prev[k - 1] && (c == u'?' || c == t[k - 1]);
        }
        prev.swap(cur);
    }
    return prev[static_cast<size_t>(n)] != 0;
}

}  // namespace tunnel
