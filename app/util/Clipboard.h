// The desktop's text clipboard, for copying a mapping's public address.
// Goes through the application's Qt clipboard, so it needs the
// QGuiApplication and its thread; the text keeps every Unicode character
// up to a NUL (app/util/QtText).
#pragma once

#include "gt/core/lang/String.h"

namespace tunnel {

class Clipboard {
public:
    // Puts the text on the clipboard in place of what was there. False when
    // there is no clipboard to reach (no application, or not its thread).
    static bool setText(gt::core::String const& text);
    // The clipboard's text. False for a null pointer, without a clipboard to
    // reach, or when the clipboard holds no text (out is then left alone).
    static bool getText(gt::core::String* out);
};

}  // namespace tunnel
