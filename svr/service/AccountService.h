// Keeps the service logged in as the device bound to this computer (the
// "device.token" of properties.cfg, re-read every 7 s) and learns from the
// device record when its forward list changed. A settings file that is there
// but cannot be used is warned about once, with its path and the reason.
#pragma once

#include "gt/core/lang/String.h"
#include "gt/core/util/DateTime.h"
#include "gt/core/util/Timer.h"

namespace tunnel {

class IContext;

class AccountService {
public:
    // How often the settings' token is looked at, and the device record
    // refreshed while logged in.
    static constexpr int LOGIN_CHECK_MS = 7000;
    static constexpr int REFRESH_MS = 30000;

    explicit AccountService(IContext* context);
    AccountService(AccountService const&) = delete;
    AccountService& operator=(AccountService const&) = delete;
    // Logs out, whatever the state.
    virtual ~AccountService();

    // The login check, then the device refresh.
    void process();

    bool isLoggedIn() const;
    // The device's last known "reload_time"; 0 until a refresh told it.
    gt::core::DateTime const& reloadTime() const { return m_reloadTime; }
    // Counts successful logins, so that a new login (a rebound device
    // included) makes the forward list load again.
    long long loginCount() const { return m_loginCount; }
    // Makes the device refresh due at once (the "refresh" signal).
    void refreshNow();

private:
    void _checkLogin();
    void _refreshDevice();

    IContext* m_context;
    gt::core::Timer m_loginTimer;
    gt::core::Timer m_refreshTimer;
    gt::core::DateTime m_reloadTime;
    gt::core::String m_token;
    long long m_loginCount;
    // The settings file's last reported load problem, so it is said once.
    gt::core::String m_settingsProblem;
};

}  // namespace tunnel
