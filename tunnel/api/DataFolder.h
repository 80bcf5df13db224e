// The data folder that the service program and the desktop client share, and
// the names of the files both of them open there. Both programs build their
// paths from here, so they always meet in the same folder.
#pragma once

#include "gt/core/lang/String.h"

namespace tunnel {

class DataFolder {
public:
    static char16_t const* const NAME;             // "Quorvane2"
    static char16_t const* const PROPERTIES_FILE;  // "properties.cfg": user settings
    static char16_t const* const STATUS_FILE;      // "status.json.tmp": the status mailbox

    // <common application data>/Quorvane2, read from the environment now.
    static gt::core::String path();
    // Lower-case MD5 hex of the host name's UTF-8 bytes (of the empty text
    // when the name cannot be read): the password of the settings files, so
    // that a copied file does not open on another computer.
    static gt::core::String propertiesPassword();
};

}  // namespace tunnel
