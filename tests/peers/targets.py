#!/usr/bin/env python3
"""Local target doubles for the tunnel engine tests (Python 3 standard library only).

A forward connects public users to a local TCP target. These doubles stand in for
that target, all on 127.0.0.1 with an ephemeral port:

* echo      every byte received is written back; end-of-file is answered by
            closing the sending side after the last echoed byte;
* sink      reads slowly: at most <rate> bytes every <period> ms, so the sender
            meets back-pressure; counts what it read;
* refuse    a port that is bound but never listens: every connect is refused;
* hold      accepts and then neither reads nor writes until told to close.

Every double records its connections in order of acceptance: the peer address
(source address and port as the target saw them), the bytes received and whether
the connection has ended.

The doubles can be used in-process (class Target) or as a child process:

    python3 -m peers.targets echo|sink|refuse|hold [rate=<bytes>] [period=<ms>]

The child prints "port <n>" and then obeys one command per line on stdin,
answering each with one line "ok ..." or "err ...":

  conns                              -> ok <connections accepted>
  wait conns <n> [<ms>]              wait until n connections were accepted
  wait bytes <conn> <n> [<ms>]       wait until connection conn delivered n bytes
  wait closed <conn> [<ms>]          wait until connection conn has ended
  peer <conn>                        -> ok <a.b.c.d> <port>   (source of the connection)
  received <conn>                    -> ok <byte count>
  data <conn>                        -> ok <hex of the bytes received>  ("-" when none)
  send <conn> <hex>                  write bytes to the connection
  shutdown <conn>                    close the sending side of the connection (end-of-file)
  close <conn>                       close the connection
  reset <conn>                       close the connection with a reset
  quit
"""

import socket
import struct
import sys
import threading
import time

from peers.common import GuardedConnection, Peer, hex_word as _hex, say, serve_commands, unhex_word as _unhex

KINDS = ('echo', 'sink', 'refuse', 'hold')


class TargetConnection(GuardedConnection):
    def __init__(self, target, sock, peer, index):
        self.target = target
        self.sock = sock
        self.peer = peer
        self.index = index
        self.received = bytearray()
        self.count = 0
        self.closed = False
        self.lock = threading.Lock()

    def send(self, data):
        return self._write(lambda: self.sock.sendall(data))

    def shutdown_write(self):
        return self._write(lambda: self.sock.shutdown(socket.SHUT_WR))

    def close(self, reset=False):
        with self.lock:
            if self.closed:
                return
            self.closed = True
            if reset:
                try:
                    self.sock.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack('ii', 1, 0))
                except OSError:
                    pass
            else:
                try:
                    self.sock.shutdown(socket.SHUT_RDWR)
                except OSError:
                    pass
            self.sock.close()
        self.target._changed()

    def _got(self, data):
        with self.target.cond:
            if self.target.keep_data:
                self.received += data
            self.count += len(data)
            self.target.cond.notify_all()

    def run(self):
        kind = self.target.kind
        try:
            if kind == 'hold':
                self.target.release.wait()
                return
            while True:
                try:
                    if kind == 'sink':
                        data = self.sock.recv(self.target.rate)
                    else:
                        data = self.sock.recv(65536)
                except OSError:
                    break
                if not data:
                    if kind == 'echo':
                        self.shutdown_write()
                        # Wait for the other side to finish before letting go.
                        try:
                            while self.sock.recv(65536):
                                pass
                        except OSError:
                            pass
                    break
                self._got(data)
                if kind == 'echo':
                    if not self.send(data):
                        break
                elif kind == 'sink':
                    time.sleep(self.target.period_ms / 1000.0)
        finally:
            self.close()


class Target(Peer):
    """One local target double of the given kind, listening on 127.0.0.1."""

    def __init__(self, kind, rate=4096, period_ms=10, keep_data=True):
        if kind not in KINDS:
            raise ValueError('unknown kind ' + kind)
        self.kind = kind
        self.rate = rate
        self.period_ms = period_ms
        self.keep_data = keep_data
        self.cond = threading.Condition()
        self.connections = []
        self.release = threading.Event()
        self._stopped = False
        self.listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self.listener.bind(('127.0.0.1', 0))
        self.port = self.listener.getsockname()[1]
        if kind == 'refuse':
            # Bound but not listening: the port stays ours and every connect is refused.
            self._thread = None
            return
        self.listener.listen(128)
        self._thread = threading.Thread(target=self._accept_loop, daemon=True)
        self._thread.start()

    def _on_accept(self, sock, peer):
        with self.cond:
            conn = TargetConnection(self, sock, peer, len(self.connections))
            self.connections.append(conn)
            self.cond.notify_all()
        threading.Thread(target=conn.run, daemon=True).start()

    def stop(self):
        if self._stopped:
            return
        self.release.set()
        self._close_all()


# ---- command interface (child-process mode) -------------------------------

def execute(target, words):
    cmd = words[0]
    if cmd == 'conns':
        with target.cond:
            return 'ok %d' % len(target.connections)
    if cmd == 'wait':
        what = words[1]
        try:
            if what == 'conns':
                n = int(words[2])
                ms = int(words[3]) if len(words) > 3 else 3000
                done = target.wait_for(lambda: len(target.connections) >= n, ms)
            elif what == 'bytes':
                ms = int(words[4]) if len(words) > 4 else 3000
                conn = target.connection(int(words[2]), ms)
                n = int(words[3])
                done = target.wait_for(lambda: conn.count >= n, ms)
            elif what == 'closed':
                ms = int(words[3]) if len(words) > 3 else 3000
                conn = target.connection(int(words[2]), ms)
                done = target.wait_for(lambda: conn.closed, ms)
            else:
                return 'err unknown wait'
        except TimeoutError:
            done = False
        return 'ok' if done else 'err timeout'
    conn = target.connection(int(words[1]), 0)
    if cmd == 'peer':
        return 'ok %s %d' % conn.peer
    if cmd == 'received':
        with target.cond:
            return 'ok %d' % conn.count
    if cmd == 'data':
        with target.cond:
            return 'ok ' + _hex(conn.received)
    if cmd == 'send':
        return 'ok' if conn.send(_unhex(words[2])) else 'err closed'
    if cmd == 'shutdown':
        return 'ok' if conn.shutdown_write() else 'err closed'
    if cmd == 'close':
        conn.close()
        return 'ok'
    if cmd == 'reset':
        conn.close(reset=True)
        return 'ok'
    return 'err unknown command'


def main(argv):
    if len(argv) < 2 or argv[1] not in KINDS:
        sys.stderr.write('usage: targets.py echo|sink|refuse|hold [rate=<bytes>] [period=<ms>]\n')
        return 2
    options = {}
    for word in argv[2:]:
        key, _, value = word.partition('=')
        options[key] = int(value)
    target = Target(argv[1], rate=options.get('rate', 4096), period_ms=options.get('period', 10))
    out = sys.stdout
    out.write('port %d\n' % target.port)
    out.flush()
    serve_commands(lambda words: execute(target, words), sys.stdin, out)
    target.stop()
    say(out, 'bye')
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
