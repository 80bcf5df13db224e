// The relay double of the side-by-side benchmark: plain blocking sockets and
// epoll, fast enough not to be the bottleneck, run in a process of its own.
// It answers every call of an engine, publishes the tunnel of the engine that
// asked for "tunnel_create" last on its public listener, and moves bytes
// between the public users and tunnel datagrams with credit both ways
// (benchmarks/support/RelayWire.h has the frames).
//
// One thread reads the engine connection and writes DATA to the public
// sockets itself while one channel is busy; while several are, it hands the
// payloads to a few writer threads (a channel to one of them). A few threads
// share an epoll set that accepts public users and reads them ahead of the
// engine's credit, sending within it.
#pragma once

#include <sys/uio.h>

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <utility>
#include <vector>

namespace bench {

struct SharedFigures;

class RelayDouble {
public:
    // Serves engines on engineListener and public users on publicListener
    // (both listening sockets), keeping its credit figures in figures.
    RelayDouble(int engineListener, int publicListener, SharedFigures* figures);

    // Every engine connection gets a reader; the one that asked for
    // "tunnel_create" last carries the public users.
    void run();

private:
    struct Channel {
        std::mutex lock;
        int fd = -1;
        long long credit = 0;  // bytes the engine lets us send
        bool armed = false;
        bool readDone = false;  // SHUTDOWN sent to the engine
        bool writeDone = false;
        // Bytes read from the user ahead of the engine's credit, as a ring,
        // so that credit coming back is spent on sending alone: a relay
        // that reads the public side only once it has credit adds that
        // read to every credit round trip. Allocated at the first byte.
        std::vector<char> ahead;
        size_t aheadStart = 0, aheadLength = 0;
        bool userDone = false;  // the user's end of stream (or an error) was read
        // Credit round trips toward the engine: bytes sent so far with the
        // time each frame went, and the credit the engine has given back.
        long long sent = 0;
        long long granted = -1;  // the engine's first WINDOW is its opening grant, not a return
        long long returned = 0;
        struct Sent {
            long long after;  // bytes sent once the frame was
            long long ns;     // when it went
            long long bytes;
        };
        std::deque<Sent> inFlight;
        // From the engine: bytes taken in, and each returned grant as
        // (credit before it, ns).
        long long received = 0;
        long long given = 0;
        std::deque<std::pair<long long, long long>> grants;
        // DATA from the engine handed to a writer thread, guarded by that
        // writer's lock: the payloads in a ring (allocated at the first
        // hand-over, dropped at release) and per frame the bytes still to
        // write, the credit it returns and when the engine reader took it in.
        struct Out {
            int left;
            int count;
            long long took;
        };
        int outFd = -1;
        std::vector<char> out;
        size_t outStart = 0, outLength = 0;
        std::vector<Out> outFrames;  // from outHead on
        size_t outHead = 0;
        bool scheduled = false;        // in a writer's list or being written
        bool shutdownPending = false;  // the engine's SHUTDOWN waits for the queued bytes
    };

    // A writer thread: the channels with bytes for it, in the order they
    // got them. A channel is in one writer's list at most once.
    struct Writer {
        std::mutex lock;
        std::condition_variable wake, room;
        std::deque<unsigned> ready;
        bool waiting = false;
    };

    // One frame of kind: head and body after the frame's own head, in one write.
    void _sendFrame(int fd, char kind, char const* head, int headLength, char const* body, int bodyLength);

    // A tunnel datagram without payload to the engine that carries the users.
    void _datagram(char const* head, int n);

    // SHUTDOWN to the engine: the user sends no more on the channel.
    // Called with the channel's lock held.
    void _sendShutdown(Channel* c, unsigned id);

    // Whole frames already encoded, in one write.
    void _sendBytes(int fd, char const* data, size_t n);

    // Writes every part under the write lock, so that frames of several
    // threads never interleave; a broken connection ends it.
    void _writeParts(int fd, iovec* parts, int count);

    // Moves parts[*first..count) past n written bytes.
    static void _skipWritten(iovec* parts, int count, int* first, size_t n);

    static constexpr int PUBLIC_THREADS = 4;
    // Most bytes a channel reads ahead of its credit: one window.
    static constexpr size_t AHEAD_BYTES = 0x20000;
    // Threads that write DATA from the engine to the users while several
    // channels are busy (a channel always goes to the same one, so that its
    // bytes stay in order).
    static constexpr int WRITERS = 4;
    // Bytes a channel may have waiting for its writer: the engine's credit
    // holds it to one window; twice that leaves room for a partial frame.
    static constexpr size_t OUT_BYTES = 2 * AHEAD_BYTES;
    // A DATA frame for another channel within this time of the last one
    // says that several channels are busy.
    static constexpr long long BUSY_NS = 1000000;

    Writer& _writerOf(unsigned id);

    // Which channels the engine reader saw DATA for lately. While one
    // channel alone is busy its DATA goes straight to the user from the
    // reader: a hand-over to another thread would add a wake-up to every
    // credit round trip. While several are, the reader only copies and
    // the writes to the users (the larger share of the work) spread over
    // the writers.
    struct Busy {
        unsigned lastId = 0;
        long long lastNs = 0;
        long long severalUntil = 0;

        bool several(unsigned id, long long now) {
            if (id != lastId && now - lastNs < BUSY_NS) severalUntil = now + 2 * BUSY_NS;
            lastId = id;
            lastNs = now;
            return now < severalUntil;
        }
    };

    // Credit back for frames whose bytes are written to the user, one
    // WINDOW each, in one write to the engine.
    void _credit(Channel* c, unsigned id, Channel::Out const* frames, size_t n);

    // Appends a DATA payload to the channel's queue for its writer and
    // wakes the writer if it sleeps; called with the writer's lock held,
    // which it lets go.
    void _queue(Writer* w, std::unique_lock<std::mutex>* held, Channel* c, unsigned id, int fd,
                char const* data, int left, int count, long long took);

    // Writes the queued DATA of one channel at a time, all its frames in
    // one go, and returns the credit of each frame as its bytes are out.
    // The engine's SHUTDOWN for a channel waits here until its bytes are.
    void _writerLoop(Writer* w);

    // Lets one epoll thread read the user again (one shot).
    void _arm(Channel* c);

    // Closes the user and frees the channel id and its buffers.
    void _release(Channel* c, unsigned id);

    // An epoll thread: accepts public users and reads them ahead.
    void _publicLoop();

    // Reads the user ahead into the ring (when fill) and sends from it
    // within the credit; called with the channel's lock held, by the epoll
    // threads and, without fill, by the engine reader as soon as credit
    // arrives: the bytes read ahead go out with no wake-up of another
    // thread on the way, and the reader is spared the reads of the users.
    void _pump(Channel* c, unsigned id, bool fill);

    // Takes every waiting user: a channel id, CONNECT and the opening WINDOW.
    void _accept();

    // Reads the frames of one engine connection until it ends.
    void _engineLoop(int engine);

    // One frame of an engine: calls are answered, DATA goes to the user,
    // WINDOW spent on what was read ahead, SHUTDOWN ends the user's stream.
    void _onFrame(int engine, char kind, char const* p, int n, long long took, Busy* busy);

    // The engine is done sending on a channel; called with the channel's
    // lock held, once the bytes before it are written to the user.
    void _engineShutdown(Channel* c, unsigned id);

    int m_engineListener;
    int m_publicListener;
    SharedFigures* m_figures;  // not owned; shared memory that outlives the process
    std::atomic<int> m_engine{-1};
    int m_epoll = -1;
    std::mutex m_writeLock;
    std::mutex m_idLock;
    std::vector<unsigned> m_free;
    std::vector<Channel> m_channels = std::vector<Channel>(65536);
    std::vector<char> m_registered = std::vector<char>(65536, 0);
    std::array<Writer, WRITERS> m_writers;
};

}  // namespace bench
