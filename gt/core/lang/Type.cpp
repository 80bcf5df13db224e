#include "gt/core/lang/Type.h"

#include "gt/core/lang/Binary.h"

namespace gt {
namespace core {

Type::Type() : m_info(&typeid(void)) {}

Type::Type(std::type_info const& info) : m_info(&info) {}

Type& Type::operator=(std::type_info const& info) {
    m_info = &info;
    return *this;
}

Type::~Type() = default;

String Type::toString() const {
    char const* name = m_info->name();
    if (*name == '*') ++name;
    return Binary(name).ansiToString();
}

}  // namespace core
}  // namespace gt
