// Receiver of readiness events and of the periodic tick of a
// SocketEventSelector.
#pragma once

namespace gt {
namespace net {

class ISocketEventHandler {
public:
    enum { EVENT_READ = 1, EVENT_WRITE = 2, EVENT_EXCEPT = 4 };
    // Only in the answer of a handler that reports its interest: the answer
    // depends on time as well (a rate limit, say), so ask again next turn.
    enum { EVENT_ASK_AGAIN = 8 };

    // The OR of the event bits wanted now; 0 wants nothing this turn. It
    // must not add or remove handlers. A handler that does not report its
    // interest is asked once per turn; one that does is asked when it
    // registers, after each event it is given, and after it told the
    // selector that its interest changed.
    virtual int getEvents() = 0;
    // The fired bits; 0 is the periodic tick. Readiness may be spurious: a
    // handler treats a read or write that would block as the end of a step.
    virtual void onEvent(int bits) = 0;
    // True for a handler that calls SocketEventSelector::interestChanged
    // whenever its answer to getEvents may have changed outside onEvent;
    // the selector then keeps its interest standing between turns instead
    // of asking every turn.
    virtual bool reportsInterest() const { return false; }
    virtual ~ISocketEventHandler() = default;
};

}  // namespace net
}  // namespace gt
