#include "app/util/QtText.h"

namespace tunnel {

QString toQString(gt::core::String const& text) {
    int length = 0;
    while (length < text.length() && text.data()[length] != 0)
        ++length;
    return QString::fromUtf16(text.data(), length);
}

gt::core::String fromQString(QString const& text) {
    auto units = reinterpret_cast<char16_t const*>(text.utf16());
    int length = 0;
    while (length < text.size() && units[length] != 0)
        ++length;
    return gt::core::String(units, length);
}

}  // namespace tunnel
