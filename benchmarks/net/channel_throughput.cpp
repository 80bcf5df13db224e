// Pushes a volume of bytes (1 GiB unless given in MiB as the first argument)
// from one TcpSocketChannel to another over 127.0.0.1, both turned by one
// event loop on this thread, and prints the rate. The sender is fed in blocks
// of 64 KiB whenever its queue runs low; the receiver grants its credit back
// as bytes arrive, as the tunnel's forwarders do.
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "gt/core/lang/Binary.h"
#include "gt/net/SocketEventSelector.h"
#include "gt/net/channel/TcpSocketChannel.h"
#include "gt/net/socket/Socket.h"

using gt::core::Binary;
using gt::net::IpAddress;
using gt::net::Socket;
using gt::net::SocketAddress;
using gt::net::SocketEventSelector;
using gt::net::TcpSocketChannel;

int main(int argc, char** argv) {
    long long mib = argc > 1 ? std::atoll(argv[1]) : 1024;
    if (mib <= 0) mib = 1024;
    long long const total = mib * 1024 * 1024;
    int const blockSize = 64 * 1024;
    int const queueLow = 256 * 1024;
    int const credit = 1024 * 1024;

    Socket listener(Socket::TYPE_TCP);
    if (!listener.bind(SocketAddress(IpAddress(0x7F000001u), 0)) || !listener.listen()) {
        std::fprintf(stderr, "cannot listen on 127.0.0.1\n");
        return 1;
    }
    Socket client(Socket::TYPE_TCP);
    Socket server(0);
    if (!client.connect(listener.localAddress()) || !listener.accept(&server)) {
        std::fprintf(stderr, "cannot connect over loopback\n");
        return 1;
    }

    SocketEventSelector selector(1000);
    TcpSocketChannel sender(&client, &selector);
    TcpSocketChannel receiver(&server, &selector);
    sender.setIdleTimeout(0);
    receiver.setIdleTimeout(0);

    Binary block(blockSize, 'x');
    long long queued = 0;
    long long received = 0;
    bool failed = false;
    auto feed = [&] {
        while (queued < total && sender.sendQueueLength() < queueLow) {
            int n = total - queued < blockSize ? static_cast<int>(total - queued) : blockSize;
            if (!sender.send(n == blockSize ? block : block.left(n))) {
                failed = true;
                return;
            }
            queued += n;
        }
    };
    sender.onSent = [&](int) { feed(); };
    sender.onClosed = [&] { failed = received < total; };
    receiver.onRecv = [&](Binary& data) {
        received += data.length();
        receiver.recv(data.length());
    };
    receiver.onClosed = [&] { failed = received < total; };
    receiver.recv(credit);

    auto start = std::chrono::steady_clock::now();
    feed();
    while (received < total && !failed)
        selector.poll(100);
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (failed) {
        std::fprintf(stderr, "connection ended after %lld of %lld bytes\n", received, total);
        return 1;
    }
    std::printf("%lld MiB in %.3f s: %.1f MB/s (%.1f MiB/s)\n", mib, seconds, total / seconds / 1e6,
                total / seconds / (1024.0 * 1024.0));
    return 0;
}
