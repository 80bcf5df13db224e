// An alternate signal stack for the calling thread while the object lives:
// a handler installed with SA_ONSTACK (the client's crash filter) can then
// still run, and report, when this thread's own stack has overflowed. A
// thread that already has one (its starter gave it one, or a sanitizer
// runtime did) keeps it, and the object does nothing.
#pragma once

#include <cstddef>

namespace gt {
namespace core {

class SignalStack {
public:
    // Room for a handler that formats a report, with a sanitizer runtime
    // running in front of it.
    static constexpr std::size_t SIZE = 64 * 1024;

    SignalStack();
    SignalStack(SignalStack const&) = delete;
    SignalStack& operator=(SignalStack const&) = delete;
    // Switches the stack off and frees it, if this object installed it.
    ~SignalStack();

    // Whether this object installed the thread's alternate stack.
    bool installed() const { return m_memory != nullptr; }

private:
    void* m_memory;
};

}  // namespace core
}  // namespace gt
