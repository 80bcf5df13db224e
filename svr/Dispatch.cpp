#include "svr/Dispatch.h"

#include "gt/core/io/Console.h"
#include "gt/core/io/File.h"
#include "gt/core/io/Mailbox.h"
#include "gt/core/io/Thread.h"
#include "gt/core/lang/Binary.h"
#include "gt/core/util/Timer.h"
#include "svr/RunBody.h"
#include "svr/SvrConstants.h"
#include "svr/service/ServiceAction.h"
#include "tunnel/api/ProcessSingleton.h"

using gt::core::Console;
using gt::core::String;

namespace tunnel {

namespace {

int code(bool ok) { return ok ? EXIT_OK : EXIT_FAILED; }

int doInstall(ServiceAction& s) { return code(s.install()); }
int doUninstall(ServiceAction& s) { return code(s.uninstall()); }
int doStart(ServiceAction& s) { return code(s.start()); }
int doStop(ServiceAction& s) { return code(s.stop()); }
int doInstallStart(ServiceAction& s) {
    s.install();
    return code(s.start());
}
int doStopUninstall(ServiceAction& s) {
    s.stop();
    return code(s.uninstall());
}
int doExit(ServiceAction&) { return code(sendExit()); }
int doRefresh(ServiceAction&) { return code(sendSignal(u"refresh")); }
int doConsole(ServiceAction&) { return runConsole(); }
int doService(ServiceAction&) { return runServiceLoop(); }

SvrOption const OPTIONS[] = {
    {u"--install", &doInstall},
    {u"--uninstall", &doUninstall},
    {u"--start", &doStart},
    {u"--stop", &doStop},
    {u"--install-start", &doInstallStart},
    {u"--stop-uninstall", &doStopUninstall},
    {u"--exit", &doExit},
    {u"--refresh", &doRefresh},
    {u"--console", &doConsole},
    {u"--service", &doService},
};

enum Instance { NO_INSTANCE, INSTANCE_RUNNING, INSTANCE_UNKNOWN };

// Whether a running instance holds the lock. Taking it for a moment is the
// only way to tell; an instance starting in that moment sees it taken. A
// lock file that cannot be opened tells nothing of an instance: the cause
// is printed and the answer is "unknown", never "running".
Instance probeInstance() {
    ProcessSingleton probe(SvrConstants::lockFile());
    if (probe.tryLock()) {
        probe.unlock();
        return NO_INSTANCE;
    }
    String const cause = probe.lastErrorText();
    if (cause.isEmpty()) return INSTANCE_RUNNING;
    Console::println(u"Error: " + cause);
    return INSTANCE_UNKNOWN;
}

}  // namespace

SvrOption const* findOption(String const& word) {
    for (SvrOption const& option : OPTIONS)
        if (word == option.word) return &option;
    return nullptr;
}

bool sendSignal(String const& word) {
    String const& path = SvrConstants::signalFile();
    if (!gt::core::File::isFile(path)) return false;
    Instance const instance = probeInstance();
    if (instance == INSTANCE_UNKNOWN) return false;
    if (instance == NO_INSTANCE) {
        // Left behind by an instance that did not end cleanly: nobody reads it.
        gt::core::File::remove(path);
        return false;
    }
    return gt::core::Mailbox::send(path, word.toBinary());
}

bool sendExit() {
    if (!sendSignal(u"exit")) return false;
    ProcessSingleton singleton(SvrConstants::lockFile(), true);
    gt::core::Timer deadline(5000);
    while (!deadline.isExpired()) {
        if (singleton.tryLock()) break;
        gt::core::Thread::sleep(100);
    }
    if (!singleton.isLocked()) return false;
    singleton.unlock();
    return true;
}

int dispatchArg(int argc, char** argv) {
    if (argc < 2) {
        Console::println(u"参数不正确");
        return EXIT_FAILED;
    }
    String const word = String::fromUtf8(argv[1]);
    ServiceAction services;
    SvrOption const* option = findOption(word);
    if (option == nullptr) {
        Console::println(u"参数不正确: " + word);
        return EXIT_FAILED;
    }
    return option->action(services);
}

}  // namespace tunnel
