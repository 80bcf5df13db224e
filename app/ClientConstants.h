// Where the desktop client finds the files it shares with the service program
// and the updater, and the names it knows them by. Every path is computed
// once, on first use; start-up calls init() before anything else, so a later
// change of the environment has no effect. The data folder and the names of
// the shared files come from DataFolder, as the service program's do.
#pragma once

#include "gt/core/lang/String.h"

namespace tunnel {

class ClientConstants {
public:
    static char16_t const* const PROGRAM_NAME;  // "Quorvane"
    static char16_t const* const VERSION;       // "2.0.9": the client's own version

    // <common application data>/Quorvane2 (the service program's data folder).
    static gt::core::String const& DATA_DIR();
    // <data folder>/app.lock: the client's single-instance lock.
    static gt::core::String const& APP_LOCK_FILE();
    // The password of both settings files (the service program's too).
    static gt::core::String const& PROPERTIES_PASSWORD();
    // <data folder>/config.cfg: the cached server configuration.
    static gt::core::String const& CONFIG_FILE();
    // <data folder>/properties.cfg: the user settings, read by the service too.
    static gt::core::String const& PROPERTIES_FILE();
    // <data folder>/status.json.tmp: the status mailbox.
    static gt::core::String const& STATUS_FILE();

    // <data folder>/app_actived.tmp: a second start asks the running client
    // to show its window.
    static gt::core::String const& ACTIVED_FILE();
    // The updater beside the client, and the new copy it stages there.
    static gt::core::String const& UPGRADER_FILE();      // <program folder>/Upgrader
    static gt::core::String const& UPGRADER_NEW_FILE();  // <program folder>/Upgrader.ex_
    // The service program beside the client and its service name.
    static gt::core::String const& SVR_SERVICE_NAME();  // "QvrSvr"
    static gt::core::String const& SVR_EXE_FILE();      // <program folder>/QvrSvr
    // The autostart entry that starts the client at login:
    // <per-user settings>/autostart/Quorvane.desktop.
    static gt::core::String const& STARTUP_LINK_FILE();

    // Computes every value now.
    static void init();

private:
    static gt::core::String _inDataDir(char16_t const* name);
    static gt::core::String _inProgramDir(char16_t const* name);
};

}  // namespace tunnel
