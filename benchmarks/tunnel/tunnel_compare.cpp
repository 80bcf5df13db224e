// Side-by-side benchmark of the tunnel engine on loopback.
//
// Three paths to one local target are measured in the same run, round by
// round (interleaved, so that drift of a shared machine hits them alike):
//   direct   user -> target
//   socat    user -> socat -> socat -> target (two hops, -b 131072)
//   engine   user -> relay double -> engine -> target
// Every party runs in a process of its own (CompareParties): the target, the
// relay double (plain blocking sockets and epoll, fast enough not to be the
// bottleneck), the engine (a forward worker of tunnel::NatManager) and the
// two socat hops. Users are threads of this process with blocking sockets.
//
//   tunnel_compare [rounds, default 3] [MiB per bulk run, default 512] [idle channels, default 2000]
//                  [paths, default direct,socat,engine: a profiling run may take one]
//
// Printed: bulk Gbit/s both ways on 1 and 8 streams, engine CPU s/GB, the
// round trip p50/p99 of a 14-byte exchange (and through the relay double
// alone, with an echoing peer in place of engine and target), the credit
// round trip of one channel with the bound it sets (window / loop), the
// busiest thread of the engine and of the double in each bulk run, bulk
// beside idle channels, and memory per idle channel at 1,000 and 10,000
// channels, each with ratios.
#include <signal.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "benchmarks/support/ProcessStats.h"
#include "benchmarks/tunnel/CompareFigures.h"
#include "benchmarks/tunnel/CompareParties.h"
#include "benchmarks/tunnel/CompareRun.h"

int main(int argc, char** argv) {
    int const rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    long long const mib = argc > 2 ? std::max(1LL, std::atoll(argv[2])) : 512;
    int const idle = argc > 3 ? std::max(0, std::atoi(argv[3])) : 2000;
    std::string const only = argc > 4 ? argv[4] : "direct,socat,engine";
    ::signal(SIGPIPE, SIG_IGN);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    bench::raiseDescriptorLimit();

    bench::CompareParties parties;  // its children go with it
    if (!parties.waitUntilUp()) {
        std::fprintf(stderr, "the engine did not open its tunnel\n");
        return 1;
    }
    bench::CompareFigures figures;
    bench::CompareRun run(parties, only, mib * 1024 * 1024, idle, &figures);
    run.measureIdleChannels();
    std::printf("%d rounds, %lld MiB per bulk run, %d idle channels; paths interleaved in each round\n",
                rounds, mib, idle);
    for (int round = 0; round < rounds; ++round) {
        run.round();
        std::fflush(stdout);
    }
    figures.print(idle);
    return 0;
}
