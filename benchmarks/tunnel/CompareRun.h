// The measurements of the side-by-side benchmark (tunnel_compare): the
// engine's memory per idle channel first, then rounds in which every chosen
// path is measured in turn (interleaved, so that drift of a shared machine
// hits them alike), into CompareFigures.
#pragma once

#include <string>

#include "benchmarks/tunnel/CompareFigures.h"

namespace bench {

class CompareParties;

class CompareRun {
public:
    // paths names the paths to measure ("direct,socat,engine" or a part);
    // bulkBytes is the size of a bulk run, idle the idle channels beside
    // the engine's bulk runs. Both objects outlive the run.
    CompareRun(CompareParties const& parties, std::string const& paths, long long bulkBytes, int idle,
               CompareFigures* figures);

    // The engine's memory per idle channel at 1,000 and 10,000 channels and
    // its CPU time per channel opened and closed again, before bulk runs
    // leave freed buffers in its heap.
    void measureIdleChannels();

    // Every chosen path once: bulk both ways on 1 and 8 streams, CPU time,
    // round trips; on the engine's path also the threads' load, the credit
    // loop, the relay double alone, and bulk beside idle channels.
    void round();

private:
    void _measurePath(int path, unsigned short port);
    // Bytes per second of streams users each sending bytes to the sink.
    double _bulkUp(unsigned short port, int streams, long long bytes) const;
    // Bytes per second of streams users each fetching bytes from the target.
    double _bulkDown(unsigned short port, int streams, long long bytes) const;

    CompareParties const& m_parties;
    CompareFigures* m_figures;  // not owned
    long long m_bulk;
    int m_idle;
    unsigned short m_ports[CompareFigures::PATHS];  // 0: not measured
};

}  // namespace bench
