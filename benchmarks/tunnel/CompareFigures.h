// What the side-by-side benchmark (tunnel_compare) measured, kept per round
// and path, and the table of medians and the engine's ratios it prints.
#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace bench {

// The p quantile (0..1) of sorted samples; 0 without samples.
double percentile(std::vector<double> const& sorted, double p);

// 0 without samples.
double median(std::vector<double> v);

struct CompareFigures {
    enum Path { DIRECT, SOCAT, ENGINE, PATHS };
    static char const* const PATH_NAMES[PATHS];

    struct Row {
        std::string name;
        std::string unit;
        std::vector<double> samples[PATHS];
    };

    // One channel moves at most its window per credit round trip. Under
    // bulk the loop holds the engine's work on a window and its wait for a
    // 64 KiB return portion; reached/bound is the share of the window in
    // flight on average (bytes moved per second times the time a byte is
    // away, over the window): near 1, the loop, not the copying, set the pace.
    struct Loop {
        char const* name;
        std::vector<double> us, bound, reached;
        void add(double loop, double gbits);
    };

    // The row of that name; a new one goes after the others.
    Row& row(std::string const& name, std::string const& unit);

    // Prints the medians of the rounds; idle is the number of idle
    // channels the bulk runs had beside them.
    void print(int idle) const;

    std::vector<Row> rows;
    double socatCpu = 0, socatBytes = 0;
    std::vector<double> cpuPerGb, cpuPerGbIdle;
    std::vector<double> doubleAlone[2];  // p50, p99 through the relay double and an echoing peer
    // Per bulk row: the busiest engine thread and relay double thread, as a
    // share of one core. Near 1 says that thread set the pace.
    std::map<std::string, std::pair<std::vector<double>, std::vector<double>>> busy;
    Loop loops[2] = {{"bulk 1 stream relay->local", {}, {}, {}}, {"bulk 1 stream local->relay", {}, {}, {}}};
    // Per count of idle channels held: the engine's memory per channel.
    std::vector<std::pair<int, double>> memory;
    // The engine's CPU time over the channels opened and closed again.
    double openCpu = 0;
    int opened = 0;
};

}  // namespace bench
