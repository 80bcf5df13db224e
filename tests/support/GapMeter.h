// The longest pause between the ticks of a 20 ms Qt timer while the meter
// lives: it stands for the window's painting in the tests of a window that
// waits on the cloud or a child program behind the busy window.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <algorithm>

namespace gt {
namespace test {

class GapMeter {
public:
    static constexpr int TICK_MS = 20;

    GapMeter() {
        m_clock.start();
        QObject::connect(&m_timer, &QTimer::timeout,
                         [this] { m_longest = std::max(m_longest, m_clock.restart()); });
        m_timer.start(TICK_MS);
    }
    // The gap still open counts too: a call that blocked the thread up to
    // this moment gave the timer no chance to tick after it.
    qint64 longest() const { return std::max(m_longest, m_clock.elapsed()); }

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_longest = 0;
};

}  // namespace test
}  // namespace gt
