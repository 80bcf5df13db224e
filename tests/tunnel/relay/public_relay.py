#!/usr/bin/env python3
"""Public side of the relay double (Python 3 standard library only).

A relay publishes each tunnel on the internet; here every tunnel gets a
"public" listener on 127.0.0.1 with an ephemeral port. Each public connection
accepted there becomes a channel of the tunnel:

* accepted      -> CONNECT (channel id, protocol 2, the public peer's address);
* public bytes  -> DATA, read only as far as the credit the engine granted with
                   WINDOW (at most 65535 bytes per datagram);
* engine DATA   -> written to the public socket; WINDOW with the byte count is
                   returned to the engine as each block is written;
* public end-of-file or reset -> SHUTDOWN to the engine;
* engine SHUTDOWN -> the public socket is closed after the queued bytes.

Channel ids start at 1 and are reused once both sides of a channel are gone.

Fault knobs (commands below): drop the relay connection with FIN or RST, stop
reading from the engine, ignore the engine's credit, send garbage.

Used in-process (class PublicRelay) or as a child process: "python3
public_relay.py" prints "port <n>" and obeys the commands of relay.py plus:

  public <conn>                    -> ok <port>   (wait up to 3 s for the tunnel)
  channels <conn>                  -> ok <open channels of the tunnel>
  wait channels <conn> <n> [<ms>]  wait until the tunnel has exactly n channels
  drop <conn> fin|rst              end the relay connection (orderly or with a reset)
  pause <conn> / resume <conn>     stop / restart reading from the engine
  credit ignore|obey               read public bytes regardless of credit, or not
  garbage <conn> <hex>             raw bytes to the engine, no framing
  stats <conn> <channel>           -> ok <bytes to engine> <bytes from engine> <credit>
"""

import os
import queue
import select
import socket
import struct
import sys
import threading

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import relay as R  # noqa: E402

MAX_DATA = 65535


class Channel:
    def __init__(self, tunnel, channel_id, sock):
        self.tunnel = tunnel
        self.id = channel_id
        self.sock = sock
        self.credit = 0
        self.cond = threading.Condition()
        self.to_engine = 0        # public bytes sent as DATA
        self.from_engine = 0      # engine bytes written to the public socket
        self.public_done = False  # public end-of-file or error seen
        self.engine_done = False  # engine SHUTDOWN seen
        self.closed = False
        self.writes = queue.Queue()

    def start(self):
        threading.Thread(target=self._read_public, daemon=True).start()
        threading.Thread(target=self._write_public, daemon=True).start()

    # engine -> channel
    def on_data(self, payload):
        self.writes.put(payload)

    def on_window(self, credit):
        with self.cond:
            self.credit += credit
            self.cond.notify_all()

    def on_shutdown(self):
        with self.cond:
            self.engine_done = True
            self.cond.notify_all()
        self.writes.put(None)

    # threads
    def _public_ended(self):
        """Without credit nothing is read, but an end-of-file is still noticed."""
        try:
            readable, _, _ = select.select([self.sock], [], [], 0)
            return bool(readable) and self.sock.recv(1, socket.MSG_PEEK) == b''
        except (OSError, ValueError):
            return True

    def _read_public(self):
        conn = self.tunnel.conn
        while True:
            ended = False
            with self.cond:
                while (not self.closed and not self.engine_done and self.credit <= 0
                       and not self.tunnel.relay.ignore_credit):
                    self.cond.wait(0.02)
                    if self._public_ended():
                        ended = True
                        break
                if self.closed or self.engine_done:
                    break
                want = MAX_DATA if self.tunnel.relay.ignore_credit else min(max(self.credit, 1), MAX_DATA)
            if ended:
                data = b''
            else:
                try:
                    data = self.sock.recv(want)
                except OSError:
                    data = b''
            if not data:
                with self.cond:
                    already = self.engine_done or self.closed
                    self.public_done = True
                    self.cond.notify_all()
                if not already:
                    conn.send_body(R.datagram_body(R.dg_shutdown(self.id)))
                self.tunnel._maybe_release(self)
                return
            with self.cond:
                self.credit -= len(data)
                self.to_engine += len(data)
                self.cond.notify_all()
            conn.send_body(R.datagram_body(R.dg_data(self.id, data)))

    def _write_public(self):
        conn = self.tunnel.conn
        while True:
            payload = self.writes.get()
            if payload is None:
                break
            try:
                self.sock.sendall(payload)
            except OSError:
                continue
            with self.cond:
                self.from_engine += len(payload)
                self.cond.notify_all()
            conn.send_body(R.datagram_body(R.dg_window(self.id, len(payload))))
        # The engine closed the channel: the public connection ends.
        self.close()
        self.tunnel._maybe_release(self)

    def close(self):
        with self.cond:
            if self.closed:
                return
            self.closed = True
            self.cond.notify_all()
        try:
            self.sock.shutdown(socket.SHUT_RDWR)
        except OSError:
            pass
        self.sock.close()


class Tunnel:
    """The public listener and the channels of one relay connection."""

    def __init__(self, relay, conn):
        self.relay = relay
        self.conn = conn
        self.channels = {}
        self.lock = threading.Lock()
        self.listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self.listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self.listener.bind(('127.0.0.1', 0))
        self.listener.listen(128)
        self.port = self.listener.getsockname()[1]
        threading.Thread(target=self._accept_loop, daemon=True).start()

    def _accept_loop(self):
        while True:
            try:
                sock, peer = self.listener.accept()
            except OSError:
                return
            sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
            with self.lock:
                channel_id = 1
                while channel_id in self.channels:
                    channel_id += 1
                channel = Channel(self, channel_id, sock)
                self.channels[channel_id] = channel
            self.relay._changed()
            self.conn.send_body(R.datagram_body(R.dg_connect(channel_id, 2, peer[0], peer[1])))
            channel.start()

    def _maybe_release(self, channel):
        with channel.cond:
            gone = channel.engine_done or (channel.closed and channel.public_done)
        if not gone:
            return
        channel.close()
        with self.lock:
            if self.channels.get(channel.id) is channel:
                del self.channels[channel.id]
        self.relay._changed()

    def on_datagram(self, datagram):
        parsed = R.parse_datagram(datagram)
        if parsed is None:
            return
        with self.lock:
            channel = self.channels.get(parsed[1])
        if channel is None:
            return
        if parsed[0] == 'data':
            channel.on_data(parsed[2])
        elif parsed[0] == 'window':
            channel.on_window(parsed[2])
        elif parsed[0] == 'shutdown':
            channel.on_shutdown()

    def count(self):
        with self.lock:
            return len(self.channels)

    def close(self):
        try:
            self.listener.shutdown(socket.SHUT_RDWR)
        except OSError:
            pass
        self.listener.close()
        with self.lock:
            channels = list(self.channels.values())
            self.channels.clear()
        for channel in channels:
            channel.close()
            channel.writes.put(None)


class PublicConnection(R.Connection):
    def __init__(self, relay, sock, index):
        super().__init__(relay, sock, index)
        self.tunnel = None
        self.reading = threading.Event()
        self.reading.set()

    def _handle(self, body):
        # A paused connection stops reading here, so the engine's bytes pile up.
        self.reading.wait()
        if len(body) >= 2 and body[0] == R.VERSION and body[1] == R.KIND_DATAGRAM:
            if self.tunnel is not None:
                self.tunnel.on_datagram(body[2:])
            return
        if len(body) >= 2 and body[0] == R.VERSION and body[1] == R.KIND_DICT:
            request, _ = R.decode_dict(body[2:])
            if (request.get(b'@') == b'call' and request.get(b'method') == b'tunnel_create'
                    and self.relay.behaviour('tunnel_create').mode == 'ok' and self.tunnel is None):
                tunnel = Tunnel(self.relay, self)
                with self.relay.cond:
                    self.tunnel = tunnel
                    self.relay.cond.notify_all()
        super()._handle(body)

    def drop(self, reset):
        if not reset:
            self.close()
            return
        with self.send_lock:
            if self.closed:
                return
            self.closed = True
            try:
                self.sock.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack('ii', 1, 0))
                # Wakes the reading thread without sending a FIN; the close
                # then resets the connection.
                self.sock.shutdown(socket.SHUT_RD)
            except OSError:
                pass
            self.sock.close()
        self._after_close()

    def close(self):
        super().close()
        self._after_close()

    def _after_close(self):
        self.relay._changed()
        self.reading.set()
        if self.tunnel is not None:
            self.tunnel.close()


class PublicRelay(R.Relay):
    def __init__(self):
        self.ignore_credit = False
        super().__init__()

    def _accept_loop(self):
        while True:
            try:
                sock, _ = self.listener.accept()
            except OSError:
                return
            sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
            with self.cond:
                conn = PublicConnection(self, sock, len(self.connections))
                self.connections.append(conn)
                close_now = self.close_on_accept
                self.cond.notify_all()
            if close_now:
                conn.close()
                continue
            threading.Thread(target=conn.run, daemon=True).start()

    def tunnel(self, index, timeout_ms=3000):
        conn = self.connection(index, timeout_ms)
        if not self.wait_for(lambda: conn.tunnel is not None, timeout_ms):
            raise TimeoutError('no tunnel on connection %d' % index)
        return conn.tunnel


def execute(relay, words):
    cmd = words[0]
    try:
        if cmd == 'public':
            return 'ok %d' % relay.tunnel(int(words[1])).port
        if cmd == 'channels':
            return 'ok %d' % relay.tunnel(int(words[1]), 0).count()
        if cmd == 'wait' and words[1] == 'channels':
            tunnel = relay.tunnel(int(words[2]))
            n = int(words[3])
            ms = int(words[4]) if len(words) > 4 else 3000
            return 'ok' if relay.wait_for(lambda: tunnel.count() == n, ms) else 'err timeout'
        if cmd == 'drop':
            relay.connection(int(words[1]), 0).drop(words[2] == 'rst')
            return 'ok'
        if cmd == 'pause':
            relay.connection(int(words[1]), 0).reading.clear()
            return 'ok'
        if cmd == 'resume':
            relay.connection(int(words[1]), 0).reading.set()
            return 'ok'
        if cmd == 'credit':
            relay.ignore_credit = words[1] == 'ignore'
            with relay.cond:
                conns = list(relay.connections)
            for conn in conns:
                if conn.tunnel is not None:
                    with conn.tunnel.lock:
                        channels = list(conn.tunnel.channels.values())
                    for channel in channels:
                        with channel.cond:
                            channel.cond.notify_all()
            return 'ok'
        if cmd == 'garbage':
            sent = relay.connection(int(words[1]), 0).send_raw(R._unhex(words[2]))
            return 'ok' if sent else 'err closed'
        if cmd == 'stats':
            tunnel = relay.tunnel(int(words[1]), 0)
            with tunnel.lock:
                channel = tunnel.channels.get(int(words[2]))
            if channel is None:
                return 'err no channel'
            with channel.cond:
                return 'ok %d %d %d' % (channel.to_engine, channel.from_engine, channel.credit)
    except TimeoutError as exc:
        return 'err ' + str(exc)
    return R.execute(relay, words)


def main():
    relay = PublicRelay()
    out = sys.stdout
    out.write('port %d\n' % relay.port)
    out.flush()
    for line in sys.stdin:
        words = line.split()
        if not words:
            continue
        if words[0] == 'quit':
            break
        try:
            answer = execute(relay, words)
        except (IndexError, ValueError, TimeoutError) as exc:
            answer = 'err ' + type(exc).__name__
        out.write(answer + '\n')
        out.flush()
    relay.stop()
    try:
        out.write('bye\n')
        out.flush()
    except BrokenPipeError:
        pass


if __name__ == '__main__':
    main()
