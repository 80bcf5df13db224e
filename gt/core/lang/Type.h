// Run-time type identity with its mangled name as text.
#pragma once

#include <typeinfo>

#include "gt/core/lang/String.h"

namespace gt {
namespace core {

class Type {
public:
    Type();
    Type(std::type_info const& info);
    Type(Type const&) = default;
    Type& operator=(Type const&) = default;
    Type& operator=(std::type_info const& info);
    virtual ~Type();

    bool operator==(Type const& other) const { return *m_info == *other.m_info; }
    bool operator!=(Type const& other) const { return !(*this == other); }
    bool operator==(std::type_info const& info) const { return *m_info == info; }

    virtual String toString() const;

private:
    std::type_info const* m_info;
};

}  // namespace core
}  // namespace gt
