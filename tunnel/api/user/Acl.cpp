#include "tunnel/api/user/Acl.h"

#include "gt/core/util/Strings.h"

using gt::core::Any;
using gt::core::Array;
using gt::core::Dictionary;
using gt::core::String;

namespace tunnel {

char16_t const* const Acl::DISABLED = u"disabled";
char16_t const* const Acl::ENABLED = u"enabled";
char16_t const* const Acl::ENABLED_WHITE = u"enabled_white";
char16_t const* const Acl::ENABLED_BLACK = u"enabled_black";

namespace {

// Every piece between the separators, empty ones included; an empty text
// gives an empty list.
Array<String> splitList(String const& text) {
    Array<String> list;
    for (String const& piece : gt::core::Strings(text, u";"))
        list.add(piece);
    return list;
}

String joinList(Array<String> const& list) {
    String text;
    for (int i = 0; i < list.count(); ++i) {
        if (i > 0) text += u";";
        text += list[i];
    }
    return text;
}

}  // namespace

Acl::Acl() : id(-1), create_time(0), forwards(0) {}

Acl::~Acl() = default;

Acl Acl::fromDictionary(Dictionary<Any> const& object) {
    Acl acl;
    acl.id = gt::core::toLong(object.get(u"id"));
    acl.label = gt::core::toString(object.get(u"label"));
    acl.ip_filter = gt::core::toString(object.get(u"ip_filter"));
    acl.gateway = gt::core::toString(object.get(u"gateway"));
    acl.create_time = gt::core::DateTime(gt::core::toLong(object.get(u"create_time")));
    Any const& ip = object.get(u"ip");
    if (ip.is<Dictionary<Any> >()) {
        Dictionary<Any> const& lists = ip.cast<Dictionary<Any> >();
        acl.white = splitList(gt::core::toString(lists.get(u"white")));
        acl.black = splitList(gt::core::toString(lists.get(u"black")));
    }
    acl.forwards = gt::core::toInt(object.get(u"forwards"));
    Any const& members = object.get(u"members");
    if (members.is<Array<Any> >()) {
        for (Any const& element : members.cast<Array<Any> >()) {
            if (element.is<Dictionary<Any> >())
                acl.members.add(AclMember::fromDictionary(element.cast<Dictionary<Any> >()));
        }
    }
    return acl;
}

Dictionary<Any> Acl::ipToDictionary(Array<String> const& white, Array<String> const& black) {
    Dictionary<Any> ip;
    ip.set(u"white", Any(joinList(white)));
    ip.set(u"black", Any(joinList(black)));
    return ip;
}

Dictionary<Any> Acl::toDictionary() const {
    Dictionary<Any> object;
    object.set(u"id", Any(id));
    object.set(u"label", Any(label));
    object.set(u"ip_filter", Any(ip_filter));
    object.set(u"gateway", Any(gateway));
    object.set(u"create_time", Any(create_time.seconds()));
    object.set(u"ip", Any(ipToDictionary(white, black)));
    Array<Any> list;
    for (AclMember const& member : members)
        list.add(Any(member.toDictionary()));
    object.set(u"members", Any(list));
    object.set(u"forwards", Any(forwards));
    return object;
}

}  // namespace tunnel
