#include "app/util/CrashFilter.h"

#include <fcntl.h>
#include <signal.h>
#include <ucontext.h>
#include <unistd.h>

#include <atomic>
#include <cstddef>
#include <cstring>
#include <ctime>

#include "gt/core/io/SystemFolders.h"
#include "gt/core/lang/Binary.h"
#include "gt/core/util/DateTime.h"

namespace tunnel {

namespace {

constexpr int kSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT, SIGSYS};
// Room for the handler itself on the alternate stack; generous, since the
// sanitizer runtime may run in front of it.
constexpr size_t kAltStackSize = 64 * 1024;
constexpr size_t kPathSize = 4200;
constexpr size_t kReportSize = 2 * kPathSize;

alignas(16) char s_altStack[kAltStackSize];
// UTF-8 texts prepared before any crash: the log's path and the program's.
char s_logPath[kPathSize];
char s_programPath[kPathSize];
// Seconds to add to UTC for the local time the library shows (its standard
// time-zone bias; no daylight saving).
long long s_localOffset = 0;
// Only the first crashing thread writes; any other waits for the end.
std::atomic<bool> s_reporting{false};
char s_report[kReportSize];

// Days since 1970-01-01 of a proleptic Gregorian date, and back.
long long daysFromCivil(long long y, long long m, long long d) {
    y -= m <= 2;
    long long const era = (y >= 0 ? y : y - 399) / 400;
    long long const yoe = y - era * 400;
    long long const doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    long long const doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void civilFromDays(long long z, long long* y, long long* m, long long* d) {
    z += 719468;
    long long const era = (z >= 0 ? z : z - 146096) / 146097;
    long long const doe = z - era * 146097;
    long long const yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    long long const doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    long long const mp = (5 * doy + 2) / 153;
    *d = doy - (153 * mp + 2) / 5 + 1;
    *m = mp < 10 ? mp + 3 : mp - 9;
    *y = yoe + era * 400 + (*m <= 2);
}

// Appends into s_report, dropping what does not fit.
class Report {
public:
    void text(char const* s) {
        while (*s)
            byte(*s++);
    }
    void hex(unsigned long long value) {
        char digits[16];
        int n = 0;
        do {
            digits[n++] = "0123456789abcdef"[value & 0xF];
            value >>= 4;
        } while (value);
        while (n)
            byte(digits[--n]);
    }
    void decimal(long long value, int width) {
        char digits[24];
        int n = 0;
        bool const negative = value < 0;
        unsigned long long v = negative ? 0ULL - static_cast<unsigned long long>(value) : value;
        do {
            digits[n++] = static_cast<char>('0' + v % 10);
            v /= 10;
        } while (v);
        if (negative) byte('-');
        for (int pad = n; pad < width; ++pad)
            byte('0');
        while (n)
            byte(digits[--n]);
    }
    void byte(char c) {
        if (m_length < kReportSize) s_report[m_length++] = c;
    }
    size_t length() const { return m_length; }

private:
    size_t m_length = 0;
};

// The block of gt::core::detail::assertReport, built without allocation.
size_t buildReport(int signal, unsigned long long address) {
    Report r;
    r.text("Program assert lunched.\r\n- Time:   ");
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    long long const local = static_cast<long long>(now.tv_sec) + s_localOffset;
    long long days = local / 86400;
    long long seconds = local % 86400;
    if (seconds < 0) {
        seconds += 86400;
        --days;
    }
    long long y, m, d;
    civilFromDays(days, &y, &m, &d);
    r.decimal(y, 1);
    r.byte('-');
    r.decimal(m, 2);
    r.byte('-');
    r.decimal(d, 2);
    r.byte(' ');
    r.decimal(seconds / 3600, 2);
    r.byte(':');
    r.decimal(seconds / 60 % 60, 2);
    r.byte(':');
    r.decimal(seconds % 60, 2);
    r.text("\r\n- File:   ");
    r.text(s_programPath);
    r.text("\r\n- Line:   0\r\n- Report: Error Code:");
    r.hex(static_cast<unsigned>(signal));
    r.text(", Error Address:");
    r.hex(address);
    r.text("\r\n\r\n");
    return r.length();
}

// The instruction that failed when the context tells it, else the faulting
// data address, else 0 (a signal sent by raise or kill).
unsigned long long crashAddress(siginfo_t* info, void* context) {
#if defined(__x86_64__)
    if (context)
        return static_cast<unsigned long long>(static_cast<ucontext_t*>(context)->uc_mcontext.gregs[REG_RIP]);
#elif defined(__aarch64__)
    if (context) return static_cast<unsigned long long>(static_cast<ucontext_t*>(context)->uc_mcontext.pc);
#else
    (void)context;
#endif
    return info ? reinterpret_cast<unsigned long long>(info->si_addr) : 0;
}

void copyPath(char* to, gt::core::String const& path) {
    gt::core::Binary const bytes = path.toBinary();
    size_t const n = static_cast<size_t>(bytes.length()) < kPathSize - 1 ? bytes.length() : kPathSize - 1;
    std::memcpy(to, bytes.data(), n);
    to[n] = '\0';
}

}  // namespace

void crashFilter(int signal, siginfo_t* info, void* context) {
    bool expected = false;
    if (!s_reporting.compare_exchange_strong(expected, true)) {
        // Another thread is writing the report; it ends the process.
        for (;;)
            ::pause();
    }
    size_t const length = buildReport(signal, crashAddress(info, context));
    int const fd = ::open(s_logPath, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd >= 0) {
        size_t done = 0;
        while (done < length) {
            ssize_t const n = ::write(fd, s_report + done, length - done);
            if (n <= 0) break;
            done += static_cast<size_t>(n);
        }
        ::close(fd);
    }
    // End by the same signal: the default action runs when the handler
    // returns (a fault re-executes, a sent signal is still pending).
    struct sigaction deflt;
    std::memset(&deflt, 0, sizeof deflt);
    deflt.sa_handler = SIG_DFL;
    sigemptyset(&deflt.sa_mask);
    ::sigaction(signal, &deflt, nullptr);
    ::raise(signal);
}

bool installCrashFilter() {
    copyPath(s_programPath, gt::core::getProgramFile());
    copyPath(s_logPath, gt::core::getProgramDirectory() + u"/assert.log");
    gt::core::DateTime const now = gt::core::DateTime::now();
    s_localOffset = daysFromCivil(now.year(), now.month(), now.day()) * 86400 + now.hour() * 3600LL +
                    now.minute() * 60LL + now.second() - now.seconds();

    stack_t stack;
    std::memset(&stack, 0, sizeof stack);
    stack.ss_sp = s_altStack;
    stack.ss_size = sizeof s_altStack;
    bool ok = ::sigaltstack(&stack, nullptr) == 0;

    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_sigaction = crashFilter;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK;
    sigemptyset(&action.sa_mask);
    for (int signal : kSignals)
        ok = ::sigaction(signal, &action, nullptr) == 0 && ok;
    return ok;
}

}  // namespace tunnel
