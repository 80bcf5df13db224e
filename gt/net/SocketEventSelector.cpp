#include "gt/net/SocketEventSelector.h"

#include <errno.h>
#include <time.h>

#include "gt/core/lang/Fatal.h"
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

}  // namespace

SocketEventSelector::SocketEventSelector(int tickMs)
    : m_nextSerial(1),
      m_dispatching(false),
      m_tickTimer(tickMs < 0 ? 0 : tickMs),
      m_interested(0),
      m_asking(false),
      m_owner(std::this_thread::get_id()),
      m_started(false) {}

SocketEventSelector::~SocketEventSelector() {}

bool SocketEventSelector::addEventHandler(int handle, ISocketEventHandler* handler) {
    GT_ASSERT(_onOwnerThread());
    GT_ASSERT(!m_asking);
    if (handler == nullptr || handle == -1) return false;
    if (m_handlers.count() >= MAX_HANDLERS) return false;
    return m_handlers.insert(handle, HandlerItem{handler, 0, m_nextSerial++});
}

bool SocketEventSelector::hasEventHandler(int handle) const { return m_handlers.contains(handle); }

void SocketEventSelector::removeEventHandler(int handle) {
    GT_ASSERT(_onOwnerThread());
    GT_ASSERT(!m_asking);
    m_handlers.remove(handle);
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
    m_interested = 0;

    m_pollSet.clear();
    m_pollItems.clear();
    m_asking = true;
    for (auto& entry : m_handlers) {
        int asked = entry.second.handler->getEvents() &
                    (ISocketEventHandler::EVENT_READ | ISocketEventHandler::EVENT_WRITE |
                     ISocketEventHandler::EVENT_EXCEPT);
        if (asked == 0) continue;
        pollfd descriptor;
        descriptor.fd = entry.first;
        descriptor.events = detail::pollEvents(asked);
        descriptor.revents = 0;
        m_pollSet.push_back(descriptor);
        m_pollItems.push_back(&entry.second);
        ++m_interested;
    }
    m_asking = false;

    if (m_interested > 0) {
        int ready = ::poll(m_pollSet.data(), m_pollSet.size(), ms < 0 ? -1 : ms);
        // A failed or interrupted wait delivers nothing; the next turn asks again.
        if (ready > 0) {
            // The set was built in table order, so the events queue in table order.
            for (size_t i = 0; i < m_pollSet.size(); ++i) {
                pollfd const& descriptor = m_pollSet[i];
                if (descriptor.revents == 0) continue;
                int asked = (descriptor.events & POLLIN ? 1 : 0) | (descriptor.events & POLLOUT ? 2 : 0) |
                            (descriptor.events & POLLPRI ? 4 : 0);
                HandlerItem* item = m_pollItems[i];
                item->fired |= detail::readinessBits(descriptor.revents, asked);
                if (item->fired != 0) {
                    m_events.add(EventItem{descriptor.fd, item->serial, item->fired});
                    item->fired = 0;
                }
            }
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
        HandlerItem const* target = m_handlers.find(item.handle);
        if (target == nullptr || target->serial != item.serial) continue;
        target->handler->onEvent(item.bits);
    }
}

void SocketEventSelector::_tick() {
    if (!m_tickTimer.isExpired()) return;
    m_tickTimer.rearm();
    if (m_dispatching) return;  // a tick due inside a handler is skipped
    m_dispatching = true;
    for (auto& entry : m_handlers)
        m_events.add(EventItem{entry.first, entry.second.serial, 0});
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
