// One probe of a relay server: a ping client used by the relay prober.
#pragma once

#include "tunnel/client/TunnelPingClient.h"

namespace tunnel {

class NatPing : public TunnelPingClient {
public:
    using TunnelPingClient::TunnelPingClient;
    ~NatPing() override;
};

}  // namespace tunnel
