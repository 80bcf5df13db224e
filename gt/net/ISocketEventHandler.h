// Receiver of readiness events and of the periodic tick of a
// SocketEventSelector.
#pragma once

namespace gt {
namespace net {

class ISocketEventHandler {
public:
    enum { EVENT_READ = 1, EVENT_WRITE = 2, EVENT_EXCEPT = 4 };

    // The OR of the event bits wanted now; 0 wants nothing this turn. Called
    // once per handler per turn; it must not add or remove handlers.
    virtual int getEvents() = 0;
    // The fired bits; 0 is the periodic tick. Readiness may be spurious: a
    // handler re-checks its socket before it reads or writes.
    virtual void onEvent(int bits) = 0;
    virtual ~ISocketEventHandler() = default;
};

}  // namespace net
}  // namespace gt
