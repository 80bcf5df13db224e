// The service program's side of the cloud API: it talks as a device, logged
// in with the device token that the desktop client bound to this computer.
#pragma once

#include "gt/core/util/Any.h"
#include "gt/core/util/Array.h"
#include "gt/core/util/Dictionary.h"
#include "tunnel/api/ApiClient.h"

namespace tunnel {

class DeviceApiClient : public ApiClient {
public:
    static char16_t const* const CLIENT_VERSION;  // "2.0.7", sent with the login

    DeviceApiClient(gt::util::IHttpAccess* transport, gt::net::URL const& root,
                    gt::core::String const& sessionId);
    ~DeviceApiClient() override;

    // "login" on /account with the token; on success the reply's
    // "session_id" (as text; empty when missing) becomes the session.
    bool login(gt::core::String const& token);
    // "logout" on /account, sent even without a session; the session is
    // empty afterwards whatever the outcome.
    void logout();
    // "query_my_device": the reply's "device" object; false when it is not one.
    bool queryMyDevice(gt::core::Dictionary<gt::core::Any>* device);
    // "enum_forwards" on /instance: the reply's "forwards" array as raw
    // values; false when it is not an array.
    bool enumForwards(gt::core::Array<gt::core::Any>* forwards);
};

}  // namespace tunnel
