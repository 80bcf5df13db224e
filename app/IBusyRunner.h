// What the main window lends the client context: running an action on a
// worker thread while its busy dialog shows a text. The window implements it
// with its own execute and executeResult, so the client logic needs no
// widget library.
#pragma once

#include <QString>
#include <functional>

namespace tunnel {

class IBusyRunner {
public:
    // Returns once action has finished; an empty text shows no dialog.
    virtual void execute(QString const& text, std::function<void()> const& action) = 0;
    // The same; returns the action's result.
    virtual bool executeResult(QString const& text, std::function<bool()> const& action) = 0;

protected:
    // Never deleted through this interface: the window owns itself.
    ~IBusyRunner() = default;
};

}  // namespace tunnel
