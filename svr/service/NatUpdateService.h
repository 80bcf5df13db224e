// Turns the device's forward list in the cloud into running forward workers:
// loads it when the device's reload time differs from the one last loaded or
// after a new login, removes the workers of forwards that disappeared, and
// creates or updates one worker per forward.
#pragma once

#include "gt/core/util/Any.h"
#include "gt/core/util/Array.h"
#include "gt/core/util/DateTime.h"
#include "gt/core/util/Dictionary.h"
#include "gt/core/util/Timer.h"
#include "gt/util/ILogRecorder.h"

namespace tunnel {

class IContext;
class NatManager;

class NatUpdateService {
public:
    explicit NatUpdateService(IContext* context);
    NatUpdateService(NatUpdateService const&) = delete;
    NatUpdateService& operator=(NatUpdateService const&) = delete;
    virtual ~NatUpdateService();

    // Most forwards followed at once: each one runs a worker thread with its
    // own relay connection, so a damaged or hostile list must not start an
    // unbounded number of them.
    static constexpr int MAX_FORWARDS = 1024;

    void process();

    // The usable forward records of a list in their order: each element
    // that is not a dictionary, or whose "id" is not a positive number, is
    // left out with a warning naming its position; past MAX_FORWARDS usable
    // records the rest of the list is left out with one warning.
    static gt::core::Array<gt::core::Dictionary<gt::core::Any> > validForwards(
        gt::core::Array<gt::core::Any> const& list, gt::util::ILogRecorder* log);
    // Applies a list of valid records to the manager: removes the workers of
    // ids no longer listed, then creates or updates one worker per record.
    static void apply(gt::core::Array<gt::core::Dictionary<gt::core::Any> > const& forwards,
                      NatManager* manager, gt::util::ILogRecorder* log);

private:
    void _reload();
    static void _removeDeleted(gt::core::Array<gt::core::Dictionary<gt::core::Any> > const& forwards,
                               NatManager* manager, gt::util::ILogRecorder* log);
    static void _updateForwards(gt::core::Array<gt::core::Dictionary<gt::core::Any> > const& forwards,
                                NatManager* manager, gt::util::ILogRecorder* log);

    IContext* m_context;
    gt::core::Timer m_timer;
    gt::core::DateTime m_lastLoaded;
    long long m_lastLogin;
};

}  // namespace tunnel
