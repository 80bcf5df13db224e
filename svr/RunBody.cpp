#include "svr/RunBody.h"

#include <exception>
#include <memory>

#include "gt/core/io/Console.h"
#include "gt/core/io/Thread.h"
#include "gt/core/lang/Exception.h"
#include "gt/util/ThreadSafeLogRecorder.h"
#include "svr/Application.h"
#include "svr/ConsoleLogRecorder.h"
#include "svr/SvrConstants.h"
#include "svr/service/ServiceRunner.h"
#include "svr/util/ConsoleClosingDetector.h"
#include "tunnel/api/ProcessSingleton.h"

using gt::core::Console;
using gt::core::String;

namespace tunnel {

int runBody(std::function<bool()> const& keepRunning, std::function<void()> const& onLocked, bool console) {
    Console::println(String(SvrConstants::PROGRAM_NAME) + u" v" + SvrConstants::VERSION);
    ProcessSingleton singleton(SvrConstants::lockFile(), true);
    if (!singleton.tryLock()) {
        // A lock file that cannot be had is no running instance: saying so
        // would send a person looking for a process that does not exist.
        String const cause = singleton.lastErrorText();
        if (!cause.isEmpty()) {
            Console::println(u"Error: " + cause);
            return RUN_NO_LOCK;
        }
        Console::println(u"Error: Only one instance allowed.");
        return RUN_LOCKED;
    }
    if (onLocked) onLocked();
    // Under the service manager STOP arrives as SIGTERM for the dispatcher's
    // handler: a console detector there would swallow it.
    std::unique_ptr<gt::core::ConsoleClosingDetector> detector;
    if (console) detector.reset(new gt::core::ConsoleClosingDetector());
    gt::util::ConsoleLogRecorder consoleLog;
    gt::util::ThreadSafeLogRecorder log(&consoleLog);
    int result = RUN_FAILED;
    try {
        Application application(&log);
        while (keepRunning() && !application.isExiting())
            application.process();
        Console::println(u"Service is shuting down...");
        result = RUN_OK;
    } catch (gt::core::Exception const& e) {
        log.error(u"Exception: " + e.toString());
    } catch (std::exception const& e) {
        log.error(u"Exception: " + String::fromUtf8(e.what()));
    } catch (...) {
        log.error(u"Exception: Unknown");
    }
    return result;
}

int runConsole() {
    return runBody([] { return !gt::core::ConsoleClosingDetector::isClosing(); }, nullptr, true);
}

int run() {
    return runBody([] { return getServiceState() != SERVICE_STOP_REQUESTED; }, &reportServiceRunning, false);
}

int runServiceLoop() {
    int result = RUN_FAILED;
    runAsService([&result] {
        while (getServiceState() != SERVICE_STOP_REQUESTED && result == RUN_FAILED) {
            result = run();
            if (result == RUN_FAILED) gt::core::Thread::sleep(3000);
        }
    });
    return result;
}

}  // namespace tunnel
