#include "svr/service/StatusService.h"

#include "gt/core/io/File.h"
#include "gt/core/io/Mailbox.h"
#include "gt/core/lang/Fatal.h"
#include "gt/core/util/Array.h"
#include "gt/core/util/JSON.h"
#include "svr/IContext.h"
#include "svr/SvrConstants.h"
#include "tunnel/api/StatusReport.h"
#include "tunnel/nat/NatManager.h"

using gt::core::Any;
using gt::core::Array;
using gt::core::Binary;
using gt::core::Dictionary;
using gt::core::File;
using gt::core::String;

namespace tunnel {

StatusService::StatusService(IContext* context) : StatusService(context, SvrConstants::statusFile()) {}

StatusService::StatusService(IContext* context, String const& path)
    : m_context(context), m_path(path), m_timer(5000) {
    GT_ASSERT(m_context);
    m_timer.advance(m_timer.remaining());
    File::remove(m_path);
}

StatusService::~StatusService() { File::remove(m_path); }

void StatusService::process() {
    if (!m_timer.isExpired()) return;
    m_timer.reset();
    writeReport(m_path, buildReport(*m_context->natManager()));
}

Dictionary<Any> StatusService::buildReport(NatManager const& manager) {
    Array<Any> forwards;
    for (auto it = manager.begin(); it != manager.end(); ++it) {
        Nat const* nat = it->second;
        Dictionary<Any> entry;
        entry.set(StatusReport::KEY_ID, Any(it->first));
        entry.set(StatusReport::KEY_PING, Any(nat->ping()));
        entry.set(StatusReport::KEY_CHANNELS, Any(nat->channels()));
        String const error = nat->error();
        if (!error.isEmpty()) entry.set(StatusReport::KEY_ERROR, Any(error));
        forwards.add(Any(entry));
    }
    Dictionary<Any> report;
    report.set(StatusReport::KEY_FORWARDS, Any(forwards));
    return report;
}

bool StatusService::writeReport(String const& path, Dictionary<Any> const& report) {
    if (!gt::core::Mailbox::isEmpty(path)) return false;
    String text;
    GT_ASSERT(gt::core::JSON::encode(report, &text, true));
    // The client may have taken its request back or written into it meanwhile.
    return gt::core::Mailbox::replace(path, text.toBinary(), true);
}

}  // namespace tunnel
