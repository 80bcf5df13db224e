#include "app/StatusService.h"

#include "app/ClientConstants.h"
#include "gt/core/io/File.h"
#include "gt/core/util/Array.h"
#include "gt/core/util/JSON.h"

using gt::core::Any;
using gt::core::Array;
using gt::core::Binary;
using gt::core::Dictionary;
using gt::core::File;
using gt::core::String;

namespace tunnel {

namespace {

char16_t const* const kForwards = u"forwards";

// The report's "forwards" list without the entries that are not objects.
void keepObjectEntries(Dictionary<Any>* report) {
    Any const& forwards = report->get(kForwards);
    if (!forwards.is<Array<Any> >()) return;
    Array<Any> kept;
    for (Any const& entry : forwards.cast<Array<Any> >()) {
        if (entry.is<Dictionary<Any> >()) kept.add(entry);
    }
    report->set(kForwards, Any(kept));
}

}  // namespace

StatusService::StatusService() : StatusService(ClientConstants::STATUS_FILE()) {}

StatusService::StatusService(String const& path) : m_path(path) {}

StatusService::~StatusService() { File::remove(m_path); }

bool StatusService::refresh() {
    if (!File::isFile(m_path)) {
        File::write(m_path, Binary());
        return false;
    }
    if (File::size(m_path) == 0) return false;
    Binary bytes;
    bool const read = File::readAll(m_path, &bytes, MAX_REPORT_BYTES);
    // Emptied before parsing: a broken report is dropped, and the next
    // request is already there.
    File::write(m_path, Binary());
    if (!read) return false;
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
