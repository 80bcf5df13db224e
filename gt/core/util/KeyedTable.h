// The operations Map and HashMap share over their standard container.
#pragma once

#include <utility>

namespace gt {
namespace core {
namespace detail {

template <class Entries>
class KeyedTable {
public:
    using Key = typename Entries::key_type;
    using Value = typename Entries::mapped_type;
    using iterator = typename Entries::iterator;
    using const_iterator = typename Entries::const_iterator;

    // The value stored under key, or null; never inserts.
    Value* find(Key const& key) {
        auto it = m_entries.find(key);
        return it == m_entries.end() ? nullptr : &it->second;
    }
    Value const* find(Key const& key) const {
        auto it = m_entries.find(key);
        return it == m_entries.end() ? nullptr : &it->second;
    }

    bool contains(Key const& key) const { return m_entries.find(key) != m_entries.end(); }

    // Stores value under key, replacing the value of an existing key.
    Value& set(Key const& key, Value const& value) {
        return m_entries.insert_or_assign(key, value).first->second;
    }
    Value& set(Key const& key, Value&& value) {
        return m_entries.insert_or_assign(key, std::move(value)).first->second;
    }

    // Stores value only when key is new; true when it was inserted.
    bool insert(Key const& key, Value const& value) { return m_entries.emplace(key, value).second; }
    bool insert(Key const& key, Value&& value) { return m_entries.emplace(key, std::move(value)).second; }

    // True when an entry was removed.
    bool remove(Key const& key) { return m_entries.erase(key) > 0; }

    int count() const { return static_cast<int>(m_entries.size()); }
    bool isEmpty() const { return m_entries.empty(); }
    void clear() { m_entries.clear(); }

    iterator begin() { return m_entries.begin(); }
    iterator end() { return m_entries.end(); }
    const_iterator begin() const { return m_entries.begin(); }
    const_iterator end() const { return m_entries.end(); }

protected:
    Entries m_entries;
};

}  // namespace detail
}  // namespace core
}  // namespace gt
