// The library's one exception family.
#pragma once

#include "gt/core/lang/String.h"

namespace gt {
namespace core {

class Type;

class Exception {
public:
    Exception();
    explicit Exception(String const& message);
    Exception(Exception const&) = default;
    Exception& operator=(Exception const&) = default;
    virtual ~Exception();

    String const& message() const { return m_message; }
    virtual String toString() const;

private:
    String m_message;
};

class OutOfRangeException : public Exception {
public:
    OutOfRangeException();
    OutOfRangeException(int index, int size);
};

class NotSupportException : public Exception {
public:
    NotSupportException();
    explicit NotSupportException(String const& what);
};

class InvalidCastException : public Exception {
public:
    InvalidCastException();
    explicit InvalidCastException(String const& target);
};

class OutOfDomainException : public Exception {
public:
    OutOfDomainException();
    explicit OutOfDomainException(int value);
    explicit OutOfDomainException(double value);
};

class BadAnyCastException : public Exception {
public:
    BadAnyCastException(Type const& from, Type const& to);
};

class BadVariantCastException : public Exception {
public:
    BadVariantCastException();
};

class ThreadStartException : public Exception {
public:
    ThreadStartException();
};

// Container index errors.
[[noreturn]] void throwOutOfRange(int index, int size);
// A negative size handed to a container.
[[noreturn]] void throwOutOfRange(int count);

}  // namespace core

namespace util {

class RpcException : public core::Exception {
public:
    RpcException(core::String const& message, int code);
    int code() const { return m_code; }

private:
    int m_code;
};

class RpcMethodNotFoundException : public RpcException {
public:
    explicit RpcMethodNotFoundException(core::String const& message);
};

class RpcBadParamsException : public RpcException {
public:
    explicit RpcBadParamsException(core::String const& message);
};

}  // namespace util
}  // namespace gt
