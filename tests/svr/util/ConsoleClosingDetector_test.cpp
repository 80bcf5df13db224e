// The signals that tell the service program's console-mode loop to end.
#include "svr/util/ConsoleClosingDetector.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

using gt::core::ConsoleClosingDetector;

namespace {

// Runs body in a child process (the closing flag is process-wide and never
// lowered) and returns its exit status, or -signo when a signal ended it.
template <class F>
int inChild(F body) {
    pid_t pid = fork();
    if (pid == 0) _exit(body());
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
}

}  // namespace

TEST(ConsoleClosingDetector, EachClosingSignalSetsTheFlag) {
    for (int signo : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) {
        SCOPED_TRACE(signo);
        EXPECT_EQ(0, inChild([signo] {
                      ConsoleClosingDetector detector;
                      if (ConsoleClosingDetector::isClosing()) return 1;
                      raise(signo);
                      return ConsoleClosingDetector::isClosing() ? 0 : 2;
                  }));
    }
}

TEST(ConsoleClosingDetector, OtherSignalsAreNotClosing) {
    EXPECT_EQ(0, inChild([] {
                  ConsoleClosingDetector detector;
                  ConsoleClosingDetector::ctrlHandler(SIGUSR1);
                  return ConsoleClosingDetector::isClosing() ? 1 : 0;
              }));
}

TEST(ConsoleClosingDetector, LastDetectorRestoresThePreviousHandling) {
    // SIGTERM ignored before: ignored again once both detectors are gone,
    // and still caught while one of them lives.
    EXPECT_EQ(0, inChild([] {
                  signal(SIGTERM, SIG_IGN);
                  {
                      ConsoleClosingDetector first;
                      { ConsoleClosingDetector second; }
                      raise(SIGTERM);
                      if (!ConsoleClosingDetector::isClosing()) return 1;
                  }
                  struct sigaction now;
                  sigaction(SIGTERM, nullptr, &now);
                  return now.sa_handler == SIG_IGN ? 0 : 2;
              }));
    // Without a detector a SIGTERM ends the process as usual.
    EXPECT_EQ(-SIGTERM, inChild([] {
        { ConsoleClosingDetector detector; }
        raise(SIGTERM);
        return 0;
    }));
}
