// Growable array of values, stored in one heap block whose capacity grows in
// powers of two from 32 slots and never shrinks while the array lives.
#pragma once

#include <cstddef>
#include <memory>
#include <new>
#include <type_traits>
#include <utility>

#include "gt/core/lang/Exception.h"

namespace gt {
namespace core {

namespace detail {
// Capacity for a request of n slots: 32 for n <= 32, else the smallest
// 32 * 2^k >= n. Throws std::bad_alloc beyond 2^30 slots.
int arrayCapacity(int n);
}  // namespace detail

template <class T>
class Array {
public:
    using value_type = T;
    using iterator = T*;
    using const_iterator = T const*;

    Array() noexcept : m_data(nullptr), m_capacity(0), m_length(0) {}

    Array(Array const& other) : Array() {
        reserve(other.m_length);
        for (int i = 0; i < other.m_length; ++i) {
            new (m_data + i) T(other.m_data[i]);
            ++m_length;
        }
    }

    Array(Array&& other) noexcept : Array() { swap(other); }

    Array& operator=(Array const& other) {
        if (this != &other) {
            Array copy(other);
            swap(copy);
        }
        return *this;
    }

    Array& operator=(Array&& other) noexcept {
        if (this != &other) {
            Array taken(std::move(other));
            swap(taken);
        }
        return *this;
    }

    virtual ~Array() {
        _destroy(0, m_length);
        _release(m_data);
        m_data = nullptr;
        m_capacity = 0;
        m_length = 0;
    }

    void swap(Array& other) noexcept {
        std::swap(m_data, other.m_data);
        std::swap(m_capacity, other.m_capacity);
        std::swap(m_length, other.m_length);
    }

    int count() const { return m_length; }
    int capacity() const { return m_capacity; }
    bool isEmpty() const { return m_length == 0; }

    T& operator[](int index) {
        if (static_cast<unsigned>(index) >= static_cast<unsigned>(m_length)) throwOutOfRange(index, m_length);
        return m_data[index];
    }
    T const& operator[](int index) const {
        if (static_cast<unsigned>(index) >= static_cast<unsigned>(m_length)) throwOutOfRange(index, m_length);
        return m_data[index];
    }

    T& last() {
        if (m_length == 0) throwOutOfRange(0, 0);
        return m_data[m_length - 1];
    }
    T const& last() const {
        if (m_length == 0) throwOutOfRange(0, 0);
        return m_data[m_length - 1];
    }

    // Appends a copy of value (which may be an element of this array).
    Array& add(T const& value) {
        if (m_length < m_capacity) {
            new (m_data + m_length) T(value);
        } else {
            _growWith(m_length + 1, value);
        }
        ++m_length;
        return *this;
    }

    Array& add(T&& value) {
        if (m_length < m_capacity) {
            new (m_data + m_length) T(std::move(value));
        } else {
            _growWith(m_length + 1, std::move(value));
        }
        ++m_length;
        return *this;
    }

    // Capacity of at least n; n <= capacity (negative included) does nothing.
    Array& reserve(int n) {
        if (n > m_capacity) _reallocate(detail::arrayCapacity(n));
        return *this;
    }

    // Length n: the elements beyond n are destroyed in ascending order, new
    // slots are default-constructed. A negative n throws OutOfRangeException.
    Array& resize(int n) {
        if (n < 0) throwOutOfRange(n);
        reserve(n);
        if (n < m_length) {
            int old = m_length;
            m_length = n;
            _destroy(n, old);
        } else {
            while (m_length < n) {
                new (m_data + m_length) T();
                ++m_length;
            }
        }
        return *this;
    }

    Array& clear() { return resize(0); }

    // Removes up to count elements from index on, keeping the order of the rest.
    Array& remove(int index, int count) {
        if (index < 0 || index >= m_length || count <= 0) return *this;
        if (count > m_length - index) count = m_length - index;
        for (int i = index; i + count < m_length; ++i)
            m_data[i] = std::move(m_data[i + count]);
        return resize(m_length - count);
    }

    // Removes one element by moving the last element into its place.
    Array& removeAt(int index) {
        if (index < 0 || index >= m_length) return *this;
        if (index != m_length - 1) {
            using std::swap;
            swap(m_data[index], m_data[m_length - 1]);
        }
        return resize(m_length - 1);
    }

    T* begin() { return m_data; }
    T* end() { return m_data + m_length; }
    T const* begin() const { return m_data; }
    T const* end() const { return m_data + m_length; }
    T* data() { return m_data; }
    T const* data() const { return m_data; }

private:
    static T* _allocate(int capacity) {
        return std::allocator<T>().allocate(static_cast<std::size_t>(capacity));
    }

    void _release(T* block) {
        if (block) std::allocator<T>().deallocate(block, static_cast<std::size_t>(m_capacity));
    }

    void _destroy(int from, int to) {
        for (int i = from; i < to; ++i)
            m_data[i].~T();
    }

    // Moves (or copies, when moving may throw) the elements into a new block.
    void _transfer(T* block) {
        int done = 0;
        try {
            for (; done < m_length; ++done)
                new (block + done) T(std::move_if_noexcept(m_data[done]));
        } catch (...) {
            for (int i = 0; i < done; ++i)
                block[i].~T();
            throw;
        }
        _destroy(0, m_length);
    }

    void _reallocate(int capacity) {
        T* block = _allocate(capacity);
        try {
            _transfer(block);
        } catch (...) {
            std::allocator<T>().deallocate(block, static_cast<std::size_t>(capacity));
            throw;
        }
        _release(m_data);
        m_data = block;
        m_capacity = capacity;
    }

    // Grows for n slots and builds the new last element first, so that a
    // value that lives in the old block is read before the block goes away.
    template <class V>
    void _growWith(int n, V&& value) {
        int capacity = detail::arrayCapacity(n);
        T* block = _allocate(capacity);
        try {
            new (block + m_length) T(std::forward<V>(value));
        } catch (...) {
            std::allocator<T>().deallocate(block, static_cast<std::size_t>(capacity));
            throw;
        }
        try {
            _transfer(block);
        } catch (...) {
            block[m_length].~T();
            std::allocator<T>().deallocate(block, static_cast<std::size_t>(capacity));
            throw;
        }
        _release(m_data);
        m_data = block;
        m_capacity = capacity;
    }

    T* m_data;
    int m_capacity;
    int m_length;
};

}  // namespace core
}  // namespace gt
