#include "svr/SvrConstants.h"

#include "gt/core/io/SystemFolders.h"
#include "tunnel/api/DataFolder.h"

using gt::core::String;

namespace tunnel {

char16_t const* const SvrConstants::PROGRAM_NAME = u"QvrSvr";
char16_t const* const SvrConstants::VERSION = u"2.0.7";
char16_t const* const SvrConstants::LOCAL_IP_KEY = u"net.local_ip";

String const& SvrConstants::dataDir() {
    static String const dir = DataFolder::path();
    return dir;
}

String SvrConstants::inDataDir(char16_t const* name) { return dataDir() + u"/" + name; }

String const& SvrConstants::lockFile() {
    static String const path = inDataDir(u"svr.lock");
    return path;
}

String const& SvrConstants::propertiesKey() {
    static String const key = DataFolder::propertiesPassword();
    return key;
}

String const& SvrConstants::propertiesFile() {
    static String const path = inDataDir(DataFolder::PROPERTIES_FILE);
    return path;
}

String const& SvrConstants::statusFile() {
    static String const path = inDataDir(DataFolder::STATUS_FILE);
    return path;
}

String const& SvrConstants::signalFile() {
    static String const path = inDataDir(u"svr.signal");
    return path;
}

String const& SvrConstants::serviceName() {
    static String const name(u"QvrSvr");
    return name;
}

String const& SvrConstants::serviceDisplayName() {
    static String const name(u"Quorvane Service 2.0");
    return name;
}

String const& SvrConstants::serviceCommandLine() {
    static String const line = gt::core::getProgramFile() + u" --service";
    return line;
}

void SvrConstants::init() {
    dataDir();
    lockFile();
    propertiesKey();
    propertiesFile();
    statusFile();
    signalFile();
    serviceCommandLine();
}

}  // namespace tunnel
