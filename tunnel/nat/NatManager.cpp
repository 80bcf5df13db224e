#include "tunnel/nat/NatManager.h"

#include "gt/core/lang/Fatal.h"

namespace tunnel {

NatManager::NatManager(gt::util::ThreadSafeLogRecorder* log, gt::net::SocketAddress const& local)
    : m_log(log), m_local(local) {
    GT_ASSERT(m_log);
}

NatManager::~NatManager() {
    for (auto const& entry : m_workers)
        entry.second->stop(false);
    for (auto& entry : m_workers) {
        delete entry.second;
        entry.second = nullptr;
    }
    m_workers.clear();
}

Nat* NatManager::create(long long id) {
    if (m_workers.contains(id)) return nullptr;
    Nat* worker = new Nat(id, m_log, m_local);
    m_workers.set(id, worker);
    return worker;
}

Nat* NatManager::get(long long id) const {
    Nat* const* found = m_workers.find(id);
    return found ? *found : nullptr;
}

void NatManager::remove(long long id) {
    Nat* const* found = m_workers.find(id);
    if (!found) return;
    Nat* worker = *found;
    m_workers.remove(id);
    delete worker;
}

}  // namespace tunnel
