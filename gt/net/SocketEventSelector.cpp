#include "gt/net/SocketEventSelector.h"

#include <errno.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>

#include "gt/core/lang/Fatal.h"
#include "gt/core/lang/SystemError.h"
#include "gt/net/socket/Socket.h"

namespace gt {
namespace net {

namespace {

void sleepMs(int ms) {
    timespec delay;
    delay.tv_sec = ms / 1000;
    delay.tv_nsec = static_cast<long>(ms % 1000) * 1000000L;
    ::nanosleep(&delay, nullptr);
}

unsigned epollEvents(int bits) {
    unsigned events = 0;
    if (bits & ISocketEventHandler::EVENT_READ) events |= EPOLLIN;
    if (bits & ISocketEventHandler::EVENT_WRITE) events |= EPOLLOUT;
    if (bits & ISocketEventHandler::EVENT_EXCEPT) events |= EPOLLPRI;
    return events;
}

// The kernel's record of a registration: the handle and the low half of
// its serial, so that a report meant for an earlier registration is known.
unsigned long long tag(int handle, unsigned long long serial) {
    return (serial << 32) | static_cast<unsigned>(handle);
}

// A scratch buffer that grew beyond this is given back after use.
constexpr int kScratchKeep = 0x40000;
constexpr int kReadyMax = 4096;

}  // namespace

SocketEventSelector::SocketEventSelector(int tickMs)
    : m_epoll(::epoll_create1(EPOLL_CLOEXEC)),
      m_nextSerial(1),
      m_dispatching(false),
      m_tickTimer(tickMs < 0 ? 0 : tickMs),
      m_interested(0),
      m_inGetEvents(false),
      m_scratchLent(false),
      m_owner(std::this_thread::get_id()),
      m_started(false) {
    if (m_epoll < 0) {
        gt::core::raiseError(u"epoll_create1: " + gt::core::systemErrorText(errno),
                             gt::core::String::fromUtf8(__FILE__), __LINE__);
    }
}

SocketEventSelector::~SocketEventSelector() { ::close(m_epoll); }

SocketEventSelector::HandlerItem* SocketEventSelector::_find(int handle) {
    if (handle < 0 || static_cast<size_t>(handle) >= m_slotOf.size()) return nullptr;
    int const slot = m_slotOf[handle];
    return slot < 0 ? nullptr : &m_slots[slot].item;
}

SocketEventSelector::HandlerItem const* SocketEventSelector::_find(int handle) const {
    if (handle < 0 || static_cast<size_t>(handle) >= m_slotOf.size()) return nullptr;
    int const slot = m_slotOf[handle];
    return slot < 0 ? nullptr : &m_slots[slot].item;
}

bool SocketEventSelector::addEventHandler(int handle, ISocketEventHandler* handler) {
    GT_ASSERT(_onOwnerThread());
    GT_ASSERT(!m_inGetEvents);
    if (handler == nullptr || handle < 0) return false;
    if (static_cast<int>(m_slots.size()) >= MAX_HANDLERS) return false;
    if (static_cast<size_t>(handle) >= m_slotOf.size()) m_slotOf.resize(static_cast<size_t>(handle) + 1, -1);
    if (m_slotOf[handle] >= 0) return false;
    HandlerItem item{handler, 0, m_nextSerial++, 0, 0, handler->reportsInterest(), false, false, false};
    m_slotOf[handle] = static_cast<int>(m_slots.size());
    m_slots.push_back(Slot{handle, item});
    HandlerItem* added = &m_slots.back().item;
    if (added->reports) {
        _markDirty(handle, added);
    } else {
        m_polled.push_back(handle);
    }
    return true;
}

bool SocketEventSelector::hasEventHandler(int handle) const { return _find(handle) != nullptr; }

void SocketEventSelector::removeEventHandler(int handle) {
    GT_ASSERT(_onOwnerThread());
    GT_ASSERT(!m_inGetEvents);
    HandlerItem* item = _find(handle);
    if (item == nullptr) return;
    if (item->watched) ::epoll_ctl(m_epoll, EPOLL_CTL_DEL, handle, nullptr);  // fails harmlessly once closed
    if (item->interest != 0) --m_interested;
    if (!item->reports) m_polled.erase(std::find(m_polled.begin(), m_polled.end(), handle));
    if (item->alwaysReady) m_alwaysReady.erase(std::find(m_alwaysReady.begin(), m_alwaysReady.end(), handle));
    // The last entry takes the freed place; the dirty and posted lists are
    // keyed by handle and skip what is gone.
    int const slot = m_slotOf[handle];
    if (static_cast<size_t>(slot) + 1 != m_slots.size()) {
        m_slots[slot] = m_slots.back();
        m_slotOf[m_slots[slot].handle] = slot;
    }
    m_slots.pop_back();
    m_slotOf[handle] = -1;
}

void SocketEventSelector::_markDirty(int handle, HandlerItem* item) {
    if (item->dirty) return;
    item->dirty = true;
    m_dirty.push_back(handle);
}

void SocketEventSelector::interestChanged(int handle) {
    HandlerItem* item = _find(handle);
    if (item != nullptr && item->reports) _markDirty(handle, item);
}

void SocketEventSelector::post(int handle, int bits) {
    HandlerItem* item = _find(handle);
    if (item == nullptr || bits == 0) return;
    if (item->posted == 0) m_posted.push_back(handle);
    item->posted |= bits;
}

gt::core::Binary* SocketEventSelector::borrowScratch() {
    if (m_scratchLent) return nullptr;
    m_scratchLent = true;
    return &m_scratch;
}

void SocketEventSelector::returnScratch() {
    m_scratchLent = false;
    m_scratch.clear();
    if (m_scratch.capacity() > kScratchKeep) m_scratch.shrink();
}

void SocketEventSelector::_watch(int handle, HandlerItem* item, int bits) {
    bits &= ISocketEventHandler::EVENT_READ | ISocketEventHandler::EVENT_WRITE |
            ISocketEventHandler::EVENT_EXCEPT;
    if (bits == item->interest) return;
    if (item->interest == 0) ++m_interested;
    if (bits == 0) --m_interested;
    item->interest = bits;
    if (item->alwaysReady) return;
    if (bits == 0) {
        // Out of the kernel's set: a hang-up would be reported even without
        // interest, on every wait.
        if (item->watched) ::epoll_ctl(m_epoll, EPOLL_CTL_DEL, handle, nullptr);
        item->watched = false;
        return;
    }
    epoll_event event;
    event.events = epollEvents(bits);
    event.data.u64 = tag(handle, item->serial);
    if (item->watched) {
        if (::epoll_ctl(m_epoll, EPOLL_CTL_MOD, handle, &event) == 0) return;
        item->watched = false;  // the descriptor was closed and left the set
    }
    if (::epoll_ctl(m_epoll, EPOLL_CTL_ADD, handle, &event) == 0) {
        item->watched = true;
    } else if (errno == EPERM) {
        // A plain file is always ready, as a wait on it would say.
        item->alwaysReady = true;
        m_alwaysReady.push_back(handle);
    }
    // Any other failure is a descriptor that is not open: it never fires.
}

void SocketEventSelector::_ask() {
    m_inGetEvents = true;
    for (size_t i = 0; i < m_polled.size(); ++i) {
        int const handle = m_polled[i];
        HandlerItem* item = _find(handle);
        _watch(handle, item, item->handler->getEvents());
    }
    m_asking.swap(m_dirty);
    for (int handle : m_asking) {
        HandlerItem* item = _find(handle);
        if (item == nullptr || !item->dirty) continue;
        item->dirty = false;
        int const asked = item->handler->getEvents();
        if (asked & ISocketEventHandler::EVENT_ASK_AGAIN) _markDirty(handle, item);
        _watch(handle, item, asked);
    }
    m_asking.clear();
    m_inGetEvents = false;
}

void SocketEventSelector::_fire(int handle, HandlerItem* item, int bits) {
    if (bits == 0) return;
    if (item->fired == 0) m_touched.push_back(handle);
    item->fired |= bits;
}

void SocketEventSelector::_collectPosted() {
    m_postedNow.swap(m_posted);
    for (int handle : m_postedNow) {
        HandlerItem* item = _find(handle);
        if (item == nullptr) continue;
        int const bits = item->posted;
        item->posted = 0;
        _fire(handle, item, bits);
    }
    m_postedNow.clear();
}

void SocketEventSelector::_queueFired() {
    // In table order, so that events go out last collected first as the tick does.
    std::sort(m_touched.begin(), m_touched.end(), [this](int a, int b) { return m_slotOf[a] < m_slotOf[b]; });
    for (int handle : m_touched) {
        HandlerItem* item = _find(handle);
        m_events.add(EventItem{handle, item->serial, item->fired});
        item->fired = 0;
    }
    m_touched.clear();
}

void SocketEventSelector::moveToCurrentThread() {
    GT_ASSERT(!m_dispatching);
    m_owner = std::this_thread::get_id();
    m_started = true;
}

void SocketEventSelector::runOnce(int ms) {
    if (m_dispatching) return;
    if (!m_started) {
        // A selector set up on one thread may be handed to the thread that
        // runs its loop; from then on the table belongs to that thread.
        m_owner = std::this_thread::get_id();
        m_started = true;
    }
    m_dispatching = true;
    _ask();

    bool const pending = !m_posted.empty() || !m_alwaysReady.empty();
    if (m_interested > 0 || pending) {
        int ready = 0;
        if (m_interested > 0) {
            size_t const room = std::min<size_t>(std::max<size_t>(m_slots.size(), 16), kReadyMax);
            if (m_ready.size() < room) m_ready.resize(room);
            ready = ::epoll_wait(m_epoll, m_ready.data(), static_cast<int>(m_ready.size()),
                                 pending ? 0 : (ms < 0 ? -1 : ms));
        }
        // A failed or interrupted wait delivers no readiness; the next turn
        // waits again.
        for (int i = 0; i < ready; ++i) {
            unsigned long long const data = m_ready[i].data.u64;
            int const handle = static_cast<int>(static_cast<unsigned>(data));
            HandlerItem* item = _find(handle);
            if (item == nullptr || (item->serial & 0xFFFFFFFFull) != (data >> 32)) continue;
            _fire(handle, item,
                  detail::readinessBits(static_cast<short>(m_ready[i].events & 0xFFFF), item->interest));
        }
        if (ready >= 0) {
            for (int handle : m_alwaysReady) {
                HandlerItem* item = _find(handle);
                _fire(handle, item, item->interest);
            }
        }
        _collectPosted();
        _queueFired();
        _dispatch();
        // Work the handlers handed each other goes out in this turn.
        for (int round = 0; round < POSTED_ROUNDS && !m_posted.empty(); ++round) {
            _collectPosted();
            _queueFired();
            _dispatch();
        }
    } else if (ms > 0) {
        // Nothing to wait for: do not spin.
        sleepMs(ms);
    }

    m_events.clear();
    m_dispatching = false;
}

void SocketEventSelector::_dispatch() {
    while (m_events.count() > 0) {
        EventItem item = m_events.last();
        m_events.resize(m_events.count() - 1);
        // Removed (or removed and registered again) during this turn: skip.
        HandlerItem* target = _find(item.handle);
        if (target == nullptr || target->serial != item.serial) continue;
        // What a handler does with an event may change what it wants.
        if (target->reports) _markDirty(item.handle, target);
        target->handler->onEvent(item.bits);
    }
}

void SocketEventSelector::_tick() {
    if (!m_tickTimer.isExpired()) return;
    m_tickTimer.rearm();
    if (m_dispatching) return;  // a tick due inside a handler is skipped
    m_dispatching = true;
    for (Slot const& slot : m_slots)
        m_events.add(EventItem{slot.handle, slot.item.serial, 0});
    _dispatch();
    m_events.clear();
    m_dispatching = false;
}

void SocketEventSelector::poll(int ms) {
    if (m_tickTimer.interval() != 0) {
        int left = m_tickTimer.remaining();
        if (ms < 0 || ms > left) ms = left;
    }
    runOnce(ms);
    _tick();
}

}  // namespace net
}  // namespace gt
