// How long a TCP connect to an address takes, averaged over a few attempts
// within one time budget. The forward editor checks with it that a local
// target answers and shows the latency to a relay node. It blocks the
// calling thread, driving an event loop of its own.
#pragma once

#include "gt/net/socket/SocketAddress.h"

namespace tunnel {

class TcpPing {
public:
    // The budget of all attempts together (ms) and the most attempts made.
    TcpPing(int timeoutMs, int attempts);
    virtual ~TcpPing();

    // The average connect time in ms (integer division) over the attempts
    // that succeeded, or -1 when none did. Attempts stop once the budget is
    // used up; each gets what is left of it.
    int ping(gt::net::SocketAddress const& address);

    int timeoutMs() const { return m_timeoutMs; }
    int attempts() const { return m_attempts; }

protected:
    // One attempt: the connect time in ms, or -1 on refusal, error or
    // time-out. Every socket it opens is closed before it returns, a
    // connection that succeeded with a normal close, one still pending with
    // a reset. Virtual so that tests can script the attempts.
    virtual int _ping(gt::net::SocketAddress const& address, int timeoutMs);

private:
    int m_timeoutMs;
    int m_attempts;
};

}  // namespace tunnel
