// gtsvc: the command-line tool of the per-user service manager. Results go to
// standard output, failures (with the usage when the command line is wrong)
// to standard error; exit code 0 done, 1 failed, 2 wrong command line.
#include <stdlib.h>

#include <vector>

#include "gt/core/io/Console.h"
#include "gt/core/io/SystemFolders.h"
#include "gt/core/io/Thread.h"
#include "gt/core/lang/NumberText.h"
#include "gt/svc/ServiceManager.h"

using gt::core::Console;
using gt::core::String;
using namespace gt::svc;

namespace {

constexpr char16_t const* kAutostartFile = u"gtsvc.desktop";
// How long "stop" waits for the service to stop: polls and their interval.
constexpr int kStopPolls = 300;
constexpr int kStopPollMs = 100;

char16_t const* const kUsage =
    u"usage: gtsvc <command> ...\n"
    u"  create <name> <command line> [--display <text>] [--start auto|demand|disabled|boot|system]\n"
    u"  delete <name>\n"
    u"  start <name>\n"
    u"  stop <name> [--no-wait]     send STOP and wait up to 30 s for the service to stop\n"
    u"  query <name>\n"
    u"  list\n"
    u"  boot                        start every automatic service that is not running\n"
    u"  autostart                   run \"gtsvc boot\" at each login: writes the XDG autostart entry\n"
    u"                              gtsvc.desktop (in $XDG_CONFIG_HOME/autostart, else\n"
    u"                              ~/.config/autostart), with $GT_SERVICE_REGISTRY when it is set\n"
    u"  autostart --remove          take that entry away again\n"
    u"The registry folder is $GT_SERVICE_REGISTRY, else $XDG_STATE_HOME/gtsvc, else ~/.local/state/gtsvc.";

char16_t const* stateName(int state) {
    switch (state) {
        case SERVICE_STOPPED:
            return u"STOPPED";
        case SERVICE_START_PENDING:
            return u"START_PENDING";
        case SERVICE_STOP_PENDING:
            return u"STOP_PENDING";
        case SERVICE_RUNNING:
            return u"RUNNING";
        default:
            return u"UNKNOWN";
    }
}

char16_t const* startName(int type) {
    switch (type) {
        case START_BOOT:
            return u"boot";
        case START_SYSTEM:
            return u"system";
        case START_AUTO:
            return u"auto";
        case START_DEMAND:
            return u"demand";
        case START_DISABLED:
            return u"disabled";
        default:
            return u"unknown";
    }
}

int startTypeOf(String const& s) {
    for (int t = START_BOOT; t <= START_DISABLED; ++t) {
        if (s == startName(t)) return t;
    }
    return -1;
}

String number(long long value) { return gt::core::detail::formatDecimal(value); }

int failed(String const& command, int error) {
    Console::printlnError(u"gtsvc " + command + u": " + serviceErrorText(error) + u" (" + number(error) +
                          u")");
    return 1;
}

// A command line the tool does not take: what is wrong, then the usage.
int usage(String const& problem) {
    Console::printlnError(u"gtsvc: " + problem);
    Console::printlnError(kUsage);
    return 2;
}

int create(ServiceManager& manager, std::vector<String> const& args) {
    ServiceConfig config;
    config.name = args[1];
    config.commandLine = args[2];
    for (size_t i = 3; i < args.size(); i += 2) {
        if (args[i] != u"--display" && args[i] != u"--start") {
            return usage(u"create: unknown option \"" + args[i] + u"\"");
        }
        if (i + 1 >= args.size()) return usage(u"create: " + args[i] + u" needs a value");
        if (args[i] == u"--display") {
            config.displayName = args[i + 1];
        } else {
            config.startType = startTypeOf(args[i + 1]);
            if (config.startType < 0) return usage(u"create: unknown start type \"" + args[i + 1] + u"\"");
        }
    }
    int r = manager.create(config);
    return r == SERVICE_OK ? 0 : failed(u"create", r);
}

int stop(ServiceManager& manager, String const& name, bool wait) {
    int r = manager.control(name, CONTROL_STOP, nullptr);
    if (r != SERVICE_OK) return failed(u"stop", r);
    if (!wait) return 0;
    for (int i = 0; i < kStopPolls; ++i) {
        ServiceStatus status;
        r = manager.queryStatus(name, &status);
        if (r == SERVICE_ERROR_DOES_NOT_EXIST || (r == SERVICE_OK && status.state == SERVICE_STOPPED))
            return 0;
        if (r != SERVICE_OK) return failed(u"stop", r);
        gt::core::Thread::sleep(kStopPollMs);
    }
    Console::printlnError(u"gtsvc stop: the service did not stop within 30 s");
    return 1;
}

int query(ServiceManager& manager, String const& name) {
    ServiceConfig config;
    ServiceStatus status;
    int r = manager.queryConfig(name, &config);
    if (r == SERVICE_OK) r = manager.queryStatus(name, &status);
    if (r != SERVICE_OK) return failed(u"query", r);
    String text = u"name: " + config.name + u"\ndisplay: " + config.displayName + u"\ncommand: " +
                  config.commandLine + u"\nstart: " + startName(config.startType) + u"\nstate: " +
                  stateName(status.state) + u"\npid: " + number(status.processId) + u"\nexit code: " +
                  number(status.exitCode);
    if (config.markedForDelete) text += u"\nmarked for delete";
    Console::println(text);
    return 0;
}

int list(ServiceManager& manager) {
    std::vector<ServiceConfig> configs;
    int r = manager.list(&configs);
    if (r != SERVICE_OK) return failed(u"list", r);
    for (auto const& config : configs) {
        ServiceStatus status;
        manager.queryStatus(config.name, &status);
        Console::println(config.name + u"\t" + stateName(status.state) + u"\t" + startName(config.startType) +
                         u"\t" + config.displayName);
    }
    return 0;
}

int autostart() {
    String const path = ServiceManager::autostartFolder() + u"/" + kAutostartFile;
    // The folder this tool was run with goes into the entry; a relative one
    // is taken from here, as the entry runs elsewhere.
    String registry;
    char const* value = ::getenv("GT_SERVICE_REGISTRY");
    if (value && *value) {
        registry = String::fromUtf8(value);
        if (!registry.startsWith(u"/")) registry = gt::core::getCurrentDirectory() + u"/" + registry;
    }
    String const program = gt::core::getProgramFile();
    if (!ServiceManager::writeAutostartEntry(program, kAutostartFile, registry)) {
        Console::printlnError(u"gtsvc autostart: the entry was not written");
        return 1;
    }
    String text = u"gtsvc autostart: wrote " + path + u": runs \"" + program + u" boot\" at each login";
    text += registry.isEmpty() ? String(u" (registry folder: the default)")
                               : u" with GT_SERVICE_REGISTRY=" + registry;
    Console::println(text);
    Console::println(u"gtsvc autostart: undo with \"gtsvc autostart --remove\"");
    return 0;
}

int removeAutostart() {
    String const path = ServiceManager::autostartFolder() + u"/" + kAutostartFile;
    switch (ServiceManager::removeAutostartEntry(kAutostartFile)) {
        case 1:
            Console::println(u"gtsvc autostart: removed " + path);
            return 0;
        case 0:
            Console::println(u"gtsvc autostart: no entry at " + path + u", nothing to remove");
            return 0;
        default:
            return 1;
    }
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<String> args;
    for (int i = 1; i < argc; ++i)
        args.push_back(String::fromUtf8(argv[i]));
    if (args.empty()) return usage(u"no command given");
    if (args[0] == u"-h" || args[0] == u"--help") {
        Console::println(kUsage);
        return 0;
    }
    String const& command = args[0];
    size_t const n = args.size();
    ServiceManager manager;

    if (command == u"create")
        return n >= 3 ? create(manager, args) : usage(u"create: name and command line needed");
    if (command == u"delete" || command == u"start" || command == u"query") {
        if (n != 2) return usage(command + u": one service name needed");
        if (command == u"query") return query(manager, args[1]);
        int r = command == u"delete" ? manager.remove(args[1]) : manager.start(args[1]);
        return r == SERVICE_OK ? 0 : failed(command, r);
    }
    if (command == u"stop") {
        if (n == 2 || (n == 3 && args[2] == u"--no-wait")) return stop(manager, args[1], n == 2);
        return usage(u"stop: a service name and at most --no-wait");
    }
    if (command == u"list" || command == u"boot") {
        if (n != 1) return usage(command + u": no arguments taken");
        if (command == u"list") return list(manager);
        int r = manager.boot();
        if (r < 0) return failed(u"boot", SERVICE_ERROR_IO);
        return r == 0 ? 0 : 1;
    }
    if (command == u"autostart") {
        if (n == 1) return autostart();
        if (n == 2 && args[1] == u"--remove") return removeAutostart();
        return usage(u"autostart: only --remove is taken");
    }
    return usage(u"unknown command \"" + command + u"\"");
}
