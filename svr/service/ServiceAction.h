// Installs, removes, starts and stops this program's service from the
// command line, telling the user each step on the console.
#pragma once

#include "gt/util/WinServiceManager.h"

namespace tunnel {

class ServiceAction {
public:
    ServiceAction();
    // For another service name and command line (tests).
    ServiceAction(gt::core::String const& name, gt::core::String const& displayName,
                  gt::core::String const& commandLine);
    virtual ~ServiceAction();

    // Registers the service; an installation of another program under the
    // name is stopped and removed first.
    bool install();
    bool uninstall();
    // Starts the service and waits up to 15 s until it runs.
    bool start();
    bool stop();

private:
    gt::util::WinServiceManager m_manager;
    gt::core::String m_displayName;
    gt::core::String m_commandLine;
};

}  // namespace tunnel
