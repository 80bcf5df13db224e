// Single-threaded readiness loop over poll(): handlers register one socket
// handle each and get readiness events and a periodic tick. The selector
// belongs to one thread: the one that constructed it until its first turn,
// then the one that runs its turns. Handlers are added and removed on that
// thread only; a call from another thread is a fatal error.
#pragma once

#include <poll.h>

#include <thread>
#include <vector>

#include "gt/core/util/Array.h"
#include "gt/core/util/HashMap.h"
#include "gt/core/util/Timer.h"
#include "gt/net/ISocketEventHandler.h"

namespace gt {
namespace net {

class SocketEventSelector {
public:
    struct HandlerItem {
        ISocketEventHandler* handler;  // not owned
        int fired;                     // bits fired in the current turn
        unsigned long long serial;     // tells a registration from a later one on the same handle
    };
    struct EventItem {
        int handle;
        unsigned long long serial;  // the registration the event belongs to
        int bits;
    };

    enum { MAX_HANDLERS = 65536 };

    // Ticks every tickMs (negative counts as 0: every poll() ends with a tick).
    explicit SocketEventSelector(int tickMs);
    SocketEventSelector(SocketEventSelector const&) = delete;
    SocketEventSelector& operator=(SocketEventSelector const&) = delete;
    virtual ~SocketEventSelector();

    // False for a null handler, handle -1, a full table or a handle that is
    // already registered.
    bool addEventHandler(int handle, ISocketEventHandler* handler);
    bool hasEventHandler(int handle) const;
    // The handler's events still queued in the current turn are dropped: an
    // event is delivered only while its registration is still in the table.
    void removeEventHandler(int handle);
    int handlerCount() const { return m_handlers.count(); }

    // One readiness turn waiting at most ms (-1: no limit). Returns at once
    // when called from inside a handler.
    void runOnce(int ms);
    // One full turn: the wait is capped at the time left until the next
    // tick, then runOnce, then the tick when it is due.
    void poll(int ms);

private:
    bool _onOwnerThread() const { return std::this_thread::get_id() == m_owner; }
    void _dispatch();
    void _tick();

    gt::core::HashMap<int, HandlerItem> m_handlers;
    unsigned long long m_nextSerial;
    gt::core::Array<EventItem> m_events;
    bool m_dispatching;
    gt::core::Timer m_tickTimer;
    int m_interested;
    bool m_asking;            // getEvents is running: the table must not change
    std::thread::id m_owner;  // the only thread that may change the table
    bool m_started;           // a turn has run: m_owner is the loop's thread

    // The descriptors of one turn and their table entries, reused.
    std::vector<pollfd> m_pollSet;
    std::vector<HandlerItem*> m_pollItems;
};

}  // namespace net
}  // namespace gt
