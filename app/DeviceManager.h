// The account's devices as the cloud last listed them (enum_devices). The
// main window owns one and replaces its list after each successful refresh;
// pages look devices up here instead of asking the cloud again.
#pragma once

#include "app/RecordStore.h"
#include "tunnel/api/user/Device.h"

namespace tunnel {

class DeviceManager : public RecordStore<Device> {
public:
    DeviceManager();
    ~DeviceManager() override;

    gt::core::Array<Device> const& devices() const { return records(); }
    void setDevices(gt::core::Array<Device> const& devices) { setRecords(devices); }

    // The entry a device list selects after it was refilled from this store:
    // the one it had while that is still an entry; otherwise this computer's
    // (localId, the bound device), so that a page opened after binding shows
    // the device whose forwards run here; else the first; -1 for no devices.
    int listIndex(int current, long long localId) const;
};

}  // namespace tunnel
