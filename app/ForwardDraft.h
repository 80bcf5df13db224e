// A mapping as the forward editor's fields describe it, and what of it goes
// to the cloud: the parameters of create_forward and the fields of
// modify_forward. The editor copies its widgets in; which text is lowered,
// how the public address splits and what the bandwidth mode sends are
// decided here.
#pragma once

#include "gt/core/lang/String.h"
#include "gt/core/util/Any.h"
#include "gt/core/util/Dictionary.h"

namespace tunnel {

class ForwardDraft {
public:
    // Everything empty, traffic billing.
    ForwardDraft();

    gt::core::String label;     // as typed
    gt::core::String protocol;  // wire word of the checked protocol; empty: none checked
    // The public-address entry: a prefix, a dot and a domain. It counts
    // even while the own-domain field covers it.
    gt::core::String address;
    gt::core::String ownDomain;   // the own-domain field as typed
    bool ownDomainShown;          // only a shown own-domain field is sent
    gt::core::String clientHost;  // as typed
    gt::core::String clientPort;  // as typed
    bool fixedBandwidth;          // fixed bandwidth, else traffic billing
    int fixedValue;               // the fixed bandwidth asked for, Mbps

    // The address before its first dot; all of it without a dot.
    gt::core::String hostPrefix() const;
    // The address after its first dot; empty without a dot.
    gt::core::String hostDomain() const;
    // The own domain in lower case when its field is shown, else empty.
    gt::core::String hostCustom() const;
    // A new mapping's LAN host, in lower case. An edit sends it as typed.
    gt::core::String newClientHost() const;
    // The leading decimal digits of the port text (0 without any); a value
    // beyond 32 bits saturates.
    int port() const;
    // Mbps to send: fixedValue in fixed mode, 0 (traffic billing) otherwise.
    int bandwidth() const;
    // modify_forward's "fields": exactly label, client_host (as typed),
    // client_port and bandwidth; kind, protocol and address never change.
    gt::core::Dictionary<gt::core::Any> modifyFields() const;
};

}  // namespace tunnel
