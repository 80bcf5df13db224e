#include "svr/service/AccountService.h"

#include "gt/core/io/Console.h"
#include "gt/core/lang/Fatal.h"
#include "gt/core/util/Any.h"
#include "gt/core/util/Dictionary.h"
#include "svr/DeviceApiClient.h"
#include "svr/IContext.h"
#include "tunnel/api/EncryptedProperties.h"

using gt::core::Any;
using gt::core::Dictionary;
using gt::core::String;

namespace tunnel {

AccountService::AccountService(IContext* context)
    : m_context(context),
      m_loginTimer(LOGIN_CHECK_MS),
      m_refreshTimer(REFRESH_MS),
      m_reloadTime(0),
      m_loginCount(0) {
    GT_ASSERT(m_context);
    m_loginTimer.advance(m_loginTimer.remaining());
    refreshNow();
}

AccountService::~AccountService() { m_context->apiClient()->logout(); }

void AccountService::process() {
    _checkLogin();
    _refreshDevice();
}

bool AccountService::isLoggedIn() const { return !m_context->apiClient()->sessionId().isEmpty(); }

void AccountService::refreshNow() { m_refreshTimer.advance(m_refreshTimer.remaining()); }

void AccountService::_checkLogin() {
    if (!m_loginTimer.isExpired()) return;
    m_loginTimer.reset();
    EncryptedProperties* properties = m_context->properties();
    properties->load();
    String const token = properties->get(u"device.token");
    DeviceApiClient* api = m_context->apiClient();
    gt::util::ILogRecorder* log = m_context->logRecorder();
    // A file that is there but gives nothing looks like a missing one below
    // ("not ready" every few seconds): its reason is said once per change.
    String const problem = properties->lastLoadError();
    if (problem != m_settingsProblem) {
        if (!problem.isEmpty()) log->warn(u"[Device] " + problem);
        m_settingsProblem = problem;
    }
    if (isLoggedIn()) {
        if (token == m_token) return;
        log->info(u"[Device] Account changed, logout.");
        api->logout();
    }
    if (token.isEmpty()) {
        log->info(u"[Device] Device account is not ready.");
        return;
    }
    if (!api->login(token)) {
        log->warn(u"[Device] Failed to login: " + api->errorMessage());
        return;
    }
    if (!isLoggedIn()) {
        // A reply without a session is no login, whatever the call said.
        log->warn(u"[Device] Failed to login: the reply holds no session.");
        return;
    }
    log->info(u"[Device] logged in. Token: ****" + token.right(4));
    refreshNow();
    m_reloadTime = gt::core::DateTime(0);
    m_token = token;
    ++m_loginCount;
}

void AccountService::_refreshDevice() {
    if (!isLoggedIn() || !m_refreshTimer.isExpired()) return;
    m_refreshTimer.rearm();
    DeviceApiClient* api = m_context->apiClient();
    Dictionary<Any> device;
    if (!api->queryMyDevice(&device)) {
        m_context->logRecorder()->warn(u"[Device] Failed to refresh: " + api->errorMessage());
        return;
    }
    m_reloadTime = gt::core::DateTime(gt::core::toLong(device.get(u"reload_time")));
    gt::core::Console::println(u"DEBUG: reload_time=" + m_reloadTime.toString());
}

}  // namespace tunnel
