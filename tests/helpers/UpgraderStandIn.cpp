// Stands in for the updater, which is a program outside this system, in the
// tests of the client's updater launcher. It accepts any command line and:
//   - appends to the file $QV_UPGRADER_LOG one line "pid <n>", one line
//     "argc <n>", then one line "arg <text>" per argument (program path
//     first), then one line "fd <target>" per open descriptor above the
//     standard streams (the log's own included);
//   - copies the file named by a "-list-file=<path>" argument to
//     "$QV_UPGRADER_LOG.list" (the launcher may remove it afterwards) and
//     logs "list-folder-mode <octal>" of the folder it lies in;
//   - sleeps $QV_UPGRADER_DELAY_MS milliseconds (default 0);
//   - exits with $QV_UPGRADER_EXIT (default 0).
#include <dirent.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>

namespace {

int envNumber(char const* name, int fallback) {
    char const* value = std::getenv(name);
    return value != nullptr && *value != '\0' ? std::atoi(value) : fallback;
}

void logDescriptors(std::ofstream& log) {
    DIR* dir = ::opendir("/proc/self/fd");
    if (dir == nullptr) return;
    int const own = ::dirfd(dir);
    while (dirent* entry = ::readdir(dir)) {
        if (entry->d_name[0] == '.') continue;
        int const fd = std::atoi(entry->d_name);
        if (fd <= 2 || fd == own) continue;
        char target[PATH_MAX];
        std::string const link = std::string("/proc/self/fd/") + entry->d_name;
        ssize_t n = ::readlink(link.c_str(), target, sizeof target - 1);
        // The log itself is open as well.
        if (n > 0) log << "fd " << std::string(target, static_cast<size_t>(n)) << "\n";
    }
    ::closedir(dir);
}

}  // namespace

int main(int argc, char** argv) {
    char const* logPath = std::getenv("QV_UPGRADER_LOG");
    if (logPath != nullptr && *logPath != '\0') {
        std::ofstream log(logPath, std::ios::app);
        log << "pid " << ::getpid() << "\n";
        log << "argc " << argc << "\n";
        for (int i = 0; i < argc; ++i)
            log << "arg " << argv[i] << "\n";
        logDescriptors(log);
        for (int i = 1; i < argc; ++i) {
            char const prefix[] = "-list-file=";
            if (std::strncmp(argv[i], prefix, sizeof prefix - 1) != 0) continue;
            std::string const path = argv[i] + sizeof prefix - 1;
            std::ifstream list(path, std::ios::binary);
            std::ofstream copy(std::string(logPath) + ".list", std::ios::binary);
            copy << list.rdbuf();
            struct stat st;
            std::string const folder = path.substr(0, path.rfind('/'));
            if (::stat(folder.c_str(), &st) == 0) {
                log << "list-folder-mode " << std::oct << (st.st_mode & 07777) << std::dec << "\n";
            }
        }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(envNumber("QV_UPGRADER_DELAY_MS", 0)));
    return envNumber("QV_UPGRADER_EXIT", 0);
}
