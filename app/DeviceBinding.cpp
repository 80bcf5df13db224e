#include "app/DeviceBinding.h"

#include "gt/core/lang/Long.h"
#include "gt/core/util/Dictionary.h"

using gt::core::String;

namespace tunnel {

char16_t const* const DeviceBinding::ID_KEY = u"device.id";
char16_t const* const DeviceBinding::TOKEN_KEY = u"device.token";

bool DeviceBinding::isBound(EncryptedProperties const& settings) {
    return !settings.get(TOKEN_KEY).isEmpty() && !settings.get(ID_KEY).isEmpty();
}

long long DeviceBinding::deviceId(EncryptedProperties const& settings) {
    return gt::core::Long::parse(settings.get(ID_KEY));
}

bool DeviceBinding::save(EncryptedProperties* settings, String const& id, String const& token,
                         String* reason) {
    gt::core::Dictionary<String> binding;
    binding.set(ID_KEY, id);
    binding.set(TOKEN_KEY, token);
    bool const saved = settings->set(binding);
    if (reason) *reason = saved ? String() : settings->lastSaveError();
    if (!saved) settings->load();
    return saved;
}

}  // namespace tunnel
