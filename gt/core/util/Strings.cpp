#include "gt/core/util/Strings.h"

#include <utility>

namespace gt {
namespace core {

Strings::Strings(Strings&& other) noexcept : Array<String>(std::move(other)) {}

Strings::Strings(String const& text, String const& separator) {
    if (text.isEmpty()) return;
    int const m = separator.length();
    if (m == 0) {
        add(text);
        return;
    }
    int const n = text.length();
    int d = 0;
    while (d < n) {
        int found = text.indexOf(separator, d);
        if (found < 0) {
            add(String(text.data() + d, n - d));
            return;
        }
        add(String(text.data() + d, found - d));
        d = found + m;
    }
    // The text ended with the separator.
    add(String());
}

Strings& Strings::operator=(Strings&& other) noexcept {
    Array<String>::operator=(std::move(other));
    return *this;
}

Strings::~Strings() = default;

String Strings::toString() const { return join(String()); }

String Strings::join(String const& separator) const {
    String out;
    join(&out, separator);
    return out;
}

void Strings::join(String* out, String const& separator) const {
    if (!out) return;
    out->clear();
    if (isEmpty()) return;
    long long total = static_cast<long long>(separator.length()) * (count() - 1);
    for (String const& s : *this)
        total += s.length();
    if (total > 0x3FFFFFFF) total = 0x3FFFFFFF;  // append reports the overflow itself
    out->reserve(static_cast<int>(total));
    bool first = true;
    for (String const& s : *this) {
        if (!first) out->append(separator);
        out->append(s);
        first = false;
    }
}

String Strings::join(Strings const& list, String const& separator) { return list.join(separator); }

}  // namespace core
}  // namespace gt
