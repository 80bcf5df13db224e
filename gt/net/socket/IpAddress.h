// One IPv4 address, held in host byte order (first octet in the top byte).
#pragma once

#include "gt/core/lang/String.h"

namespace gt {
namespace core {
template <class T>
class Array;
}
namespace net {

class IpAddress {
public:
    // The none-address 0.0.0.0: what every failed lookup gives.
    constexpr IpAddress() noexcept : m_value(0) {}
    constexpr IpAddress(unsigned value) noexcept : m_value(value) {}
    // Parses the forms the classic resolver accepts; text it refuses gives
    // the none-address, while "255.255.255.255" stays the broadcast address.
    explicit IpAddress(gt::core::String const& text);

    static constexpr IpAddress none() { return IpAddress(); }

    unsigned value() const { return m_value; }
    bool isNone() const { return m_value == 0; }

    gt::core::String toString() const;

    // Exactly four decimal numbers 0..255 joined by dots, no leading zeros,
    // blanks or signs.
    static bool isDottedQuad(gt::core::String const& text);
    // Every IPv4 address of the host, each once, in random order; empty when
    // the name does not resolve.
    static gt::core::Array<IpAddress> resolve(gt::core::String const& host);
    static IpAddress resolveFirst(gt::core::String const& host);
    // Reverse lookup; empty for 0.0.0.0, 255.255.255.255 and unknown addresses.
    static gt::core::String lookupName(IpAddress const& address);

    bool operator==(IpAddress const& other) const { return m_value == other.m_value; }
    bool operator!=(IpAddress const& other) const { return m_value != other.m_value; }
    bool operator<(IpAddress const& other) const { return m_value < other.m_value; }

private:
    unsigned m_value;
};

}  // namespace net
}  // namespace gt
