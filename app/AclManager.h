// The account's access policies, each with its member list, as the cloud
// last listed them (enum_acls). The main window owns one and replaces its
// list after each successful refresh; pages and editors read it to fill
// their tables and choices.
#pragma once

#include "app/RecordStore.h"
#include "tunnel/api/user/Acl.h"

namespace tunnel {

class AclManager : public RecordStore<Acl> {
public:
    AclManager();
    ~AclManager() override;

    gt::core::Array<Acl> const& acls() const { return records(); }
    void setAcls(gt::core::Array<Acl> const& acls) { setRecords(acls); }
};

}  // namespace tunnel
