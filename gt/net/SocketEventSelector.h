// Single-threaded readiness loop over epoll: handlers register one socket
// handle each and get readiness events, events posted to them within the
// turn, and a periodic tick. A turn costs what the active handlers cost:
// interests stand in the kernel between turns and are asked again only for
// handlers that had an event or said that their interest changed (handlers
// that do not report their interest are asked every turn). The selector
// belongs to one thread: the one that constructed it until its first turn,
// then the one that runs its turns (or the one it was handed over to).
// Handlers are added and removed on that thread only; a call from another
// thread is a fatal error.
#pragma once

#include <sys/epoll.h>

#include <thread>
#include <vector>

#include "gt/core/lang/Binary.h"
#include "gt/core/util/Array.h"
#include "gt/core/util/Timer.h"
#include "gt/net/ISocketEventHandler.h"

namespace gt {
namespace net {

class SocketEventSelector {
public:
    struct HandlerItem {
        ISocketEventHandler* handler;  // not owned
        int fired;                     // bits collected for the batch being built
        unsigned long long serial;     // tells a registration from a later one on the same handle
        int interest;                  // the standing interest
        int posted;                    // bits posted for the next batch
        bool reports;                  // the handler reports changes of its interest
        bool dirty;                    // asked again before the next wait
        bool watched;                  // the kernel watches the handle
        bool alwaysReady;              // the kernel cannot watch it (a plain file): always ready
    };
    struct EventItem {
        int handle;
        unsigned long long serial;  // the registration the event belongs to
        int bits;
    };

    static constexpr int MAX_HANDLERS = 65536;
    // Rounds of posted events served after the readiness events of a turn;
    // what is posted beyond them goes out in the next turn, without a wait.
    static constexpr int POSTED_ROUNDS = 16;

    // Ticks every tickMs (negative counts as 0: every poll() ends with a tick).
    explicit SocketEventSelector(int tickMs);
    SocketEventSelector(SocketEventSelector const&) = delete;
    SocketEventSelector& operator=(SocketEventSelector const&) = delete;
    virtual ~SocketEventSelector();

    // False for a null handler, a negative handle, a full table or a handle
    // that is already registered.
    bool addEventHandler(int handle, ISocketEventHandler* handler);
    bool hasEventHandler(int handle) const;
    // The handler's events still queued in the current turn are dropped: an
    // event is delivered only while its registration is still in the table.
    void removeEventHandler(int handle);
    int handlerCount() const { return static_cast<int>(m_slots.size()); }

    // A handler that reports its interest asks to be asked again before the
    // next wait (unknown handles are ignored).
    void interestChanged(int handle);
    // Queues bits for the handler of handle: inside a turn they go out in
    // the same turn, after the events already queued; outside one, the next
    // turn delivers them without waiting. Bits posted twice before they go
    // out are merged.
    void post(int handle, int bits);

    // A receive buffer shared by the handlers of this selector, so that
    // idle handlers keep none; null while it is lent out.
    gt::core::Binary* borrowScratch();
    void returnScratch();

    // Makes the calling thread the owner, for a blocking client whose loop
    // runs on whichever thread calls it: the caller makes sure that the
    // threads take turns (a lock held across each whole call), so that no
    // other thread uses the selector from now on until it is handed over
    // again. Never from inside a turn.
    void moveToCurrentThread();

    // One readiness turn waiting at most ms (-1: no limit). Returns at once
    // when called from inside a handler.
    void runOnce(int ms);
    // One full turn: the wait is capped at the time left until the next
    // tick, then runOnce, then the tick when it is due.
    void poll(int ms);

private:
    struct Slot {
        int handle;
        HandlerItem item;
    };

    bool _onOwnerThread() const { return std::this_thread::get_id() == m_owner; }
    HandlerItem* _find(int handle);
    HandlerItem const* _find(int handle) const;
    void _markDirty(int handle, HandlerItem* item);
    void _ask();
    void _watch(int handle, HandlerItem* item, int bits);
    void _fire(int handle, HandlerItem* item, int bits);
    void _collectPosted();
    void _queueFired();
    void _dispatch();
    void _tick();

    std::vector<Slot> m_slots;     // the table; its order is the order of the events
    std::vector<int> m_slotOf;     // handle -> index in m_slots, -1 for none
    std::vector<int> m_polled;     // handlers asked every turn
    std::vector<int> m_dirty;      // handlers to ask before the next wait
    std::vector<int> m_asking;     // the dirty list being asked
    std::vector<int> m_posted;     // handlers with posted bits
    std::vector<int> m_postedNow;  // the posted list being collected
    std::vector<int> m_alwaysReady;
    std::vector<int> m_touched;  // handlers with fired bits in the batch being built
    std::vector<epoll_event> m_ready;
    int m_epoll;
    unsigned long long m_nextSerial;
    gt::core::Array<EventItem> m_events;
    bool m_dispatching;
    gt::core::Timer m_tickTimer;
    int m_interested;    // handlers with a non-zero interest
    bool m_inGetEvents;  // getEvents is running: the table must not change
    gt::core::Binary m_scratch;
    bool m_scratchLent;
    std::thread::id m_owner;  // the only thread that may change the table
    bool m_started;           // a turn has run: m_owner is the loop's thread
};

}  // namespace net
}  // namespace gt
