// Hash table of unique keys; iteration order is not promised.
#pragma once

#include <unordered_map>

#include "gt/core/util/KeyedTable.h"

namespace gt {
namespace core {

template <class K, class V>
class HashMap : public detail::KeyedTable<std::unordered_map<K, V>> {
public:
    using Entries = std::unordered_map<K, V>;

    HashMap() = default;
    HashMap(HashMap const&) = default;
    HashMap(HashMap&&) = default;
    HashMap& operator=(HashMap const&) = default;
    HashMap& operator=(HashMap&&) = default;
    virtual ~HashMap() = default;
};

}  // namespace core
}  // namespace gt
