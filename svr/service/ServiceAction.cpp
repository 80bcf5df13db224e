#include "svr/service/ServiceAction.h"

#include "gt/core/io/Console.h"
#include "gt/core/io/Thread.h"
#include "gt/core/util/Timer.h"
#include "svr/SvrConstants.h"

using gt::core::Console;
using gt::core::String;

namespace tunnel {

ServiceAction::ServiceAction()
    : ServiceAction(SvrConstants::serviceName(), SvrConstants::serviceDisplayName(),
                    SvrConstants::serviceCommandLine()) {}

ServiceAction::ServiceAction(String const& name, String const& displayName, String const& commandLine)
    : m_manager(name), m_displayName(displayName), m_commandLine(commandLine) {}

ServiceAction::~ServiceAction() = default;

bool ServiceAction::uninstall() {
    if (!m_manager.isInstalled()) {
        Console::println(u"服务不存在");
        return true;
    }
    Console::println(u"正在卸载服务...");
    bool const ok = m_manager.remove();
    Console::println(ok ? u"服务卸载成功" : u"错误: 服务卸载失败");
    return ok;
}

bool ServiceAction::stop() {
    // A service that is stopping still runs: the stop below waits for it,
    // so that an uninstall after it removes the service instead of only
    // marking it.
    if (!m_manager.isRunning() && !m_manager.isStopping()) {
        Console::println(u"服务并未运行");
        return true;
    }
    Console::println(u"正在停止服务...");
    bool const ok = m_manager.stop();
    Console::println(ok ? u"服务停止成功" : u"错误: 服务停止失败");
    return ok;
}

bool ServiceAction::start() {
    if (m_manager.isRunning()) {
        Console::println(u"服务正在运行");
        return true;
    }
    Console::println(u"正在启动服务...");
    if (!m_manager.start()) {
        Console::println(u"错误: 服务启动失败");
        return false;
    }
    gt::core::Timer deadline(15000);
    while (!m_manager.isRunning() && !deadline.isExpired())
        gt::core::Thread::sleep(100);
    bool const running = m_manager.isRunning();
    Console::println(running ? u"服务启动成功" : u"错误: 服务在一定时间内并未成功启动或启动后又停止了");
    return running;
}

bool ServiceAction::install() {
    if (m_manager.isInstalled()) {
        // Paths are case-sensitive here: another letter case is another program.
        if (m_manager.binaryPath() == m_commandLine) {
            Console::println(u"服务已安装");
            return true;
        }
        Console::println(u"检测到后台服务已安装，但不在相同目录下");
        Console::println(u"即将卸载之前服务并重新安装");
        if (!stop()) return false;
        if (!uninstall()) return false;
    }
    Console::println(u"正在安装服务...");
    bool const ok = m_manager.create(m_displayName, m_commandLine, gt::util::WinServiceManager::START_AUTO);
    Console::println(ok ? u"服务安装成功!" : u"错误: 服务安装失败");
    return ok;
}

}  // namespace tunnel
