// A cloud call of a page, dialog or the window, run behind the busy runner:
// the API client blocks until the cloud answers or its time-out passes, and
// the window must paint and tick meanwhile. The call runs on the runner's
// worker, so it must not touch widgets; results go to variables the caller
// reads afterwards.
#pragma once

#include <QString>
#include <functional>

namespace tunnel {
class ApiClient;
class IBusyRunner;
}  // namespace tunnel

// Returns call's result. On false *error (when given) takes the API
// client's message, read on the worker right after the call: read later on
// the GUI thread it would wait for the call lock of the window's background
// refresh, and could be that refresh's message.
bool cloudCall(tunnel::IBusyRunner* runner, QString const& text, tunnel::ApiClient* api,
               std::function<bool()> const& call, QString* error = nullptr);
