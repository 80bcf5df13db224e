// gtsvc: the command-line tool of the per-user service manager.
#include <stdio.h>
#include <string.h>
#include <time.h>

#include <string>
#include <vector>

#include "gt/core/io/SystemFolders.h"
#include "gt/core/lang/Binary.h"
#include "gt/svc/ServiceManager.h"

using namespace gt;
using namespace gt::svc;

namespace {

char const USAGE[] =
    "usage: gtsvc <command> ...\n"
    "  create <name> <command line> [--display <text>] [--start auto|demand|disabled|boot|system]\n"
    "  delete <name>\n"
    "  start <name>\n"
    "  stop <name> [--no-wait]     send STOP and wait up to 30 s for the service to stop\n"
    "  query <name>\n"
    "  list\n"
    "  boot                        start every automatic service that is not running\n"
    "  autostart                   run \"gtsvc boot\" at each login (XDG autostart entry)\n"
    "The registry folder is $GT_SERVICE_REGISTRY, else $XDG_STATE_HOME/gtsvc, else ~/.local/state/gtsvc.\n";

core::String text(char const* s) { return core::String::fromUtf8(s); }

std::string utf8(core::String const& s) {
    core::Binary bytes = s.toBinary();
    return std::string(bytes.data(), static_cast<size_t>(bytes.length()));
}

char const* stateName(int state) {
    switch (state) {
        case SERVICE_STOPPED:
            return "STOPPED";
        case SERVICE_START_PENDING:
            return "START_PENDING";
        case SERVICE_STOP_PENDING:
            return "STOP_PENDING";
        case SERVICE_RUNNING:
            return "RUNNING";
        default:
            return "UNKNOWN";
    }
}

char const* startName(int type) {
    switch (type) {
        case START_BOOT:
            return "boot";
        case START_SYSTEM:
            return "system";
        case START_AUTO:
            return "auto";
        case START_DEMAND:
            return "demand";
        case START_DISABLED:
            return "disabled";
        default:
            return "unknown";
    }
}

int startTypeOf(std::string const& s) {
    for (int t = START_BOOT; t <= START_DISABLED; ++t) {
        if (s == startName(t)) return t;
    }
    return -1;
}

int failed(char const* what, int error) {
    ::fprintf(stderr, "gtsvc %s: %s (%d)\n", what, serviceErrorText(error), error);
    return 1;
}

int usage() {
    ::fputs(USAGE, stderr);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty() || args[0] == "-h" || args[0] == "--help")
        return args.empty() ? usage() : (::fputs(USAGE, stdout), 0);
    std::string const& command = args[0];
    ServiceManager manager;

    if (command == "create" && args.size() >= 3) {
        ServiceConfig config;
        config.name = text(args[1].c_str());
        config.commandLine = text(args[2].c_str());
        for (size_t i = 3; i < args.size(); i += 2) {
            if (i + 1 >= args.size()) return usage();
            if (args[i] == "--display") {
                config.displayName = text(args[i + 1].c_str());
            } else if (args[i] == "--start") {
                config.startType = startTypeOf(args[i + 1]);
                if (config.startType < 0) return usage();
            } else {
                return usage();
            }
        }
        int r = manager.create(config);
        return r == SERVICE_OK ? 0 : failed("create", r);
    }
    if (command == "delete" && args.size() == 2) {
        int r = manager.remove(text(args[1].c_str()));
        return r == SERVICE_OK ? 0 : failed("delete", r);
    }
    if (command == "start" && args.size() == 2) {
        int r = manager.start(text(args[1].c_str()));
        return r == SERVICE_OK ? 0 : failed("start", r);
    }
    if (command == "stop" && (args.size() == 2 || (args.size() == 3 && args[2] == "--no-wait"))) {
        core::String name = text(args[1].c_str());
        int r = manager.control(name, CONTROL_STOP, nullptr);
        if (r != SERVICE_OK) return failed("stop", r);
        if (args.size() == 3) return 0;
        for (int i = 0; i < 300; ++i) {
            ServiceStatus status;
            r = manager.queryStatus(name, &status);
            if (r == SERVICE_ERROR_DOES_NOT_EXIST || (r == SERVICE_OK && status.state == SERVICE_STOPPED))
                return 0;
            if (r != SERVICE_OK) return failed("stop", r);
            struct timespec ts = {0, 100 * 1000000L};
            ::nanosleep(&ts, nullptr);
        }
        ::fprintf(stderr, "gtsvc stop: the service did not stop within 30 s\n");
        return 1;
    }
    if (command == "query" && args.size() == 2) {
        core::String name = text(args[1].c_str());
        ServiceConfig config;
        ServiceStatus status;
        int r = manager.queryConfig(name, &config);
        if (r == SERVICE_OK) r = manager.queryStatus(name, &status);
        if (r != SERVICE_OK) return failed("query", r);
        ::printf("name: %s\ndisplay: %s\ncommand: %s\nstart: %s\nstate: %s\npid: %d\nexit code: %d\n%s",
                 utf8(config.name).c_str(), utf8(config.displayName).c_str(),
                 utf8(config.commandLine).c_str(), startName(config.startType), stateName(status.state),
                 status.processId, status.exitCode, config.markedForDelete ? "marked for delete\n" : "");
        return 0;
    }
    if (command == "list" && args.size() == 1) {
        std::vector<ServiceConfig> configs;
        int r = manager.list(&configs);
        if (r != SERVICE_OK) return failed("list", r);
        for (auto const& config : configs) {
            ServiceStatus status;
            manager.queryStatus(config.name, &status);
            ::printf("%s\t%s\t%s\t%s\n", utf8(config.name).c_str(), stateName(status.state),
                     startName(config.startType), utf8(config.displayName).c_str());
        }
        return 0;
    }
    if (command == "boot" && args.size() == 1) {
        int r = manager.boot();
        if (r < 0) return failed("boot", SERVICE_ERROR_IO);
        return r == 0 ? 0 : 1;
    }
    if (command == "autostart" && args.size() == 1) {
        return ServiceManager::writeAutostartEntry(core::getProgramFile(), u"gtsvc.desktop") ? 0 : 1;
    }
    return usage();
}
