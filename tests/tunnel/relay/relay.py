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
(class Relay) or as a child process (python3 relay.py): the child prints
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
  listen                                        -> ok <id> <port>: one more relay in this process
  stop                                          stop the selected relay (its port closes)
  quit

Relay 0 is the one whose port is printed first. A command prefixed with
"@<id> " goes to relay <id>; without a prefix it goes to relay 0.

An empty hex text is written as "-". Connections are numbered from 0 in order of acceptance.
"""

import socket
import struct
import sys
import threading
import time

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


class Connection:
    def __init__(self, relay, sock, index):
        self.relay = relay
        self.sock = sock
        self.index = index
        self.frames = []          # every frame body received, in order
        self.closed = False
        self.send_lock = threading.Lock()

    def send_raw(self, data):
        with self.send_lock:
            if self.closed:
                return False
            try:
                self.sock.sendall(data)
                return True
            except OSError:
                return False

    def send_body(self, body):
        return self.send_raw(frame(body))

    def close(self):
        with self.send_lock:
            if self.closed:
                return
            self.closed = True
            try:
                self.sock.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass
            self.sock.close()
        self.relay._changed()

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


class Relay:
    def __init__(self):
        self.cond = threading.Condition()
        self.behaviours = {}
        self.close_on_accept = False
        self.connections = []
        self.listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self.listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self.listener.bind(('127.0.0.1', 0))
        self.listener.listen(64)
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

    def _changed(self):
        with self.cond:
            self.cond.notify_all()

    def _accept_loop(self):
        while True:
            try:
                sock, _ = self.listener.accept()
            except OSError:
                return
            sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
            with self.cond:
                conn = Connection(self, sock, len(self.connections))
                self.connections.append(conn)
                close_now = self.close_on_accept
                self.cond.notify_all()
            if close_now:
                conn.close()
                continue
            threading.Thread(target=conn.run, daemon=True).start()

    # waiting
    def wait_for(self, predicate, timeout_ms=3000):
        deadline = time.monotonic() + timeout_ms / 1000.0
        with self.cond:
            while not predicate():
                left = deadline - time.monotonic()
                if left <= 0:
                    return False
                self.cond.wait(left)
            return True

    def connection(self, index, timeout_ms=3000):
        if not self.wait_for(lambda: len(self.connections) > index, timeout_ms):
            raise TimeoutError('no connection %d' % index)
        return self.connections[index]

    def wait_frames(self, index, count, timeout_ms=3000):
        conn = self.connection(index, timeout_ms)
        return self.wait_for(lambda: len(conn.frames) >= count, timeout_ms)

    def stop(self):
        if self._stopped:
            return
        self._stopped = True
        try:
            self.listener.shutdown(socket.SHUT_RDWR)
        except OSError:
            pass
        self.listener.close()
        with self.cond:
            conns = list(self.connections)
        for conn in conns:
            conn.close()


# ---- command interface (child-process mode) -------------------------------

def _unhex(text):
    return b'' if text == '-' else bytes.fromhex(text)


def _hex(data):
    return data.hex() if data else '-'


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
    for line in sys.stdin:
        words = line.split()
        if not words:
            continue
        if words[0] == 'quit':
            break
        try:
            target = 0
            if words[0].startswith('@'):
                target = int(words[0][1:])
                words = words[1:]
            if words[0] == 'listen':
                relays[next_id] = Relay()
                answer = 'ok %d %d' % (next_id, relays[next_id].port)
                next_id += 1
            elif target not in relays:
                answer = 'err no relay'
            elif words[0] == 'stop':
                relays.pop(target).stop()
                answer = 'ok'
            else:
                answer = execute(relays[target], words)
        except (IndexError, ValueError, TimeoutError) as exc:
            answer = 'err ' + type(exc).__name__
        out.write(answer + '\n')
        out.flush()
    for relay in relays.values():
        relay.stop()
    out.write('bye\n')
    out.flush()


if __name__ == '__main__':
    main()
