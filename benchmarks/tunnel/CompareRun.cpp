#include "benchmarks/tunnel/CompareRun.h"

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <map>
#include <thread>
#include <vector>

#include "benchmarks/support/BlockingUser.h"
#include "benchmarks/support/ProcessStats.h"
#include "benchmarks/support/SharedFigures.h"
#include "benchmarks/tunnel/CompareParties.h"

namespace bench {

namespace {

constexpr double kGbit = 8e-9;
constexpr size_t kBlock = 1 << 17;

// Round trips of a 14-byte exchange with the echo, in microseconds, sorted.
std::vector<double> roundTrips14(unsigned short port) { return roundTrips(port, 14, 50, 5000); }

}  // namespace

CompareRun::CompareRun(CompareParties const& parties, std::string const& paths, long long bulkBytes, int idle,
                       CompareFigures* figures)
    : m_parties(parties), m_figures(figures), m_bulk(bulkBytes), m_idle(idle) {
    auto chosen = [&](char const* name, unsigned short port) {
        return paths.find(name) != std::string::npos ? port : static_cast<unsigned short>(0);
    };
    m_ports[CompareFigures::DIRECT] = chosen("direct", parties.targetPort());
    m_ports[CompareFigures::SOCAT] = chosen("socat", parties.socatPort());
    m_ports[CompareFigures::ENGINE] = chosen("engine", parties.publicPort());
}

double CompareRun::_bulkUp(unsigned short port, int streams, long long bytes) const {
    SharedFigures const* shared = m_parties.figures();
    return bulkToSink(port, streams, bytes, kBlock, [shared] { return shared->sunk.load(); });
}

double CompareRun::_bulkDown(unsigned short port, int streams, long long bytes) const {
    return bulkFromTarget(port, streams, bytes, kBlock);
}

void CompareRun::measureIdleChannels() {
    // The channel of the start-up check is reaped first (the engine removes
    // closed channels once a second), so that it is not in the baseline.
    pid_t const engine = m_parties.engine();
    std::this_thread::sleep_for(std::chrono::milliseconds(2500));
    for (int n : {1000, 10000}) {
        double const cpuBefore = cpuSeconds(engine);
        int const fdsBefore = openDescriptors(engine);
        long long const rssBefore = rssBytes(engine);
        std::vector<int> fds = openIdle(m_parties.publicPort(), n);
        waitUntil([&] { return openDescriptors(engine) - fdsBefore >= n; }, 30000);
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        int const held = openDescriptors(engine) - fdsBefore;
        long long const rssAfter = rssBytes(engine);
        m_figures->memory.emplace_back(held, held > 0 ? static_cast<double>(rssAfter - rssBefore) / held : 0);
        closeAll(&fds);
        std::this_thread::sleep_for(std::chrono::milliseconds(2500));
        m_figures->openCpu += cpuSeconds(engine) - cpuBefore;
        m_figures->opened += held;
    }
}

void CompareRun::round() {
    for (int path = 0; path < CompareFigures::PATHS; ++path) {
        if (m_ports[path] != 0) _measurePath(path, m_ports[path]);
    }
}

void CompareRun::_measurePath(int path, unsigned short port) {
    CompareFigures& f = *m_figures;
    SharedFigures* const shared = m_parties.figures();
    bool const onEngine = path == CompareFigures::ENGINE;
    bool const onSocat = path == CompareFigures::SOCAT;
    pid_t const engine = m_parties.engine();
    pid_t const relay = m_parties.relay();
    pid_t const socatHop = m_parties.socatHop();
    long long const bulk = m_bulk;
    pid_t const watched = onEngine ? engine : onSocat ? m_parties.socatOuter() : -1;
    double const cpu0 = watched > 0 ? cpuSeconds(watched) + (onSocat ? cpuSeconds(socatHop) : 0) : 0;
    long long moved = 0;
    // A bulk run; on the engine's path also how busy the busiest
    // thread of the engine and of the relay double was meanwhile.
    auto bulkRun = [&](char const* name, std::function<double()> const& run) {
        std::map<std::string, double> e0, r0;
        if (onEngine) e0 = threadCpuSeconds(engine), r0 = threadCpuSeconds(relay);
        auto const start = Clock::now();
        double const gbits = run() * kGbit;
        f.row(name, "Gbit/s").samples[path].push_back(gbits);
        if (onEngine) {
            double const elapsed = seconds(start);
            f.busy[name].first.push_back(busiestThread(e0, threadCpuSeconds(engine), elapsed));
            f.busy[name].second.push_back(busiestThread(r0, threadCpuSeconds(relay), elapsed));
        }
        return gbits;
    };
    shared->clearCredit();
    double const up1 = bulkRun("bulk 1 stream relay->local", [&] { return _bulkUp(port, 1, bulk); });
    if (onEngine) f.loops[0].add(shared->downLoop(), up1);
    shared->clearCredit();
    double const down1 = bulkRun("bulk 1 stream local->relay", [&] { return _bulkDown(port, 1, bulk); });
    if (onEngine) f.loops[1].add(shared->upLoop(), down1);
    bulkRun("bulk 8 streams relay->local", [&] { return _bulkUp(port, 8, bulk / 8); });
    bulkRun("bulk 8 streams local->relay", [&] { return _bulkDown(port, 8, bulk / 8); });
    moved += 4 * bulk;
    if (watched > 0) {
        // Finished socat children are counted once their parent reaps them.
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        double const cpu = cpuSeconds(watched) + (onSocat ? cpuSeconds(socatHop) : 0) - cpu0;
        if (onEngine) {
            f.cpuPerGb.push_back(cpu / (static_cast<double>(moved) / 1e9));
        } else {
            f.socatCpu += cpu;
            f.socatBytes += static_cast<double>(moved);
        }
    }
    std::vector<double> const rtt = roundTrips14(port);
    f.row("round trip p50 (14 B)", "us").samples[path].push_back(percentile(rtt, 0.5));
    f.row("round trip p99 (14 B)", "us").samples[path].push_back(percentile(rtt, 0.99));
    if (onEngine) {
        std::vector<double> const alone = roundTrips14(m_parties.echoPublicPort());
        f.doubleAlone[0].push_back(percentile(alone, 0.5));
        f.doubleAlone[1].push_back(percentile(alone, 0.99));
    }

    if (!onEngine) return;
    // The same bulk beside idle channels.
    int const base = openDescriptors(engine);
    std::vector<int> idleFds = openIdle(port, m_idle);
    waitUntil([&] { return openDescriptors(engine) - base >= static_cast<int>(idleFds.size()); }, 10000);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    double const cpu1 = cpuSeconds(engine);
    f.row("bulk 1 stream relay->local beside idle", "Gbit/s")
        .samples[path]
        .push_back(_bulkUp(port, 1, bulk) * kGbit);
    f.row("bulk 1 stream local->relay beside idle", "Gbit/s")
        .samples[path]
        .push_back(_bulkDown(port, 1, bulk) * kGbit);
    f.cpuPerGbIdle.push_back((cpuSeconds(engine) - cpu1) / (2.0 * static_cast<double>(bulk) / 1e9));
    closeAll(&idleFds);
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));  // closed channels cleaned up
}

}  // namespace bench
