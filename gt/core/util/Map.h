// Ordered map of unique keys, in the order of the key type's operator< (for
// String keys: the byte order of the UTF-16 text, then the shorter first).
#pragma once

#include <map>

#include "gt/core/util/KeyedTable.h"

namespace gt {
namespace core {

template <class K, class V>
class Map : public detail::KeyedTable<std::map<K, V>> {
public:
    using Entries = std::map<K, V>;

    Map() = default;
    Map(Map const&) = default;
    Map(Map&&) = default;
    Map& operator=(Map const&) = default;
    Map& operator=(Map&&) = default;
    virtual ~Map() = default;

    void swap(Map& other) noexcept { this->m_entries.swap(other.m_entries); }
};

}  // namespace core
}  // namespace gt
