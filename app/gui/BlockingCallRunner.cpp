#include "app/gui/BlockingCallRunner.h"

#include <QCoreApplication>
#include <exception>

#include "app/gui/PendingDialog.h"
#include "gt/core/io/Thread.h"
#include "gt/core/lang/Semaphore.h"

BlockingCallRunner::BlockingCallRunner(QWidget* window)
    : m_window(window), m_depth(0), m_alive(std::make_shared<bool>(true)) {}

BlockingCallRunner::~BlockingCallRunner() { *m_alive = false; }

void BlockingCallRunner::execute(QString const& text, std::function<void()> const& action) {
    std::shared_ptr<bool> alive = m_alive;
    // Counted before the busy window appears: showing it already processes
    // events, and a timer running there sees this call as running.
    ++m_depth;
    // On the heap: the window it belongs to may be deleted while events are
    // pumped, and takes its children with it.
    QPointer<PendingDialog> dialog = new PendingDialog(m_window);
    if (!text.isEmpty()) dialog->showText(text);

    std::exception_ptr error;
    auto guarded = [&action, &error] {
        try {
            action();
        } catch (...) {
            error = std::current_exception();
        }
    };
    gt::core::Semaphore done;
    {
        gt::core::Thread thread;
        bool started = thread.start([&guarded, &done] {
            guarded();
            done.signal();
        });
        if (!started) {
            guarded();
        } else {
            for (;;) {
                QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
                if (done.wait(PUMP_INTERVAL_MS)) break;
            }
        }
        // The thread object joins the finished worker here.
    }

    delete dialog.data();
    if (*alive) --m_depth;
    if (error) std::rethrow_exception(error);
}

bool BlockingCallRunner::executeResult(QString const& text, std::function<bool()> const& action) {
    bool result = false;
    execute(text, [&result, &action] { result = action(); });
    return result;
}
