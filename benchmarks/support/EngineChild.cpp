#include "benchmarks/support/EngineChild.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "gt/core/lang/Binary.h"
#include "gt/core/lang/CodePage.h"
#include "gt/core/lang/String.h"
#include "gt/core/util/Array.h"
#include "gt/net/socket/SocketAddress.h"
#include "gt/util/ILogRecorder.h"
#include "gt/util/ThreadSafeLogRecorder.h"
#include "tunnel/nat/Nat.h"
#include "tunnel/nat/NatManager.h"

namespace bench {

namespace {

class WarningsToStderr : public gt::util::ILogRecorder {
public:
    void info(gt::core::String const&) override {}
    void warn(gt::core::String const& message) override { _print("warning", message); }
    void error(gt::core::String const& message) override { _print("error", message); }

private:
    static void _print(char const* level, gt::core::String const& message) {
        gt::core::Binary text;
        gt::core::convertToUtf8(message, &text);
        std::fprintf(stderr, "engine %s: %.*s\n", level, text.length(), text.data());
    }
};

gt::core::String loopbackAddress(unsigned short port) {
    return u"127.0.0.1:" + gt::core::String::fromUtf8(std::to_string(port).c_str());
}

}  // namespace

void runEngine(unsigned short relayPort, unsigned short targetPort, bool warningsToStderr,
               std::function<void()> const& until) {
    int devnull = ::open("/dev/null", O_WRONLY);
    ::dup2(devnull, 1);
    WarningsToStderr warnings;
    gt::util::ThreadSafeLogRecorder log(warningsToStderr ? &warnings : nullptr);
    tunnel::NatManager manager(&log, gt::net::SocketAddress());
    tunnel::Nat* worker = manager.create(1);
    worker->setAccessKey(u"bench");
    worker->setTarget(u"tcp", loopbackAddress(targetPort));
    gt::core::Array<gt::core::String> servers;
    servers.add(loopbackAddress(relayPort));
    worker->setPrimaryServers(servers);
    until();
}

}  // namespace bench
