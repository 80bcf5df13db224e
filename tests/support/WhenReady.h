// Runs a step of a Qt test as soon as a condition holds, from whichever event
// loop is running then: the client's panels and dialogs block inside their own
// loops, so a test cannot wait for them in its own body and act afterwards.
// The step runs once; after the deadline it never runs and fired() stays
// false for the test to report.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <functional>

namespace gt {
namespace test {

class WhenReady : public QObject {
public:
    WhenReady(std::function<bool()> condition, std::function<void()> step, int deadlineMs = 20000)
        : m_condition(std::move(condition)), m_step(std::move(step)), m_deadlineMs(deadlineMs) {
        m_clock.start();
        connect(&m_timer, &QTimer::timeout, this, &WhenReady::poll);
        m_timer.start(10);
    }

    bool fired() const { return m_fired; }
    bool pending() const { return m_timer.isActive(); }

private:
    void poll() {
        if (m_condition()) {
            m_timer.stop();
            m_fired = true;
            m_step();
        } else if (m_clock.elapsed() > m_deadlineMs) {
            m_timer.stop();
        }
    }

    std::function<bool()> m_condition;
    std::function<void()> m_step;
    int m_deadlineMs;
    QElapsedTimer m_clock;
    QTimer m_timer;
    bool m_fired = false;
};

}  // namespace test
}  // namespace gt
