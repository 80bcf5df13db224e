// The shape both client stores share: the last complete list the cloud
// returned, in the cloud's order, looked up by id or label. Callers get
// copies; the list itself is read through a const reference and replaced
// whole. Used on the GUI thread only, without a lock. Lists are a few dozen
// records: look-ups are linear, the first match wins.
#pragma once

#include "gt/core/lang/String.h"
#include "gt/core/util/Array.h"

namespace tunnel {

template <class Record>
class RecordStore {
public:
    RecordStore() = default;
    RecordStore(RecordStore const&) = delete;
    RecordStore& operator=(RecordStore const&) = delete;
    virtual ~RecordStore() = default;

    gt::core::Array<Record> const& records() const { return m_records; }

    // The first record with that id, copied into out when out is not null;
    // without a match out is left as it was.
    bool find(long long id, Record* out) const {
        for (Record const& record : m_records) {
            if (record.id != id) continue;
            if (out) *out = record;
            return true;
        }
        return false;
    }
    // The same for the first record whose label is exactly that text
    // (letter case counts).
    bool findByLabel(gt::core::String const& label, Record* out) const {
        for (Record const& record : m_records) {
            if (record.label != label) continue;
            if (out) *out = record;
            return true;
        }
        return false;
    }

    // Replaces the list by a deep copy of records. The copy is complete
    // before the old list goes, so a failure while copying keeps the old
    // one. Given the store's own list, nothing changes.
    void setRecords(gt::core::Array<Record> const& records) {
        if (&records == &m_records) return;
        gt::core::Array<Record> copy(records);
        m_records.swap(copy);
    }

private:
    gt::core::Array<Record> m_records;
};

}  // namespace tunnel
