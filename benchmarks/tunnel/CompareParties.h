// The parties of the side-by-side benchmark (tunnel_compare), each a process
// of its own: the target, a relay double with the engine behind it, a
// second relay double with an echoing peer in place of engine and target,
// and two socat hops (`socat -b 131072`) when socat is installed. Every
// child is killed and reaped when this object goes.
#pragma once

#include <sys/types.h>

#include <vector>

namespace bench {

struct SharedFigures;

class CompareParties {
public:
    // Forks them all (before any thread of this process exists); says on
    // standard output when socat is not installed.
    CompareParties();
    ~CompareParties();
    CompareParties(CompareParties const&) = delete;
    CompareParties& operator=(CompareParties const&) = delete;

    // Waits until the engine has opened its tunnel (a public connection gets
    // an echo, up to 20 s), then for the socat hops to listen (up to 5 s);
    // false when the engine did not.
    bool waitUntilUp();

    SharedFigures* figures() const { return m_figures; }
    pid_t engine() const { return m_engine; }
    pid_t relay() const { return m_relay; }
    pid_t socatOuter() const { return m_socatOuter; }
    pid_t socatHop() const { return m_socatHop; }
    unsigned short targetPort() const { return m_targetPort; }
    // The public port of the relay double in front of the engine.
    unsigned short publicPort() const { return m_publicPort; }
    // The public port of the relay double in front of the echoing peer.
    unsigned short echoPublicPort() const { return m_echoPublicPort; }
    // The outer socat hop; 0 unless it listened in time.
    unsigned short socatPort() const { return m_socatUp ? m_socatPort : 0; }

private:
    SharedFigures* m_figures;
    std::vector<pid_t> m_children;
    pid_t m_engine = -1;
    pid_t m_relay = -1;
    pid_t m_socatOuter = -1;
    pid_t m_socatHop = -1;
    unsigned short m_targetPort = 0;
    unsigned short m_publicPort = 0;
    unsigned short m_echoPublicPort = 0;
    unsigned short m_socatPort = 0;
    bool m_haveSocat = false;
    bool m_socatUp = false;
};

}  // namespace bench
