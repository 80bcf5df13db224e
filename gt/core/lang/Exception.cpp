#include "gt/core/lang/Exception.h"

#include "gt/core/lang/Double.h"
#include "gt/core/lang/Integer.h"
#include "gt/core/lang/Type.h"

namespace gt {
namespace core {

Exception::Exception() = default;

Exception::Exception(String const& message) : m_message(message) {}

Exception::~Exception() = default;

String Exception::toString() const {
    return u"[GT Exception: " + Type(typeid(*this)).toString() + u"] " + m_message;
}

OutOfRangeException::OutOfRangeException() : Exception(String(u"OutOfRangeException")) {}

OutOfRangeException::OutOfRangeException(int index, int size)
    : Exception(u"OutOfRangeException. Index " + Integer(index).toString() + u" out of range [0, " +
                Integer(size).toString() + u")") {}

NotSupportException::NotSupportException() : Exception(String(u"NotSupportException")) {}

NotSupportException::NotSupportException(String const& what)
    : Exception(u"NotSupportException. '" + what + u"' is not supported.") {}

InvalidCastException::InvalidCastException() : Exception(String(u"InvalidCastException")) {}

InvalidCastException::InvalidCastException(String const& target)
    : Exception(u"InvalidCastException. Invalid cast to '" + target + u"'.") {}

OutOfDomainException::OutOfDomainException() : Exception(String(u"OutOfDomainException")) {}

OutOfDomainException::OutOfDomainException(int value)
    : Exception(u"OutOfDomainException. Integer value '" + Integer(value).toString() + u"' out of domain.") {}

OutOfDomainException::OutOfDomainException(double value)
    : Exception(u"OutOfDomainException. Double value '" + Double(value).toString() + u"' out of domain.") {}

BadAnyCastException::BadAnyCastException(Type const& from, Type const& to)
    : Exception(u"BadAnyCastException. Can not cast " + from.toString() + u" to " + to.toString()) {}

BadVariantCastException::BadVariantCastException() : Exception(String(u"BadVariantCastException")) {}

ThreadStartException::ThreadStartException() : Exception(String(u"Can not start the thread.")) {}

void throwOutOfRange(int index, int size) { throw OutOfRangeException(index, size); }

void throwOutOfRange(int count) { throw OutOfRangeException(count, 2147483647); }

}  // namespace core

namespace util {

RpcException::RpcException(core::String const& message, int code) : Exception(message), m_code(code) {}

RpcMethodNotFoundException::RpcMethodNotFoundException(core::String const& message)
    : RpcException(message, -32601) {}

RpcBadParamsException::RpcBadParamsException(core::String const& message) : RpcException(message, -32602) {}

}  // namespace util
}  // namespace gt
