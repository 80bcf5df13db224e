// This computer's binding to a device of the account: "device.id" (decimal)
// and "device.token" (opaque) in the user settings, properties.cfg, with
// which the service program logs in as that device. The one reader and the
// one writer of the two entries in the desktop client.
#pragma once

#include "gt/core/lang/String.h"
#include "tunnel/api/EncryptedProperties.h"

namespace tunnel {

class DeviceBinding {
public:
    static char16_t const* const ID_KEY;     // "device.id"
    static char16_t const* const TOKEN_KEY;  // "device.token"

    // Both entries hold something.
    static bool isBound(EncryptedProperties const& settings);
    // "device.id" read as a decimal number; 0 when it is unset or holds no
    // number, which names no device.
    static long long deviceId(EncryptedProperties const& settings);
    // Writes both entries in one save, so that the service reads the old
    // binding or the new one, never half of each; empty texts unbind. A
    // failed save reads the file back, so that what never reached the file
    // does not count as the binding here either; reason (when given) then
    // says why, else it is emptied.
    static bool save(EncryptedProperties* settings, gt::core::String const& id, gt::core::String const& token,
                     gt::core::String* reason);
};

}  // namespace tunnel
