// Tells the console-mode loop that it should end: SIGINT, SIGTERM, SIGHUP and
// SIGQUIT (Ctrl+C, kill, the terminal going away, Ctrl+\) set a process-wide
// flag instead of ending the process. The first live detector installs the
// handlers, the last one restores what was there before. The flag is never
// lowered.
#pragma once

namespace gt {
namespace core {

class ConsoleClosingDetector {
public:
    ConsoleClosingDetector();
    ConsoleClosingDetector(ConsoleClosingDetector const&) = delete;
    ConsoleClosingDetector& operator=(ConsoleClosingDetector const&) = delete;
    virtual ~ConsoleClosingDetector();

    static bool isClosing();

    // The signal handler: touches only a lock-free atomic.
    static void ctrlHandler(int signo);
};

}  // namespace core
}  // namespace gt
