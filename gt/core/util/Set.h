// Ordered set of unique values.
#pragma once

#include <initializer_list>
#include <set>

namespace gt {
namespace core {

template <class T>
class Set {
public:
    using Values = std::set<T>;
    using const_iterator = typename Values::const_iterator;
    using iterator = const_iterator;

    Set() = default;
    Set(std::initializer_list<T> values) : m_values(values) {}
    Set(Set const&) = default;
    Set(Set&&) = default;
    Set& operator=(Set const&) = default;
    Set& operator=(Set&&) = default;
    virtual ~Set() = default;

    // A value already present is ignored; true when value was new.
    bool add(T const& value) { return m_values.insert(value).second; }
    bool contains(T const& value) const { return m_values.find(value) != m_values.end(); }
    bool remove(T const& value) { return m_values.erase(value) > 0; }

    int count() const { return static_cast<int>(m_values.size()); }
    bool isEmpty() const { return m_values.empty(); }
    void clear() { m_values.clear(); }

    const_iterator begin() const { return m_values.begin(); }
    const_iterator end() const { return m_values.end(); }

private:
    Values m_values;
};

}  // namespace core
}  // namespace gt
