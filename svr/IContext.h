// What the services of the service program reach through their context: the
// log, the settings store, the forward workers, the device's API client, the
// account service, and the way to end the run loop.
#pragma once

#include "gt/util/ILogRecorder.h"

namespace tunnel {

class EncryptedProperties;
class NatManager;
class DeviceApiClient;
class AccountService;

class IContext {
public:
    virtual gt::util::ILogRecorder* logRecorder() = 0;
    virtual EncryptedProperties* properties() = 0;
    virtual NatManager* natManager() = 0;
    virtual DeviceApiClient* apiClient() = 0;
    virtual AccountService* accountService() = 0;
    // Raises the exit flag: the run loop ends after the current cycle.
    virtual void exit() = 0;
    virtual ~IContext();
};

}  // namespace tunnel
