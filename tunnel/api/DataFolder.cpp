#include "tunnel/api/DataFolder.h"

#include "gt/core/io/SystemFolders.h"
#include "gt/core/util/MD5.h"
#include "gt/net/socket/SocketAddress.h"

using gt::core::String;

namespace tunnel {

char16_t const* const DataFolder::NAME = u"Quorvane2";
char16_t const* const DataFolder::PROPERTIES_FILE = u"properties.cfg";
char16_t const* const DataFolder::STATUS_FILE = u"status.json.tmp";

String DataFolder::path() { return gt::core::getCommonAppDataDirectory() + u"/" + NAME; }

String DataFolder::propertiesPassword() { return gt::core::md5Hex(gt::net::hostName().toBinary()); }

}  // namespace tunnel
