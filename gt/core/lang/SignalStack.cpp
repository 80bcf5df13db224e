#include "gt/core/lang/SignalStack.h"

#include <signal.h>
#include <sys/mman.h>

#include <cstring>

namespace gt {
namespace core {

SignalStack::SignalStack() : m_memory(nullptr) {
    stack_t current;
    if (::sigaltstack(nullptr, &current) != 0 || !(current.ss_flags & SS_DISABLE)) return;
    // Its own mapping rather than heap memory: an overflow of a neighbouring
    // allocation cannot reach it, and it goes back whole to the system.
    void* memory = ::mmap(nullptr, SIZE, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (memory == MAP_FAILED) return;
    stack_t stack;
    std::memset(&stack, 0, sizeof stack);
    stack.ss_sp = memory;
    stack.ss_size = SIZE;
    if (::sigaltstack(&stack, nullptr) != 0) {
        ::munmap(memory, SIZE);
        return;
    }
    m_memory = memory;
}

SignalStack::~SignalStack() {
    if (!m_memory) return;
    stack_t off;
    std::memset(&off, 0, sizeof off);
    off.ss_flags = SS_DISABLE;
    // A thread that is on the stack cannot switch it off; then it stays mapped.
    if (::sigaltstack(&off, nullptr) == 0) ::munmap(m_memory, SIZE);
}

}  // namespace core
}  // namespace gt
