// Stands in for the service program beside the desktop client in the tests
// of a window that waits on it. With "--console" it runs until it is
// signalled, as the console instance does. Any other switch named in
// $QV_SVR_HANG (comma-separated, e.g. "--exit,--refresh") sleeps
// $QV_SVR_HANG_MS milliseconds (default 8000) before it ends; every other
// switch ends at once. Each run appends "start <switch>" and, when it ends
// by itself, "end <switch>" to the file $QV_SVR_LOG when set.
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

namespace {

std::string env(char const* name) {
    char const* value = std::getenv(name);
    return value != nullptr ? value : "";
}

void logLine(std::string const& line) {
    std::string const path = env("QV_SVR_LOG");
    if (path.empty()) return;
    std::ofstream(path, std::ios::app) << line << "\n";
}

bool hangs(std::string const& command) {
    std::string const list = "," + env("QV_SVR_HANG") + ",";
    return list.find("," + command + ",") != std::string::npos;
}

}  // namespace

int main(int argc, char** argv) {
    std::string const command = argc > 1 ? argv[1] : "";
    logLine("start " + command);
    if (command == "--console") {
        for (;;)
            ::pause();
    }
    if (hangs(command)) {
        std::string const ms = env("QV_SVR_HANG_MS");
        std::this_thread::sleep_for(std::chrono::milliseconds(ms.empty() ? 8000 : std::atoi(ms.c_str())));
    }
    logLine("end " + command);
    return 0;
}
