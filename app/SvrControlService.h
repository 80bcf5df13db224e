// The desktop client's control of the service program QvrSvr. There is no
// channel between the two: the controller runs QvrSvr with one switch and
// waits for it, reads the service's state from our service manager, and,
// while no own service is installed, keeps "QvrSvr --console" running as a
// child. It never reads QvrSvr's exit code; each action is judged by the
// state it leaves behind.
//
// Two modes, read back from the service manager every time:
//   service mode  the service "QvrSvr" is installed with this installation's
//                 program (a service of another folder counts as none);
//   console mode  otherwise: the console child runs while the client does.
//
// Every operation blocks its caller, each wait bounded: a QvrSvr command up
// to its run time-out, a state change up to POLL_MS. The client runs the
// commands (start, stop, setServiceMode, sendExit, sendRefresh, release ...)
// on the busy runner's worker, one at a time, while the GUI thread may ask
// isRunning, isConsoleRunning, consolePid and the service-manager queries
// meanwhile: those touch only the console child, under m_consoleLock, and
// the service manager, which keeps no state between queries. lastError is
// read only after the command that set it has returned. Children are always
// reaped; none inherits a descriptor of ours beyond the standard streams,
// which go to the null device.
#pragma once

#include "gt/core/io/Process.h"
#include "gt/core/lang/CriticalSection.h"
#include "gt/core/lang/String.h"
#include "gt/util/WinServiceManager.h"

namespace tunnel {

class SvrControlService {
public:
    // How long a change of the service's or the child's state is awaited
    // after the command, and how often it is looked at.
    static constexpr int POLL_MS = 1000;
    static constexpr int POLL_STEP_MS = 100;
    // The longest a QvrSvr command may run before it is killed. "--exit"
    // waits up to 5 s for the running instance, "--install-start" up to the
    // service manager's connect time-out and a 15 s start.
    static constexpr int RUN_TIMEOUT_MS = 60000;

    // Verbs of runSvrProgram. Both start the program directly: services are
    // per user here, no elevation is needed.
    static char16_t const* const VERB_OPEN;   // "open"
    static char16_t const* const VERB_RUNAS;  // "runas"

    // The messages of lastError().
    static char16_t const* const MISSING_PROGRAM_MESSAGE;
    static char16_t const* const SERVICE_START_MESSAGE;
    static char16_t const* const CONSOLE_START_MESSAGE;
    static char16_t const* const SERVICE_MODE_ON_MESSAGE;
    static char16_t const* const SERVICE_MODE_OFF_MESSAGE;
    static char16_t const* const SERVICE_STOP_MESSAGE;

    // svrExeFile: the full path of this installation's QvrSvr.
    explicit SvrControlService(gt::core::String const& svrExeFile);
    SvrControlService(SvrControlService const&) = delete;
    SvrControlService& operator=(SvrControlService const&) = delete;
    // Outside service mode the running instance is asked to exit first; the
    // console child is ended in either mode. A running service keeps running.
    virtual ~SvrControlService();
    // What the destructor does, for a caller that wants the waits off its
    // own thread; the destructor then has nothing left to do.
    void release();

    // Runs QvrSvr with the one switch and waits until it ends (killed after
    // the run time-out). False when the verb is unknown, the start fails or
    // the run time-out passed.
    bool runSvrProgram(gt::core::String const& verb, gt::core::String const& parameter);
    bool sendExit();
    // Makes the running instance reload at once; for after a create or
    // change of a mapping, a device name or an access policy.
    bool sendRefresh();

    // The installed service's program is this installation's QvrSvr, its
    // command line quoted or not.
    bool isOwnService() const;
    bool isServiceMode() const;
    bool isServiceEnabled() const { return isServiceMode(); }
    bool isServiceRunning() const;
    // In service mode whether the service runs, else whether the console
    // child is alive.
    bool isRunning() const;
    bool isConsoleRunning() const;
    // Kills the console child (exit code 9) and reaps it.
    void killConsole();

    bool installStart();
    bool stopService();
    bool stopUninstall();
    // Ends the service program in either mode; sets the last error on
    // failure (a service that is still running afterwards).
    bool stop();
    // True once the console child has lived through POLL_MS.
    bool startConsole();
    // Makes sure the service program runs in the current mode.
    bool start();
    bool setServiceMode(bool on);

    gt::core::String const& lastError() const { return m_lastError; }
    gt::core::String const& svrExeFile() const { return m_svrExeFile; }
    // The console child's process id, -1 when none was started.
    int consolePid() const;

    // Shortens the run time-out (tests).
    void setRunTimeout(int ms) { m_runTimeoutMs = ms; }

private:
    gt::core::String _serviceVerb() const;
    // Polls condition every POLL_STEP_MS for up to POLL_MS; its last answer.
    template <class Condition>
    static bool _awaitState(Condition const& condition);

    gt::core::String m_lastError;
    gt::util::WinServiceManager m_manager;
    // Guards m_console, held for each single step on it, never across a
    // command's or a settle's wait.
    mutable gt::core::CriticalSection m_consoleLock;
    gt::core::Process m_console;
    gt::core::String m_svrExeFile;
    int m_runTimeoutMs;
    bool m_released;
};

}  // namespace tunnel
