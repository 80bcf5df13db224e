#include "app/SvrControlService.h"

#include <vector>

#include "app/ClientConstants.h"
#include "gt/core/io/File.h"
#include "gt/core/io/Thread.h"
#include "gt/core/lang/LockGuard.h"
#include "gt/core/util/Timer.h"

using gt::core::Process;
using gt::core::String;

namespace tunnel {

namespace {

// A killed child ends at once; this only bounds the wait for the kernel.
constexpr int kKillWaitMs = 5000;

// Starts program with its arguments, the three standard streams on the null
// device (no window, nothing typed or read at a terminal).
bool startHidden(Process& child, std::vector<String> const& arguments) {
    Process::StartInfo info;
    info.arguments = arguments;
    info.redirectInput = info.redirectOutput = info.redirectError = true;
    return child.start(info);
}

// Kills a child that still runs and waits until the kernel has ended it.
void killAndReap(Process& child) {
    if (!child.isStarted()) return;
    child.kill();
    child.wait(kKillWaitMs);
    child.close();
}

}  // namespace

char16_t const* const SvrControlService::VERB_OPEN = u"open";
char16_t const* const SvrControlService::VERB_RUNAS = u"runas";

char16_t const* const SvrControlService::MISSING_PROGRAM_MESSAGE =
    u"文件不完整，转发组件(QvrSvr.exe)可能被安全软件误删。请检查您的安全软件，并将其还原后加入信任名单。";
char16_t const* const SvrControlService::SERVICE_START_MESSAGE =
    u"后台服务没有启动成功，可能是由于启动服务(QvrSvr.exe)"
    u"时安全软件没有选择允许。请在安全软件提示时选择允许。"
    u"如果仍然无法恢复，请在设置界面，暂时关闭后台服务模式。";
char16_t const* const SvrControlService::CONSOLE_START_MESSAGE =
    u"映射组件没有启动成功，可能是由于启动组件(QvrSvr.exe)"
    u"时安全软件没有选择允许。请在安全软件提示时选择允许。";
char16_t const* const SvrControlService::SERVICE_MODE_ON_MESSAGE =
    u"后台服务模式开启失败, 请让安全类软件允许安装服务(QvrSvr.exe)。";
char16_t const* const SvrControlService::SERVICE_MODE_OFF_MESSAGE =
    u"后台服务模式关闭失败, 请让安全类软件允许卸载服务(QvrSvr.exe)。";
char16_t const* const SvrControlService::SERVICE_STOP_MESSAGE =
    u"后台服务没有停止，可能是由于停止服务(QvrSvr.exe)"
    u"时安全软件没有选择允许。请在安全软件提示时选择允许，然后重试。";

SvrControlService::SvrControlService(String const& svrExeFile)
    : m_manager(ClientConstants::SVR_SERVICE_NAME()),
      m_svrExeFile(svrExeFile),
      m_runTimeoutMs(RUN_TIMEOUT_MS),
      m_released(false) {}

SvrControlService::~SvrControlService() { release(); }

void SvrControlService::release() {
    if (m_released) return;
    m_released = true;
    // The console instance ends its loop through the signal file; a service
    // is left running when the client ends.
    if (!isServiceMode()) sendExit();
    killConsole();
}

template <class Condition>
bool SvrControlService::_awaitState(Condition const& condition) {
    gt::core::Timer deadline(POLL_MS);
    while (!deadline.isExpired()) {
        if (condition()) return true;
        gt::core::Thread::sleep(POLL_STEP_MS);
    }
    return condition();
}

String SvrControlService::_serviceVerb() const {
    return gt::util::WinServiceManager::isAdmin() ? VERB_OPEN : VERB_RUNAS;
}

bool SvrControlService::runSvrProgram(String const& verb, String const& parameter) {
    if (verb != VERB_OPEN && verb != VERB_RUNAS) return false;
    Process command;
    if (!startHidden(command, {m_svrExeFile, parameter})) return false;
    if (command.wait(m_runTimeoutMs)) return true;
    // A command that hangs must not hold the window for ever.
    killAndReap(command);
    return false;
}

bool SvrControlService::sendExit() { return runSvrProgram(VERB_OPEN, u"--exit"); }

bool SvrControlService::sendRefresh() { return runSvrProgram(VERB_OPEN, u"--refresh"); }

bool SvrControlService::isOwnService() const {
    if (m_svrExeFile.isEmpty()) return false;
    // Paths are case-sensitive here: another letter case is another program,
    // as QvrSvr --install sees it too.
    return gt::util::WinServiceManager::programPath(m_manager.binaryPath()) == m_svrExeFile;
}

bool SvrControlService::isServiceMode() const { return m_manager.isInstalled() && isOwnService(); }

bool SvrControlService::isServiceRunning() const { return isServiceMode() && m_manager.isRunning(); }

bool SvrControlService::isRunning() const {
    return isServiceMode() ? isServiceRunning() : isConsoleRunning();
}

bool SvrControlService::isConsoleRunning() const {
    gt::core::LockGuard guard(&m_consoleLock);
    return m_console.isRunning();
}

int SvrControlService::consolePid() const {
    gt::core::LockGuard guard(&m_consoleLock);
    return m_console.pid();
}

void SvrControlService::killConsole() {
    gt::core::LockGuard guard(&m_consoleLock);
    killAndReap(m_console);
}

bool SvrControlService::installStart() {
    auto const ownRunning = [this] { return m_manager.isRunning() && isOwnService(); };
    if (ownRunning()) return true;
    runSvrProgram(_serviceVerb(), u"--install-start");
    return _awaitState(ownRunning);
}

bool SvrControlService::stopService() {
    auto const stopped = [this] { return !m_manager.isRunning(); };
    if (stopped()) return true;
    runSvrProgram(_serviceVerb(), u"--stop");
    return _awaitState(stopped);
}

bool SvrControlService::stopUninstall() {
    if (!m_manager.isInstalled()) return true;
    runSvrProgram(_serviceVerb(), u"--stop-uninstall");
    return _awaitState([this] { return !m_manager.isRunning() && !m_manager.isInstalled(); });
}

bool SvrControlService::stop() {
    m_lastError.clear();
    sendExit();
    if (isServiceMode()) {
        if (stopService()) return true;
        m_lastError = SERVICE_STOP_MESSAGE;
        return false;
    }
    killConsole();
    return true;
}

bool SvrControlService::startConsole() {
    {
        gt::core::LockGuard guard(&m_consoleLock);
        if (m_console.isRunning()) return true;
        killAndReap(m_console);
        if (!startHidden(m_console, {m_svrExeFile, u"--console"})) return false;
    }
    // A child that ends within the first second (a second instance refused
    // by the lock, for one) did not start.
    gt::core::Timer settle(POLL_MS);
    while (!settle.isExpired()) {
        if (!isConsoleRunning()) return false;
        gt::core::Thread::sleep(POLL_STEP_MS);
    }
    return isConsoleRunning();
}

bool SvrControlService::start() {
    m_lastError.clear();
    if (!gt::core::File::isFile(m_svrExeFile)) {
        m_lastError = MISSING_PROGRAM_MESSAGE;
        return false;
    }
    if (isServiceMode()) {
        if (m_manager.isRunning()) return true;
        sendExit();
        if (installStart()) return true;
        m_lastError = SERVICE_START_MESSAGE;
        return false;
    }
    if (isConsoleRunning()) return true;
    sendExit();
    if (startConsole()) return true;
    m_lastError = CONSOLE_START_MESSAGE;
    return false;
}

bool SvrControlService::setServiceMode(bool on) {
    m_lastError.clear();
    bool const serviceMode = isServiceMode();
    if (on && !serviceMode) {
        sendExit();
        killConsole();
        if (!installStart()) {
            m_lastError = SERVICE_MODE_ON_MESSAGE;
            return false;
        }
    } else if (!on && serviceMode) {
        sendExit();
        if (!stopUninstall()) {
            m_lastError = SERVICE_MODE_OFF_MESSAGE;
            return false;
        }
        startConsole();
    }
    return start();
}

}  // namespace tunnel
