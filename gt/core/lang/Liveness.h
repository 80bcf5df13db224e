// Survival of an object across its own callbacks. An owner may destroy an
// object from inside any callback the object calls; the object must then
// touch none of its members after the call. A Liveness member records every
// call in progress and, when the object goes, marks them as outlived:
//
//     if (!m_liveness.call(onClosed)) return;  // destroyed inside: leave at once
//
// call() runs a copy of the function, so the function itself may be replaced
// or destroyed while it runs. Scope watches a longer stretch of code. No
// allocation, no lock: an object and its callbacks live on one thread.
#pragma once

#include <functional>
#include <utility>

namespace gt {
namespace core {

class Liveness {
public:
    // Watches the owner from construction to destruction of the scope, which
    // must live on the stack (scopes end in the reverse order of their start).
    class Scope {
    public:
        explicit Scope(Liveness& liveness) : m_liveness(&liveness), m_outer(liveness.m_top), m_alive(true) {
            liveness.m_top = this;
        }
        Scope(Scope const&) = delete;
        Scope& operator=(Scope const&) = delete;
        ~Scope() {
            if (m_alive) m_liveness->m_top = m_outer;
        }

        // False once the owner of the watched Liveness has been destroyed.
        bool alive() const { return m_alive; }

    private:
        friend class Liveness;
        Liveness* m_liveness;
        Scope* m_outer;
        bool m_alive;
    };

    Liveness() : m_top(nullptr) {}
    // A copied or moved owner starts with no calls of its own in progress.
    Liveness(Liveness const&) : m_top(nullptr) {}
    Liveness& operator=(Liveness const&) { return *this; }
    ~Liveness() {
        for (Scope* scope = m_top; scope != nullptr; scope = scope->m_outer)
            scope->m_alive = false;
    }

    // Calls a copy of function (an empty one is skipped) with args; true when
    // the owner is still alive afterwards. Arguments that live in the owner
    // are gone once it returns false.
    template <typename Signature, typename... Args>
    bool call(std::function<Signature> function, Args&&... args) {
        if (!function) return true;
        Scope scope(*this);
        function(std::forward<Args>(args)...);
        return scope.alive();
    }

    // A call of the owner is in progress further up the stack.
    bool isCalling() const { return m_top != nullptr; }

private:
    Scope* m_top;  // the innermost scope in progress
};

}  // namespace core
}  // namespace gt
