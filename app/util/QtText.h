// The one conversion between the library's strings and Qt's, for every part
// of the client. Both stop at the first NUL: the library's texts end there
// wherever they are written (settings, registry, C APIs), so a string shown
// or handed on must not carry what follows it.
#pragma once

#include <QString>

#include "gt/core/lang/String.h"

namespace tunnel {

// The characters of the String up to its first NUL.
QString toQString(gt::core::String const& text);
// The characters of the QString up to its first NUL.
gt::core::String fromQString(QString const& text);

}  // namespace tunnel
