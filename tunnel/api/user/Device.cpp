#include "tunnel/api/user/Device.h"

using gt::core::Any;
using gt::core::Dictionary;

namespace tunnel {

Device::Device() : id(-1), is_disabled(false), user_id(-1), create_time(0), is_online(false), forwards(0) {}

Device Device::fromDictionary(Dictionary<Any> const& object) {
    Device device;
    device.id = gt::core::toLong(object.get(u"id"));
    device.is_disabled = gt::core::toBool(object.get(u"is_disabled"));
    device.user_id = gt::core::toLong(object.get(u"user_id"));
    device.label = gt::core::toString(object.get(u"label"));
    device.create_ip = gt::core::toString(object.get(u"create_ip"));
    device.create_time = gt::core::DateTime(gt::core::toLong(object.get(u"create_time")));
    device.login_ip = gt::core::toString(object.get(u"login_ip"));
    device.is_online = gt::core::toBool(object.get(u"is_online"));
    device.version = gt::core::toString(object.get(u"version"));
    device.forwards = gt::core::toInt(object.get(u"forwards"));
    return device;
}

}  // namespace tunnel
