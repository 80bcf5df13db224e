// The desktop client's context: the one object that every page, dialog and
// client-side service receives. It holds the two settings files and the
// cloud request stack with the account's API client, forwards blocking work
// to the main window's busy-dialog runner, and carries the client's small
// program-level duties: the server configuration cache, the request of a
// second start to show the window, and the version checks.
//
// Created, used and destroyed on the GUI thread. The API client and the
// request stack are thread-safe: actions under execute() and the window's
// task pool call them from other threads.
#pragma once

#include <functional>

#include "app/IContext.h"
#include "gt/core/lang/String.h"
#include "gt/core/util/Array.h"
#include "gt/net/URL.h"
#include "tunnel/api/ApiAccess.h"
#include "tunnel/api/ApiClient.h"
#include "tunnel/api/EncryptedProperties.h"

namespace tunnel {

class IBusyRunner;

class Client : public IContext {
public:
    // The accent colour of the client's windows.
    static char16_t const* const THEME_COLOR;  // "#ffa924"
    // The program root of the account's API calls.
    static char16_t const* const API_ROOT;  // "/user"
    // Configuration keys (as the cloud's "enum_configs" delivers them).
    static char16_t const* const UPGRADE_URL_KEY;  // "upgrade_url"
    static char16_t const* const VERSION_NEW_KEY;  // "version_new"
    static char16_t const* const VERSION_MIN_KEY;  // "version_min"

    // Both settings files are read now; the request stack starts idle (its
    // probe threads wait for the first request). mainWidget and runner are
    // not owned and outlive the client; with no runner, execute() runs the
    // action on the calling thread.
    Client(QWidget* mainWidget, IBusyRunner* runner);
    // The same over other cloud endpoints than the built-in ones: apiUrl is
    // the API base (API_ROOT is appended), hosts the server entries, spec the
    // body encryption.
    Client(QWidget* mainWidget, IBusyRunner* runner, gt::core::String const& apiUrl,
           gt::core::Array<gt::core::String> const& hosts, gt::core::String const& spec);
    Client(Client const&) = delete;
    Client& operator=(Client const&) = delete;
    ~Client() override;

    QWidget* mainWidget() override { return m_mainWidget; }
    EncryptedProperties* configProperties() override { return &m_configProperties; }
    EncryptedProperties* userProperties() override { return &m_userProperties; }
    gt::util::IHttpAccess* httpAccess() override { return &m_access; }
    ApiClient* apiClient() override { return &m_apiClient; }
    void execute(gt::core::String const& caption, std::function<void()> const& action) override;
    bool executeResult(gt::core::String const& caption, std::function<bool()> const& action) override;
    gt::core::String themeColor() override { return THEME_COLOR; }

    // Fetches the server configuration; on success it replaces the whole
    // cache (and config.cfg). On failure the cache stays as it was and the
    // API client keeps the reason.
    bool updateConfigs();

    // true: leaves the request to show the window (the file ACTIVED_FILE
    // holding "ACTIVED"); false: takes it away. Failures are not reported:
    // the request is a courtesy. Static: a second start leaves it before any
    // thread or context exists.
    static void setActived(bool actived);
    // Whether such a request is there (a file, not a folder, of that name).
    static bool isActived();

    // Asks the updater (compare mode, behind the busy dialog "检查更新")
    // whether the configured "upgrade_url" offers a newer client. True when
    // it answered; *hasUpdate then tells. On false the reason goes to error
    // when given.
    bool checkUpgrade(bool* hasUpdate, gt::core::String* error);
    // Starts the updater in upgrade mode (busy dialog "应用升级") on the
    // configured "upgrade_url", to run this program again afterwards, and
    // returns without waiting: the caller ends the client next, so that its
    // files can be replaced. False, with the reason in error when given, when
    // the updater did not start.
    bool applyUpgrade(gt::core::String* error = nullptr);

    // Whether the configured "version_new" is above the client's version.
    bool hasNewVersion() const;
    // Whether the client's version is below the configured "version_min".
    bool belowMinVersion() const;

    // Compares two dotted versions field by field as decimal numbers, up to
    // the longer one: a missing field counts 0, a field without leading
    // digits 0 ("2.0.9.1" > "2.0.9" == "2.0.9.0"; "" == "0"). Negative,
    // zero or positive as a is below, equal to or above b.
    static int compareVersions(gt::core::String const& a, gt::core::String const& b);

private:
    QWidget* m_mainWidget;  // not owned
    IBusyRunner* m_runner;  // not owned; may be null
    EncryptedProperties m_configProperties;
    EncryptedProperties m_userProperties;
    ApiAccess m_access;
    ApiClient m_apiClient;
};

}  // namespace tunnel
