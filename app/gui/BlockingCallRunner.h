// Blocking work (cloud calls, waits on the service program) run on a fresh
// worker thread while the GUI thread shows the busy window (PendingDialog)
// and keeps processing events, user input excepted, so that the window paints
// and timers run; the call returns once the work has ended and its thread is
// joined. The main window owns one runner and forwards its execute and
// executeResult to it.
//
// The action must not touch widgets; it may use the API client and files.
// Results cross back through variables the caller reads after the call.
// The GUI thread wakes at least every PUMP_INTERVAL_MS and at once when the
// action ends. An exception thrown by the action is rethrown to the caller
// after the worker is joined. When no thread can be created the action runs
// on the calling thread, so its work is never silently dropped.
#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>
#include <functional>
#include <memory>

class BlockingCallRunner {
public:
    static constexpr int PUMP_INTERVAL_MS = 30;

    // window: parent of the busy window, over which it is centred; not
    // owned, may be null and may go away during a call.
    explicit BlockingCallRunner(QWidget* window);
    BlockingCallRunner(BlockingCallRunner const&) = delete;
    BlockingCallRunner& operator=(BlockingCallRunner const&) = delete;
    ~BlockingCallRunner();

    // Runs action behind the busy window showing text; an empty text shows
    // no window, the rest is the same. GUI thread only; calls may nest.
    void execute(QString const& text, std::function<void()> const& action);
    // The same for an action with a result: returns exactly that result
    // (false when the action threw, before the exception is rethrown).
    bool executeResult(QString const& text, std::function<bool()> const& action);

    // Calls running now (nested ones each count).
    int depth() const { return m_depth; }

private:
    QPointer<QWidget> m_window;
    int m_depth;
    // Cleared by the destructor: a call whose runner was deleted while it
    // pumped events touches no member after the pump.
    std::shared_ptr<bool> m_alive;
};
