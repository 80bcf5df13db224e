#include "app/ClientConstants.h"

#include "gt/core/io/SystemFolders.h"
#include "tunnel/api/DataFolder.h"

using gt::core::String;

namespace tunnel {

char16_t const* const ClientConstants::PROGRAM_NAME = u"Quorvane";
char16_t const* const ClientConstants::VERSION = u"2.0.9";

String ClientConstants::_inDataDir(char16_t const* name) { return DATA_DIR() + u"/" + name; }

String ClientConstants::_inProgramDir(char16_t const* name) {
    return gt::core::getProgramDirectory() + u"/" + name;
}

String const& ClientConstants::DATA_DIR() {
    static String const dir = DataFolder::path();
    return dir;
}

String const& ClientConstants::APP_LOCK_FILE() {
    static String const path = _inDataDir(u"app.lock");
    return path;
}

String const& ClientConstants::PROPERTIES_PASSWORD() {
    static String const password = DataFolder::propertiesPassword();
    return password;
}

String const& ClientConstants::CONFIG_FILE() {
    static String const path = _inDataDir(u"config.cfg");
    return path;
}

String const& ClientConstants::PROPERTIES_FILE() {
    static String const path = _inDataDir(DataFolder::PROPERTIES_FILE);
    return path;
}

String const& ClientConstants::STATUS_FILE() {
    static String const path = _inDataDir(DataFolder::STATUS_FILE);
    return path;
}

String const& ClientConstants::ACTIVED_FILE() {
    static String const path = _inDataDir(u"app_actived.tmp");
    return path;
}

String const& ClientConstants::UPGRADER_FILE() {
    static String const path = _inProgramDir(u"Upgrader");
    return path;
}

String const& ClientConstants::UPGRADER_NEW_FILE() {
    static String const path = _inProgramDir(u"Upgrader.ex_");
    return path;
}

String const& ClientConstants::SVR_SERVICE_NAME() {
    static String const name(u"QvrSvr");
    return name;
}

String const& ClientConstants::SVR_EXE_FILE() {
    static String const path = _inProgramDir(u"QvrSvr");
    return path;
}

String const& ClientConstants::STARTUP_LINK_FILE() {
    static String const path = gt::core::getAppDataDirectory() + u"/autostart/Quorvane.desktop";
    return path;
}

void ClientConstants::init() {
    DATA_DIR();
    APP_LOCK_FILE();
    PROPERTIES_PASSWORD();
    CONFIG_FILE();
    PROPERTIES_FILE();
    STATUS_FILE();
    ACTIVED_FILE();
    UPGRADER_FILE();
    UPGRADER_NEW_FILE();
    SVR_SERVICE_NAME();
    SVR_EXE_FILE();
    STARTUP_LINK_FILE();
}

}  // namespace tunnel
