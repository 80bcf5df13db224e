#include "app/StatusService.h"

#include "app/ClientConstants.h"
#include "gt/core/io/File.h"
#include "gt/core/io/Mailbox.h"
#include "gt/core/util/Array.h"
#include "gt/core/util/JSON.h"
#include "tunnel/api/StatusReport.h"

using gt::core::Any;
using gt::core::Array;
using gt::core::Binary;
using gt::core::Dictionary;
using gt::core::File;
using gt::core::String;

namespace tunnel {

namespace {

// The report's "forwards" list without the entries that are not objects.
void keepObjectEntries(Dictionary<Any>* report) {
    Any const& forwards = report->get(StatusReport::KEY_FORWARDS);
    if (!forwards.is<Array<Any> >()) return;
    Array<Any> kept;
    for (Any const& entry : forwards.cast<Array<Any> >()) {
        if (entry.is<Dictionary<Any> >()) kept.add(entry);
    }
    report->set(StatusReport::KEY_FORWARDS, Any(kept));
}

}  // namespace

StatusService::StatusService() : StatusService(ClientConstants::STATUS_FILE()) {}

StatusService::StatusService(String const& path) : m_path(path) {}

StatusService::~StatusService() { File::remove(m_path); }

bool StatusService::refresh() {
    // A missing file becomes the first request; a filled one is emptied
    // before parsing, so a broken report is dropped and the next request is
    // already there.
    Binary bytes;
    if (gt::core::Mailbox::take(m_path, MAX_REPORT_BYTES, &bytes) != gt::core::Mailbox::MESSAGE) return false;
    Dictionary<Any> report;
    if (!gt::core::JSON::decode(bytes.utf8ToString(), &report)) return false;
    keepObjectEntries(&report);
    m_status.swap(report);
    return true;
}

Dictionary<Any> StatusService::status() {
    refresh();
    return m_status;
}

}  // namespace tunnel
