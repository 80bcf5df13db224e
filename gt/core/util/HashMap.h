// Hash table of unique keys; iteration order is not promised.
#pragma once

#include <unordered_map>
#include <utility>

namespace gt {
namespace core {

template <class K, class V>
class HashMap {
public:
    using Entries = std::unordered_map<K, V>;
    using iterator = typename Entries::iterator;
    using const_iterator = typename Entries::const_iterator;

    HashMap() = default;
    HashMap(HashMap const&) = default;
    HashMap(HashMap&&) = default;
    HashMap& operator=(HashMap const&) = default;
    HashMap& operator=(HashMap&&) = default;
    virtual ~HashMap() = default;

    // The value stored under key, or null; never inserts.
    V* find(K const& key) {
        auto it = m_entries.find(key);
        return it == m_entries.end() ? nullptr : &it->second;
    }
    V const* find(K const& key) const {
        auto it = m_entries.find(key);
        return it == m_entries.end() ? nullptr : &it->second;
    }

    bool contains(K const& key) const { return m_entries.find(key) != m_entries.end(); }

    // Stores value only when key is new; true when it was inserted.
    bool insert(K const& key, V const& value) { return m_entries.emplace(key, value).second; }
    bool insert(K const& key, V&& value) { return m_entries.emplace(key, std::move(value)).second; }

    // Stores value under key, replacing the value of an existing key.
    V& set(K const& key, V const& value) { return m_entries.insert_or_assign(key, value).first->second; }

    bool remove(K const& key) { return m_entries.erase(key) > 0; }

    int count() const { return static_cast<int>(m_entries.size()); }
    bool isEmpty() const { return m_entries.empty(); }
    void clear() { m_entries.clear(); }

    iterator begin() { return m_entries.begin(); }
    iterator end() { return m_entries.end(); }
    const_iterator begin() const { return m_entries.begin(); }
    const_iterator end() const { return m_entries.end(); }

private:
    Entries m_entries;
};

}  // namespace core
}  // namespace gt
