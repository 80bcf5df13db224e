// Map from String keys to values, in the order of String's operator<.
#pragma once

#include <utility>

#include "gt/core/lang/String.h"
#include "gt/core/util/Map.h"

namespace gt {
namespace core {

namespace detail {
// One shared, read-only default value per type, built on first use (so it
// is usable from the constructors of other global objects).
template <class T>
T const& sharedEmptyValue() {
    static T const value{};
    return value;
}
}  // namespace detail

template <class T>
class Dictionary {
public:
    using Entries = Map<String, T>;
    using iterator = typename Entries::iterator;
    using const_iterator = typename Entries::const_iterator;

    Dictionary() = default;
    Dictionary(Dictionary const&) = default;
    Dictionary(Dictionary&&) = default;
    Dictionary& operator=(Dictionary const&) = default;
    Dictionary& operator=(Dictionary&&) = default;
    virtual ~Dictionary() = default;

    // The value under key, or a shared empty value; never inserts.
    T const& get(String const& key) const {
        T const* found = m_map.find(key);
        return found ? *found : detail::sharedEmptyValue<T>();
    }

    T* find(String const& key) { return m_map.find(key); }
    T const* find(String const& key) const { return m_map.find(key); }
    bool contains(String const& key) const { return m_map.contains(key); }

    // Stores a copy of value, replacing the value of an existing key.
    T& set(String const& key, T const& value) { return m_map.set(key, value); }
    T& set(String const& key, T&& value) { return m_map.set(key, std::move(value)); }

    bool remove(String const& key) { return m_map.remove(key); }

    int count() const { return m_map.count(); }
    bool isEmpty() const { return m_map.isEmpty(); }
    void clear() { m_map.clear(); }
    void swap(Dictionary& other) noexcept { m_map.swap(other.m_map); }

    iterator begin() { return m_map.begin(); }
    iterator end() { return m_map.end(); }
    const_iterator begin() const { return m_map.begin(); }
    const_iterator end() const { return m_map.end(); }

private:
    Entries m_map;
};

}  // namespace core
}  // namespace gt
