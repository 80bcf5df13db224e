// What the pages, dialogs and client-side services of the desktop client
// reach through their context: the two settings files, the cloud API, and
// the main window's busy-dialog runner. The service program has an interface
// of the same name with other members; the two never share a binary.
#pragma once

#include <functional>

#include "gt/core/lang/String.h"

class QWidget;

namespace gt {
namespace util {
class IHttpAccess;
}
}  // namespace gt

namespace tunnel {

class ApiClient;
class EncryptedProperties;

class IContext {
public:
    // The main window, the parent of dialogs; not owned.
    virtual QWidget* mainWidget() = 0;
    // The server configuration cache (config.cfg).
    virtual EncryptedProperties* configProperties() = 0;
    // The user settings (properties.cfg), which the service program reads too.
    virtual EncryptedProperties* userProperties() = 0;
    // The cloud request stack, thread-safe.
    virtual gt::util::IHttpAccess* httpAccess() = 0;
    // The account's API client (program root "/user").
    virtual ApiClient* apiClient() = 0;
    // Runs action on a worker thread behind the busy dialog showing caption
    // (none when empty) and returns when it has finished. The action must
    // not touch widgets.
    virtual void execute(gt::core::String const& caption, std::function<void()> const& action) = 0;
    // The same; returns the action's result.
    virtual bool executeResult(gt::core::String const& caption, std::function<bool()> const& action) = 0;
    // The accent colour as a Qt colour name ("#ffa924").
    virtual gt::core::String themeColor() = 0;
    virtual ~IContext();
};

}  // namespace tunnel
