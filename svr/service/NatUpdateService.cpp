#include "svr/service/NatUpdateService.h"

#include <set>

#include "gt/core/lang/Fatal.h"
#include "gt/core/lang/Integer.h"
#include "gt/core/lang/Long.h"
#include "svr/DeviceApiClient.h"
#include "svr/IContext.h"
#include "svr/service/AccountService.h"
#include "tunnel/nat/NatManager.h"

using gt::core::Any;
using gt::core::Array;
using gt::core::Dictionary;
using gt::core::String;
using gt::util::ILogRecorder;

namespace tunnel {

namespace {

String idText(long long id) { return gt::core::Long(id).toString(); }

Array<String> stringList(Any const& value) {
    Array<String> out;
    if (!value.is<Array<Any> >()) return out;
    for (Any const& element : value.cast<Array<Any> >())
        out.add(gt::core::toString(element));
    return out;
}

}  // namespace

NatUpdateService::NatUpdateService(IContext* context)
    : m_context(context), m_timer(1000), m_lastLoaded(0), m_lastLogin(0) {
    GT_ASSERT(m_context);
}

NatUpdateService::~NatUpdateService() = default;

void NatUpdateService::process() {
    if (!m_timer.isExpired()) return;
    m_timer.rearm();
    _reload();
}

void NatUpdateService::_reload() {
    AccountService* account = m_context->accountService();
    if (!account->isLoggedIn()) return;
    gt::core::DateTime const reloadTime = account->reloadTime();
    long long const login = account->loginCount();
    if (reloadTime == m_lastLoaded && login == m_lastLogin) return;
    Array<Any> list;
    DeviceApiClient* api = m_context->apiClient();
    if (!api->enumForwards(&list)) {
        m_context->logRecorder()->warn(u"[Device] Failed to reload forwards: " + api->errorMessage());
        return;
    }
    apply(validForwards(list, m_context->logRecorder()), m_context->natManager(), m_context->logRecorder());
    m_lastLoaded = reloadTime;
    m_lastLogin = login;
}

Array<Dictionary<Any> > NatUpdateService::validForwards(Array<Any> const& list, ILogRecorder* log) {
    Array<Dictionary<Any> > out;
    for (int i = 0; i < list.count(); ++i) {
        Any const& element = list[i];
        if (!element.is<Dictionary<Any> >()) {
            log->warn(u"[Forward] Skipped element " + gt::core::Integer(i).toString() +
                      u" of the forward list: not an object.");
            continue;
        }
        Dictionary<Any> const& record = element.cast<Dictionary<Any> >();
        long long const id = gt::core::toLong(record.get(u"id"));
        if (id <= 0) {
            log->warn(u"[Forward] Skipped element " + gt::core::Integer(i).toString() +
                      u" of the forward list: no valid id.");
            continue;
        }
        if (out.count() == MAX_FORWARDS) {
            log->warn(u"[Forward] Skipped elements " + gt::core::Integer(i).toString() + u" to " +
                      gt::core::Integer(list.count() - 1).toString() + u" of the forward list: more than " +
                      gt::core::Integer(MAX_FORWARDS).toString() + u" forwards.");
            break;
        }
        out.add(record);
    }
    return out;
}

void NatUpdateService::apply(Array<Dictionary<Any> > const& forwards, NatManager* manager,
                             ILogRecorder* log) {
    _removeDeleted(forwards, manager, log);
    _updateForwards(forwards, manager, log);
}

void NatUpdateService::_removeDeleted(Array<Dictionary<Any> > const& forwards, NatManager* manager,
                                      ILogRecorder* log) {
    std::set<long long> listed;
    for (Dictionary<Any> const& record : forwards)
        listed.insert(gt::core::toLong(record.get(u"id")));
    Array<long long> gone;
    for (auto it = manager->begin(); it != manager->end(); ++it)
        if (listed.count(it->first) == 0) gone.add(it->first);
    for (long long id : gone) {
        manager->remove(id);
        log->info(u"[Forward] Removed. #" + idText(id));
    }
}

void NatUpdateService::_updateForwards(Array<Dictionary<Any> > const& forwards, NatManager* manager,
                                       ILogRecorder* log) {
    for (Dictionary<Any> const& record : forwards) {
        long long const id = gt::core::toLong(record.get(u"id"));
        Nat* nat = manager->get(id);
        if (nat == nullptr) {
            nat = manager->create(id);
            log->info(u"[Forward] Append. #" + idText(id));
        }
        String const accessKey = gt::core::toString(record.get(u"access_key"));
        String const protocol = gt::core::toString(record.get(u"protocol"));
        String const address = gt::core::toString(record.get(u"address"));
        Array<String> const primary = stringList(record.get(u"primary_servers"));
        Array<String> const standby = stringList(record.get(u"standby_servers"));
        Any const& aclValue = record.get(u"acl");
        Dictionary<Any> const acl =
            aclValue.is<Dictionary<Any> >() ? aclValue.cast<Dictionary<Any> >() : Dictionary<Any>();
        nat->setAccessKey(accessKey);
        nat->setTarget(protocol, address);
        nat->setPrimaryServers(primary);
        nat->setStandbyServers(standby);
        nat->setAcl(acl);
        log->info(u"[Forward] Updated. #" + idText(id));
    }
}

}  // namespace tunnel
