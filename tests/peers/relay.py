#!/usr/bin/env python3
"""Relay server double for the tunnel engine tests (Python 3 standard library only).

Wire formats, written from the protocol description and independent of the C++ codecs:

* frame: int32 little-endian size (= 4 + body length), then the body;
* body: version byte 0x01, kind byte (0x01 dictionary, 0x02 tunnel datagram), payload;
* dictionary: entries back to back, each "key UTF-8, 0x00, int32 LE value length, value";
* rpc: a call carries "@" = "call" and "method"; a reply carries "@" = "return",
  and "error_code" (decimal text) plus "error_msg" when the call failed;
* tunnel datagrams (little-endian integers, channel id 16 bits):
  CONNECT  01 | id | protocol(1) | peer IPv4 as a host-order uint32 | port(2)
  SHUTDOWN 03 | id
  DATA     04 | id | length(2) | payload
  WINDOW   05 | id | credit (int32)

The relay listens on 127.0.0.1 with an ephemeral port. It can be used in-process
(class Relay) or as a child process (python3 -m peers.relay): the child prints
"port <n>" on stdout and then obeys one command per line on stdin, answering
each with one line "ok ..." or "err ...". Commands:

  reply <method> ok [delay=<ms>] [close]        answer with {"@": "return"}
  reply <method> error <code> <msghex> [delay=<ms>] [close]
  reply <method> never                          record the call, never answer
  reply <method> drop                           close the connection on the call
  accept normal|close                           close each new connection at once
  conns                                         -> ok <connections accepted>
  wait conns <n> [<ms>]                         wait until n connections were accepted
  wait frames <conn> <n> [<ms>]                 wait until connection conn sent n frames
  wait closed <conn> [<ms>]                     wait until connection conn is closed
  frames <conn>                                 -> ok <bodyhex> ... (every frame received)
  raw <conn> <hex>                              send raw bytes (no framing)
  frame <conn> <bodyhex>                        send one frame with that body
  dict <conn> <key> <valuehex> ...              send one kind-1 dictionary frame
  datagram <conn> <hex>                         send one kind-2 frame with that datagram
  connect <conn> <channel> <proto> <a.b.c.d> <port>
  data <conn> <channel> <hex>
  window <conn> <channel> <credit>
  shutdown <conn> <channel>
  close <conn>                                  close one connection
  public <conn>                                 -> ok <port> of the tunnel's public listener
  tunnel                                        -> ok <conn> <port> of the newest tunnel
  channels <conn>                               -> ok <open public channels of the tunnel>
  wait channels <conn> <n> [<ms>]               wait until the tunnel has exactly n channels
  drop <conn> fin|rst                           end the connection (orderly or with a reset)
  pause <conn> / resume <conn>                  stop / restart reading from the engine
  credit ignore|obey                            read public bytes regardless of credit, or not
  garbage <conn> <hex>                          raw bytes to the engine (same as raw)
  stats <conn> <channel>                        -> ok <bytes to engine> <bytes from engine>
                                                   <credit> <engine DATA frames beyond credit>
  initial <n>                                   credit granted to the engine with each CONNECT
  book <file>|-                                 public ports by access key from that port book
                                                (written by the cloud double), or none
  listen                                        -> ok <id> <port>: one more relay in this process
  stop                                          stop the selected relay (its port closes)
  quit

Relay 0 is the one whose port is printed first. A command prefixed with
"@<id> " goes to relay <id>; without a prefix it goes to relay 0.

Public side: a connection whose "tunnel_create" is answered with success gets a
"public" listener on 127.0.0.1: on the port booked for the call's "access_id"
when a port book is set (a JSON object {access_key: port}, read at each
tunnel_create), else, and when that port cannot be had (said on stderr), on an
ephemeral port. Each public connection
accepted there becomes a channel of the tunnel (ids from 1, reused once free):
accepted -> CONNECT (protocol 2, the public peer's address) and WINDOW with the
initial credit (0x20000, "initial" changes it); public bytes ->
DATA, read only as far as the engine's WINDOW credit allows (at most 65535 per
datagram); engine DATA -> written to the public socket, WINDOW with the count
returned as each block is written; public end-of-file or reset -> SHUTDOWN to
the engine; engine SHUTDOWN -> the public socket is closed after the queued bytes.

An empty hex text is written as "-". Connections are numbered from 0 in order of acceptance.
"""

import json
import queue
import select
import socket
import struct
import sys
import threading
import time

from peers.common import (GuardedConnection, Peer, accept_forever, hex_word as _hex, listen_loopback, say,
                          serve_commands, unhex_word as _unhex)

VERSION = 0x01
KIND_DICT = 0x01
KIND_DATAGRAM = 0x02

ACTION_CONNECT = 1
ACTION_SHUTDOWN = 3
ACTION_DATA = 4
ACTION_WINDOW = 5


# ---- wire formats ---------------------------------------------------------

def frame(body):
    return struct.pack('<i', len(body) + 4) + body


def encode_dict(entries):
    """entries: dict or list of (key, value); keys str or bytes, values bytes or str.
    Dicts are written in the engine's key order (UTF-16LE byte order), lists as given."""
    if isinstance(entries, dict):
        items = sorted(entries.items(), key=lambda kv: _key_order(kv[0]))
    else:
        items = list(entries)
    out = bytearray()
    for key, value in items:
        kb = key.encode('utf-8') if isinstance(key, str) else bytes(key)
        vb = value.encode('utf-8') if isinstance(value, str) else bytes(value)
        out += kb + b'\x00' + struct.pack('<i', len(vb)) + vb
    return bytes(out)


def _key_order(key):
    text = key if isinstance(key, str) else key.decode('utf-8', 'replace')
    return text.encode('utf-16-le')


def decode_dict(data):
    """Returns (dict of bytes -> bytes, complete): complete is False when the data
    does not decode to its end."""
    out = {}
    pos = 0
    while pos < len(data):
        end = data.find(b'\x00', pos)
        if end < 0 or len(data) - (end + 1) < 4:
            return out, False
        (length,) = struct.unpack_from('<i', data, end + 1)
        start = end + 5
        if length < 0 or len(data) - start < length:
            return out, False
        out[bytes(data[pos:end])] = bytes(data[start:start + length])
        pos = start + length
    return out, True


def dict_body(entries):
    return bytes([VERSION, KIND_DICT]) + encode_dict(entries)


def datagram_body(datagram):
    return bytes([VERSION, KIND_DATAGRAM]) + datagram


def ip_value(text):
    a, b, c, d = (int(x) for x in text.split('.'))
    return (a << 24) | (b << 16) | (c << 8) | d


def dg_connect(channel, protocol, ip, port):
    return struct.pack('<BHBIH', ACTION_CONNECT, channel & 0xFFFF, protocol, ip_value(ip), port)


def dg_shutdown(channel):
    return struct.pack('<BH', ACTION_SHUTDOWN, channel & 0xFFFF)


def dg_data(channel, payload):
    return struct.pack('<BHH', ACTION_DATA, channel & 0xFFFF, len(payload)) + payload


def dg_window(channel, credit):
    return struct.pack('<BHi', ACTION_WINDOW, channel & 0xFFFF, credit)


def parse_datagram(dg):
    """Decodes one tunnel datagram into a tuple, or None when it is malformed."""
    if len(dg) < 3:
        return None
    kind = dg[0]
    (channel,) = struct.unpack_from('<H', dg, 1)
    if kind == ACTION_CONNECT and len(dg) >= 10:
        _, _, proto, ip, port = struct.unpack_from('<BHBIH', dg, 0)
        return ('connect', channel, proto, ip, port)
    if kind == ACTION_SHUTDOWN:
        return ('shutdown', channel)
    if kind == ACTION_DATA and len(dg) >= 5:
        (n,) = struct.unpack_from('<H', dg, 3)
        if len(dg) >= n + 5:
            return ('data', channel, bytes(dg[5:5 + n]))
        return None
    if kind == ACTION_WINDOW and len(dg) >= 7:
        (credit,) = struct.unpack_from('<i', dg, 3)
        return ('window', channel, credit)
    return None


class FrameReader:
    """Cuts frames out of a byte stream. A size below 4 is a protocol violation."""

    def __init__(self):
        self.buf = bytearray()
        self.bad = False

    def feed(self, data):
        self.buf += data
        bodies = []
        while len(self.buf) >= 4:
            (size,) = struct.unpack_from('<i', self.buf, 0)
            if size < 4:
                self.bad = True
                break
            if len(self.buf) < size:
                break
            bodies.append(bytes(self.buf[4:size]))
            del self.buf[:size]
        return bodies


# ---- the relay -------------------------------------------------------------

class Behaviour:
    def __init__(self, mode='ok', code=b'', msg=b'', delay_ms=0, close=False):
        self.mode = mode          # ok | error | never | drop
        self.code = code
        self.msg = msg
        self.delay_ms = delay_ms
        self.close = close


# ---- public side ----------------------------------------------------------

MAX_DATA = 65535


class Channel:
    def __init__(self, tunnel, channel_id, sock):
        self.tunnel = tunnel
        self.id = channel_id
        self.sock = sock
        self.credit = 0
        self.cond = threading.Condition()
        self.to_engine = 0        # public bytes sent as DATA
        self.granted = tunnel.relay.initial_window  # credit given to the engine
        self.received = 0         # engine DATA bytes received
        self.violations = 0       # engine DATA beyond the credit given
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
        with self.cond:
            self.received += len(payload)
            if self.received > self.granted:
                self.violations += 1
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
                    conn.send_body(datagram_body(dg_shutdown(self.id)))
                self.tunnel._maybe_release(self)
                return
            with self.cond:
                self.credit -= len(data)
                self.to_engine += len(data)
                self.cond.notify_all()
            conn.send_body(datagram_body(dg_data(self.id, data)))

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
                self.granted += len(payload)
                self.cond.notify_all()
            conn.send_body(datagram_body(dg_window(self.id, len(payload))))
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

    def __init__(self, relay, conn, access_id):
        self.relay = relay
        self.conn = conn
        self.channels = {}
        self.lock = threading.Lock()
        self.listener = self._listen(relay.booked_port(access_id))
        self.port = self.listener.getsockname()[1]
        threading.Thread(target=accept_forever, args=(self.listener, self._on_accept), daemon=True).start()

    @staticmethod
    def _listen(port):
        if port:
            try:
                return listen_loopback(128, port)
            except OSError as error:
                sys.stderr.write('relay: booked port %d not available (%s); an ephemeral one instead\n'
                                 % (port, error))
        return listen_loopback(128)

    def _on_accept(self, sock, peer):
        sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        with self.lock:
            channel_id = 1
            while channel_id in self.channels:
                channel_id += 1
            channel = Channel(self, channel_id, sock)
            self.channels[channel_id] = channel
        self.relay._changed()
        self.conn.send_body(datagram_body(dg_connect(channel_id, 2, peer[0], peer[1])))
        if self.relay.initial_window > 0:
            self.conn.send_body(datagram_body(dg_window(channel_id, self.relay.initial_window)))
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
        parsed = parse_datagram(datagram)
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


class Connection(GuardedConnection):
    def __init__(self, relay, sock, index):
        self.relay = relay
        self.sock = sock
        self.index = index
        self.frames = []          # every frame body received, in order
        self.closed = False
        self.lock = threading.Lock()
        self.tunnel = None              # public side, once a tunnel was created
        self.reading = threading.Event()  # cleared: stop reading from the engine
        self.reading.set()

    def send_raw(self, data):
        return self._write(lambda: self.sock.sendall(data))

    def send_body(self, body):
        return self.send_raw(frame(body))

    def close(self):
        with self.lock:
            if self.closed:
                return
            self.closed = True
            try:
                self.sock.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass
            self.sock.close()
        self._after_close()

    def drop(self, reset):
        """Ends the connection: orderly (FIN) or with a reset (RST)."""
        if not reset:
            self.close()
            return
        with self.lock:
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

    def _after_close(self):
        self.relay._changed()
        self.reading.set()
        if self.tunnel is not None:
            self.tunnel.close()

    def run(self):
        reader = FrameReader()
        try:
            while True:
                try:
                    data = self.sock.recv(65536)
                except OSError:
                    break
                if not data:
                    break
                for body in reader.feed(data):
                    with self.relay.cond:
                        self.frames.append(body)
                        self.relay.cond.notify_all()
                    self._handle(body)
                if reader.bad:
                    break
        finally:
            self.close()

    def _handle(self, body):
        # A paused connection stops reading here, so the engine's bytes pile up.
        self.reading.wait()
        if len(body) >= 2 and body[0] == VERSION and body[1] == KIND_DATAGRAM:
            if self.tunnel is not None:
                self.tunnel.on_datagram(body[2:])
            return
        if len(body) >= 2 and body[0] == VERSION and body[1] == KIND_DICT:
            request, complete = decode_dict(body[2:])
            if (complete and request.get(b'@') == b'call' and request.get(b'method') == b'tunnel_create'
                    and self.relay.behaviour('tunnel_create').mode == 'ok' and self.tunnel is None):
                tunnel = Tunnel(self.relay, self, request.get(b'access_id', b''))
                with self.relay.cond:
                    self.tunnel = tunnel
                    self.relay.cond.notify_all()
        if len(body) < 2 or body[0] != VERSION or body[1] != KIND_DICT:
            return
        request, complete = decode_dict(body[2:])
        # Only a well-formed call is answered: a request cut short, with bytes
        # left over or without its method is recorded and otherwise ignored.
        if not complete or request.get(b'@') != b'call' or b'method' not in request:
            return
        method = request[b'method'].decode('utf-8', 'replace')
        behaviour = self.relay.behaviour(method)
        if behaviour.mode == 'never':
            return
        if behaviour.mode == 'drop':
            self.close()
            return
        reply = {'@': b'return'}
        if behaviour.mode == 'error':
            reply['error_code'] = behaviour.code
            if behaviour.msg is not None:
                reply['error_msg'] = behaviour.msg
        payload = dict_body(reply)

        def answer():
            self.send_body(payload)
            if behaviour.close:
                self.close()

        if behaviour.delay_ms > 0:
            timer = threading.Timer(behaviour.delay_ms / 1000.0, answer)
            timer.daemon = True
            timer.start()
        else:
            answer()


class Relay(Peer):
    def __init__(self):
        self.cond = threading.Condition()
        self.behaviours = {}
        self.close_on_accept = False
        self.ignore_credit = False
        self.initial_window = 0x20000
        self.port_book = None           # path of the cloud's port book, or None
        self.connections = []
        self.listener = listen_loopback(64)
        self.port = self.listener.getsockname()[1]
        self._stopped = False
        self._thread = threading.Thread(target=self._accept_loop, daemon=True)
        self._thread.start()

    # configuration
    def set_reply(self, method, behaviour):
        with self.cond:
            self.behaviours[method] = behaviour

    def behaviour(self, method):
        with self.cond:
            return self.behaviours.get(method, Behaviour())

    def booked_port(self, access_id):
        """The port the book names for an access key (bytes), else 0."""
        path = self.port_book
        if not path:
            return 0
        try:
            with open(path, 'r', encoding='utf-8') as f:
                book = json.load(f)
        except (OSError, ValueError):
            return 0
        port = book.get(access_id.decode('utf-8', 'replace')) if isinstance(book, dict) else None
        return port if isinstance(port, int) and 0 < port < 65536 else 0

    def _on_accept(self, sock, _peer):
        sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        with self.cond:
            conn = Connection(self, sock, len(self.connections))
            self.connections.append(conn)
            close_now = self.close_on_accept
            self.cond.notify_all()
        if close_now:
            conn.close()
            return
        threading.Thread(target=conn.run, daemon=True).start()

    # waiting (wait_for, connection: see Peer)
    def tunnel(self, index, timeout_ms=3000):
        conn = self.connection(index, timeout_ms)
        if not self.wait_for(lambda: conn.tunnel is not None, timeout_ms):
            raise TimeoutError('no tunnel on connection %d' % index)
        return conn.tunnel

    def wait_frames(self, index, count, timeout_ms=3000):
        conn = self.connection(index, timeout_ms)
        return self.wait_for(lambda: len(conn.frames) >= count, timeout_ms)

    def stop(self):
        self._close_all()


# ---- command interface (child-process mode) -------------------------------

def _options(words):
    delay, close = 0, False
    for w in words:
        if w.startswith('delay='):
            delay = int(w[6:])
        elif w == 'close':
            close = True
        else:
            raise ValueError('unknown option ' + w)
    return delay, close


def execute(relay, words):
    """Runs one command; returns the answer line without its newline."""
    answer = _execute_public(relay, words)
    if answer is not None:
        return answer
    return _execute_relay(relay, words)


def _execute_public(relay, words):
    """The public side's commands; None for any other command."""
    cmd = words[0]
    try:
        if cmd == 'tunnel':
            with relay.cond:
                found = [c for c in relay.connections if c.tunnel is not None]
            if not found:
                return 'err no tunnel'
            return 'ok %d %d' % (found[-1].index, found[-1].tunnel.port)
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
            sent = relay.connection(int(words[1]), 0).send_raw(_unhex(words[2]))
            return 'ok' if sent else 'err closed'
        if cmd == 'stats':
            tunnel = relay.tunnel(int(words[1]), 0)
            with tunnel.lock:
                channel = tunnel.channels.get(int(words[2]))
            if channel is None:
                return 'err no channel'
            with channel.cond:
                return 'ok %d %d %d %d' % (channel.to_engine, channel.from_engine, channel.credit,
                                           channel.violations)
        if cmd == 'initial':
            relay.initial_window = int(words[1])
            return 'ok'
    except TimeoutError as exc:
        return 'err ' + str(exc)
    return None


def _execute_relay(relay, words):
    cmd = words[0]
    if cmd == 'reply':
        method, mode = words[1], words[2]
        if mode == 'ok':
            delay, close = _options(words[3:])
            relay.set_reply(method, Behaviour('ok', delay_ms=delay, close=close))
        elif mode == 'error':
            delay, close = _options(words[5:])
            relay.set_reply(method, Behaviour('error', words[3].encode('utf-8'),
                                              _unhex(words[4]), delay, close))
        elif mode in ('never', 'drop'):
            relay.set_reply(method, Behaviour(mode))
        else:
            return 'err unknown mode'
        return 'ok'
    if cmd == 'book':
        path = ' '.join(words[1:])  # a path may hold blanks
        relay.port_book = None if path == '-' else path
        return 'ok'
    if cmd == 'accept':
        relay.close_on_accept = words[1] == 'close'
        return 'ok'
    if cmd == 'conns':
        with relay.cond:
            return 'ok %d' % len(relay.connections)
    if cmd == 'wait':
        what = words[1]
        if what == 'conns':
            n = int(words[2])
            ms = int(words[3]) if len(words) > 3 else 3000
            done = relay.wait_for(lambda: len(relay.connections) >= n, ms)
        elif what == 'frames':
            ms = int(words[4]) if len(words) > 4 else 3000
            try:
                done = relay.wait_frames(int(words[2]), int(words[3]), ms)
            except TimeoutError:
                done = False
        elif what == 'closed':
            ms = int(words[3]) if len(words) > 3 else 3000
            try:
                conn = relay.connection(int(words[2]), ms)
                done = relay.wait_for(lambda: conn.closed, ms)
            except TimeoutError:
                done = False
        else:
            return 'err unknown wait'
        return 'ok' if done else 'err timeout'
    if cmd == 'frames':
        conn = relay.connection(int(words[1]))
        with relay.cond:
            bodies = list(conn.frames)
        return ' '.join(['ok'] + [_hex(b) for b in bodies])
    if cmd == 'close':
        relay.connection(int(words[1])).close()
        return 'ok'
    conn = relay.connection(int(words[1]))
    if cmd == 'raw':
        sent = conn.send_raw(_unhex(words[2]))
    elif cmd == 'frame':
        sent = conn.send_body(_unhex(words[2]))
    elif cmd == 'dict':
        pairs = words[2:]
        entries = [(pairs[i], _unhex(pairs[i + 1])) for i in range(0, len(pairs), 2)]
        sent = conn.send_body(dict_body(entries))
    elif cmd == 'datagram':
        sent = conn.send_body(datagram_body(_unhex(words[2])))
    elif cmd == 'connect':
        sent = conn.send_body(datagram_body(
            dg_connect(int(words[2]), int(words[3]), words[4], int(words[5]))))
    elif cmd == 'data':
        sent = conn.send_body(datagram_body(dg_data(int(words[2]), _unhex(words[3]))))
    elif cmd == 'window':
        sent = conn.send_body(datagram_body(dg_window(int(words[2]), int(words[3]))))
    elif cmd == 'shutdown':
        sent = conn.send_body(datagram_body(dg_shutdown(int(words[2]))))
    else:
        return 'err unknown command'
    return 'ok' if sent else 'err closed'


def main():
    relays = {0: Relay()}
    next_id = 1
    out = sys.stdout
    out.write('port %d\n' % relays[0].port)
    out.flush()

    def answer(words):
        nonlocal next_id
        target = 0
        if words[0].startswith('@'):
            target = int(words[0][1:])
            words = words[1:]
        if words[0] == 'listen':
            relays[next_id] = Relay()
            line = 'ok %d %d' % (next_id, relays[next_id].port)
            next_id += 1
            return line
        if target not in relays:
            return 'err no relay'
        if words[0] == 'stop':
            relays.pop(target).stop()
            return 'ok'
        return execute(relays[target], words)

    serve_commands(answer, sys.stdin, out)
    for relay in relays.values():
        relay.stop()
    say(out, 'bye')


if __name__ == '__main__':
    main()
