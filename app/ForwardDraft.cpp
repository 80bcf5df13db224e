#include "app/ForwardDraft.h"

using gt::core::Any;
using gt::core::Dictionary;
using gt::core::String;

namespace tunnel {

ForwardDraft::ForwardDraft() : ownDomainShown(false), fixedBandwidth(false), fixedValue(0) {}

String ForwardDraft::hostPrefix() const {
    int const dot = address.indexOf(u'.');
    return dot < 0 ? address : address.left(dot);
}

String ForwardDraft::hostDomain() const {
    int const dot = address.indexOf(u'.');
    return dot < 0 ? String() : address.mid(dot + 1, address.length() - dot - 1);
}

String ForwardDraft::hostCustom() const { return ownDomainShown ? ownDomain.toLower() : String(); }

String ForwardDraft::newClientHost() const { return clientHost.toLower(); }

int ForwardDraft::port() const { return clientPort.toInt(); }

int ForwardDraft::bandwidth() const { return fixedBandwidth ? fixedValue : 0; }

Dictionary<Any> ForwardDraft::modifyFields() const {
    Dictionary<Any> fields;
    fields.set(u"label", Any(label));
    fields.set(u"client_host", Any(clientHost));
    fields.set(u"client_port", Any(port()));
    fields.set(u"bandwidth", Any(bandwidth()));
    return fields;
}

}  // namespace tunnel
