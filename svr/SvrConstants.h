// Where the service program keeps its files (shared with the desktop client)
// and how it registers with the service manager. Every path is computed once,
// on first use, from the shared data folder; the program touches them at the
// start of main so that a later change of the environment has no effect.
#pragma once

#include "gt/core/lang/String.h"

namespace tunnel {

class SvrConstants {
public:
    // <common application data>/Quorvane2
    static gt::core::String const& dataDir();
    // <data folder>/svr.lock: the single-instance lock of the run body.
    static gt::core::String const& lockFile();
    // Lower-case MD5 hex of the host name's UTF-8 bytes: the password of
    // properties.cfg, so a copied file does not open on another computer.
    static gt::core::String const& propertiesKey();
    // <data folder>/properties.cfg
    static gt::core::String const& propertiesFile();
    // The settings' key of the local address the program binds to.
    static char16_t const* const LOCAL_IP_KEY;  // "net.local_ip"
    // <data folder>/status.json.tmp: the status mailbox.
    static gt::core::String const& statusFile();
    // <data folder>/svr.signal: the command mailbox.
    static gt::core::String const& signalFile();

    static gt::core::String const& serviceName();         // "QvrSvr"
    static gt::core::String const& serviceDisplayName();  // "Quorvane Service 2.0"
    // The program's full path (not quoted) followed by " --service".
    static gt::core::String const& serviceCommandLine();

    static char16_t const* const PROGRAM_NAME;  // "QvrSvr"
    static char16_t const* const VERSION;       // "2.0.7"

    // Computes every value now.
    static void init();

    // The data folder's file of that name.
    static gt::core::String inDataDir(char16_t const* name);
};

}  // namespace tunnel
