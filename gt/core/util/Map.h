// Ordered map of unique keys, in the order of the key type's operator< (for
// String keys: the byte order of the UTF-16 text, then the shorter first).
#pragma once

#include <map>
#include <utility>

namespace gt {
namespace core {

template <class K, class V>
class Map {
public:
    using Entries = std::map<K, V>;
    using iterator = typename Entries::iterator;
    using const_iterator = typename Entries::const_iterator;

    Map() = default;
    Map(Map const&) = default;
    Map(Map&&) = default;
    Map& operator=(Map const&) = default;
    Map& operator=(Map&&) = default;
    virtual ~Map() = default;

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

    // Stores value under key, replacing the value of an existing key.
    V& set(K const& key, V const& value) { return m_entries.insert_or_assign(key, value).first->second; }
    V& set(K const& key, V&& value) {
        return m_entries.insert_or_assign(key, std::move(value)).first->second;
    }

    // Stores value only when key is new; true when it was inserted.
    bool insert(K const& key, V const& value) { return m_entries.emplace(key, value).second; }

    // True when an entry was removed.
    bool remove(K const& key) { return m_entries.erase(key) > 0; }

    int count() const { return static_cast<int>(m_entries.size()); }
    bool isEmpty() const { return m_entries.empty(); }
    void clear() { m_entries.clear(); }
    void swap(Map& other) noexcept { m_entries.swap(other.m_entries); }

    iterator begin() { return m_entries.begin(); }
    iterator end() { return m_entries.end(); }
    const_iterator begin() const { return m_entries.begin(); }
    const_iterator end() const { return m_entries.end(); }

private:
    Entries m_entries;
};

}  // namespace core
}  // namespace gt
