#include "tunnel/api/user/Node.h"

using gt::core::Any;
using gt::core::Array;
using gt::core::Dictionary;
using gt::core::String;

namespace tunnel {

namespace {

// Each element of a list value as text; empty when the value is not a list.
Array<String> textList(Any const& value) {
    Array<String> list;
    if (!value.is<Array<Any> >()) return list;
    for (Any const& element : value.cast<Array<Any> >())
        list.add(gt::core::toString(element));
    return list;
}

}  // namespace

Node::Node() : id(-1) {}

Node Node::fromDictionary(Dictionary<Any> const& object) {
    Node node;
    node.id = gt::core::toLong(object.get(u"id"));
    node.servers = textList(object.get(u"servers"));
    node.domains = textList(object.get(u"domains"));
    return node;
}

}  // namespace tunnel
