// First-in first-out list of heap nodes. No lock: one thread at a time (see
// AtomicQueue for handing values between threads).
#pragma once

#include <utility>

namespace gt {
namespace core {

template <class T>
class Queue {
public:
    Queue() : m_tail(nullptr), m_head(nullptr), m_count(0) {}
    Queue(Queue const&) = delete;
    Queue& operator=(Queue const&) = delete;
    virtual ~Queue() {
        while (m_head) {
            Node* next = m_head->next;
            delete m_head;
            m_head = next;
        }
        m_tail = nullptr;
        m_count = 0;
    }

    void push(T const& value) { _link(new Node(value)); }
    void push(T&& value) { _link(new Node(std::move(value))); }

    // Moves the first value into *pvalue; false (and *pvalue untouched) when empty.
    bool pop(T* pvalue) {
        if (!m_head) return false;
        *pvalue = std::move(m_head->value);
        return discard();
    }

    // Removes the first value without handing it out; false when empty.
    bool discard() {
        if (!m_head) return false;
        Node* node = m_head;
        m_head = node->next;
        if (!m_head) m_tail = nullptr;
        --m_count;
        delete node;
        return true;
    }

    int count() const { return m_count; }
    bool isEmpty() const { return m_head == nullptr; }

private:
    struct Node {
        template <class V>
        explicit Node(V&& v) : value(std::forward<V>(v)), next(nullptr) {}
        T value;
        Node* next;
    };

    void _link(Node* node) {
        if (m_tail) {
            m_tail->next = node;
        } else {
            m_head = node;
        }
        m_tail = node;
        ++m_count;
    }

    Node* m_tail;
    Node* m_head;
    int m_count;
};

}  // namespace core
}  // namespace gt
