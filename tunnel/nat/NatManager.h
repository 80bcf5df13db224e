// The forward workers of the service program, one per forward id. Runs on the
// service's loop thread only and takes no lock of its own.
#pragma once

#include "gt/core/util/Map.h"
#include "gt/net/socket/SocketAddress.h"
#include "gt/util/ThreadSafeLogRecorder.h"
#include "tunnel/nat/Nat.h"

namespace tunnel {

class NatManager {
public:
    using Workers = gt::core::Map<long long, Nat*>;

    // log is not owned and must outlive the manager; local is the bind
    // address handed to every worker.
    NatManager(gt::util::ThreadSafeLogRecorder* log, gt::net::SocketAddress const& local);
    NatManager(NatManager const&) = delete;
    NatManager& operator=(NatManager const&) = delete;
    // Stops all workers at once, then waits for each.
    virtual ~NatManager();

    // A new worker for the id (its thread starts and waits for settings);
    // null when the id already has one.
    Nat* create(long long id);
    Nat* get(long long id) const;
    // Deletes the id's worker, waiting for its thread to end.
    void remove(long long id);

    int count() const { return m_workers.count(); }
    // Ascending id order.
    Workers::const_iterator begin() const { return m_workers.begin(); }
    Workers::const_iterator end() const { return m_workers.end(); }

private:
    Workers m_workers;
    gt::util::ThreadSafeLogRecorder* m_log;
    gt::net::SocketAddress m_local;
};

}  // namespace tunnel
