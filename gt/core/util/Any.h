// Variant value: holds one value of a fixed set of types, or nothing (the
// JSON null). Copies are deep; two Any objects never share a value.
#pragma once

#include <type_traits>
#include <typeinfo>
#include <utility>

#include "gt/core/lang/Binary.h"
#include "gt/core/lang/Exception.h"
#include "gt/core/lang/String.h"
#include "gt/core/lang/Type.h"
#include "gt/core/util/Array.h"
#include "gt/core/util/Dictionary.h"

namespace gt {
namespace core {

class Any;

namespace detail {
template <class T>
struct IsAnyValue
    : std::integral_constant<bool, std::is_same<T, signed char>::value || std::is_same<T, short>::value ||
                                       std::is_same<T, int>::value || std::is_same<T, long long>::value ||
                                       std::is_same<T, double>::value || std::is_same<T, bool>::value ||
                                       std::is_same<T, String>::value || std::is_same<T, Binary>::value ||
                                       std::is_same<T, Array<Any> >::value ||
                                       std::is_same<T, Dictionary<Any> >::value> {};
}  // namespace detail

class Any {
public:
    class PlaceHolder {
    public:
        virtual ~PlaceHolder() = default;
        virtual Type type() const = 0;
        virtual PlaceHolder* clone() const = 0;
        virtual std::type_info const& info() const = 0;
    };

    template <class T>
    class Holder : public PlaceHolder {
    public:
        explicit Holder(T const& value) : m_value(value) {}
        explicit Holder(T&& value) : m_value(std::move(value)) {}
        Type type() const override { return Type(typeid(T)); }
        PlaceHolder* clone() const override { return new Holder(m_value); }
        std::type_info const& info() const override { return typeid(T); }
        T m_value;
    };

    Any() noexcept : m_holder(nullptr) {}
    Any(signed char value) : m_holder(new Holder<signed char>(value)) {}
    Any(short value) : m_holder(new Holder<short>(value)) {}
    Any(int value) : m_holder(new Holder<int>(value)) {}
    Any(long long value) : m_holder(new Holder<long long>(value)) {}
    Any(double value) : m_holder(new Holder<double>(value)) {}
    Any(bool value) : m_holder(new Holder<bool>(value)) {}
    Any(String const& value) : m_holder(new Holder<String>(value)) {}
    Any(String&& value) : m_holder(new Holder<String>(std::move(value))) {}
    // A text literal is a String, not a bool.
    Any(Char const* text) : m_holder(new Holder<String>(String(text))) {}
    Any(char const* text) = delete;
    Any(Binary const& value) : m_holder(new Holder<Binary>(value)) {}
    Any(Binary&& value) : m_holder(new Holder<Binary>(std::move(value))) {}
    Any(Array<Any> const& value);
    Any(Array<Any>&& value);
    Any(Dictionary<Any> const& value);
    Any(Dictionary<Any>&& value);

    Any(Any const& other) : m_holder(other.m_holder ? other.m_holder->clone() : nullptr) {}
    Any(Any&& other) noexcept : m_holder(other.m_holder) { other.m_holder = nullptr; }
    virtual ~Any();

    Any& operator=(Any const& other);
    Any& operator=(Any&& other) noexcept;

    // Replaces the value. The old holder is taken out first and destroyed
    // after the new one is installed, so value may live inside it; when the
    // copy fails the Any is left empty.
    template <class T,
              class = typename std::enable_if<detail::IsAnyValue<typename std::decay<T>::type>::value>::type>
    Any& operator=(T&& value) {
        using V = typename std::decay<T>::type;
        PlaceHolder* old = m_holder;
        m_holder = nullptr;
        try {
            m_holder = new Holder<V>(std::forward<T>(value));
        } catch (...) {
            delete old;
            throw;
        }
        delete old;
        return *this;
    }
    Any& operator=(Char const* text) { return *this = String(text); }

    void swap(Any& other) noexcept { std::swap(m_holder, other.m_holder); }
    // Makes the Any empty.
    void reset();

    bool isEmpty() const { return m_holder == nullptr; }
    // The held type, or the void Type when empty.
    Type type() const { return m_holder ? m_holder->type() : Type(); }

    template <class T>
    bool is() const {
        static_assert(detail::IsAnyValue<T>::value, "not a type an Any holds");
        return m_holder && m_holder->info() == typeid(T);
    }

    // The held value; BadAnyCastException when the Any is empty or holds
    // another type (there is no conversion here).
    template <class T>
    T& cast() {
        if (!is<T>()) _throwBadCast(typeid(T));
        return static_cast<Holder<T>*>(m_holder)->m_value;
    }
    template <class T>
    T const& cast() const {
        if (!is<T>()) _throwBadCast(typeid(T));
        return static_cast<Holder<T> const*>(m_holder)->m_value;
    }

    // The process-wide read-only empty Any.
    static Any const& emptyAny();

private:
    [[noreturn]] void _throwBadCast(std::type_info const& requested) const;

    PlaceHolder* m_holder;
};

// Lenient conversions; they never throw. A held type they do not convert
// (and the empty Any) gives an empty text, false or 0.
String toString(Any const& value);
bool toBool(Any const& value);
int toInt(Any const& value);
long long toLong(Any const& value);

}  // namespace core
}  // namespace gt
