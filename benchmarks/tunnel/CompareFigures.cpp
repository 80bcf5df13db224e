#include "benchmarks/tunnel/CompareFigures.h"

#include <algorithm>
#include <cstdio>

namespace bench {

double percentile(std::vector<double> const& sorted, double p) {
    if (sorted.empty()) return 0;
    size_t i = static_cast<size_t>(p * static_cast<double>(sorted.size() - 1) + 0.5);
    return sorted[std::min(i, sorted.size() - 1)];
}

double median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

char const* const CompareFigures::PATH_NAMES[PATHS] = {"direct", "socat 2 hops", "engine"};

void CompareFigures::Loop::add(double loop, double gbits) {
    if (loop <= 0) return;
    us.push_back(loop * 1e6);
    bound.push_back(0x20000 * 8e-9 / loop);
    if (gbits > 0) reached.push_back(gbits / bound.back());
}

CompareFigures::Row& CompareFigures::row(std::string const& name, std::string const& unit) {
    for (Row& r : rows)
        if (r.name == name) return r;
    rows.push_back(Row{name, unit, {}});
    return rows.back();
}

void CompareFigures::print(int idle) const {
    std::printf("\n%-40s %12s %12s %12s %8s %8s\n", "median of the rounds", PATH_NAMES[DIRECT],
                PATH_NAMES[SOCAT], PATH_NAMES[ENGINE], "e/socat", "e/direct");
    for (Row const& r : rows) {
        double m[PATHS];
        for (int p = 0; p < PATHS; ++p)
            m[p] = median(r.samples[p]);
        auto cell = [](double v) {
            char text[32];
            if (v == 0) return std::string("-");
            std::snprintf(text, sizeof text, "%.2f", v);
            return std::string(text);
        };
        std::printf("%-40s %12s %12s %12s %8s %8s   %s\n", r.name.c_str(), cell(m[DIRECT]).c_str(),
                    cell(m[SOCAT]).c_str(), cell(m[ENGINE]).c_str(),
                    m[SOCAT] > 0 ? cell(m[ENGINE] / m[SOCAT]).c_str() : "-",
                    m[DIRECT] > 0 ? cell(m[ENGINE] / m[DIRECT]).c_str() : "-", r.unit.c_str());
    }
    if (!doubleAlone[0].empty())
        std::printf(
            "\nround trip p50 / p99 through the relay double alone (an echoing peer in place of the engine "
            "and target): %.2f / %.2f us\n",
            median(doubleAlone[0]), median(doubleAlone[1]));
    std::printf("\ncredit round trip of one channel (128 KiB window), seen by the relay double:\n");
    std::printf("%-40s %12s %14s %14s\n", "", "loop, us", "bound, Gbit/s", "reached/bound");
    for (Loop const& l : loops) {
        if (l.us.empty()) continue;
        char reached[32] = "-";
        if (!l.reached.empty()) std::snprintf(reached, sizeof reached, "%.2f", median(l.reached));
        std::printf("%-40s %12.1f %14.2f %14s\n", l.name, median(l.us), median(l.bound), reached);
    }
    std::printf("\nbusiest thread during the engine's bulk runs, share of one core:\n");
    std::printf("%-40s %12s %14s\n", "", "engine", "relay double");
    for (Row const& r : rows) {
        auto const b = busy.find(r.name);
        if (b == busy.end()) continue;
        std::printf("%-40s %12.2f %14.2f\n", r.name.c_str(), median(b->second.first),
                    median(b->second.second));
    }
    std::printf("\n%-40s %12s %12s %12.2f   (socat: %.2f per hop)\n", "CPU s per GB relayed", "-", "-",
                median(cpuPerGb), socatBytes > 0 ? socatCpu / 2 / (socatBytes / 1e9) : 0.0);
    std::printf("%-40s %12s %12s %12.2f\n", "CPU s per GB beside idle", "-", "-", median(cpuPerGbIdle));
    auto rowMedian = [&](char const* name) {
        for (Row const& r : rows)
            if (r.name == name) return median(r.samples[ENGINE]);
        return 0.0;
    };
    for (char const* way : {"relay->local", "local->relay"}) {
        double const alone = rowMedian((std::string("bulk 1 stream ") + way).c_str());
        double const beside = rowMedian((std::string("bulk 1 stream ") + way + " beside idle").c_str());
        if (alone > 0)
            std::printf("throughput lost beside %d idle channels, %s: %.0f%%\n", idle, way,
                        100.0 * (1.0 - beside / alone));
    }
    for (auto const& m : memory)
        std::printf("memory per idle channel, %5d held:        %8.0f bytes\n", m.first, m.second);
    if (opened > 0)
        std::printf("engine CPU per channel opened and closed:  %8.1f us (%d channels)\n",
                    openCpu / opened * 1e6, opened);
}

}  // namespace bench
