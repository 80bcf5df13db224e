"""Pieces shared by the Python test doubles (relay, local targets) and their
self-tests: waiting on a peer's state, the hex words of the command interface,
the stdin command loop, and small socket and child-process helpers.

Python 3 standard library only. The doubles form the package "peers" below
tests/: run them as modules (python3 -m peers.relay) with tests/ on PYTHONPATH;
ChildPeer sets that up for the children it starts."""

import os
import socket
import subprocess
import sys
import time


def listen_loopback(backlog, port=0):
    """A listening TCP socket on 127.0.0.1, on port or one the system picks;
    raises OSError when the port is taken."""
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    try:
        listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        listener.bind(('127.0.0.1', port))
        listener.listen(backlog)
    except OSError:
        listener.close()
        raise
    return listener


def accept_forever(listener, on_accept):
    """Hands every accepted (socket, peer address) to on_accept until the listener is closed."""
    while True:
        try:
            sock, peer = listener.accept()
        except OSError:
            return
        on_accept(sock, peer)


class GuardedConnection:
    """A connection whose writes are serialised under `lock` and refused once
    `closed` is set; each write says whether it went out."""

    def _write(self, action):
        with self.lock:
            if self.closed:
                return False
            try:
                action()
                return True
            except OSError:
                return False


class Peer:
    """A listening double with a condition `cond` guarding `connections` and a
    `listener` socket; subclasses handle each accepted socket in _on_accept."""

    def _changed(self):
        with self.cond:
            self.cond.notify_all()

    def _accept_loop(self):
        accept_forever(self.listener, self._on_accept)

    def _on_accept(self, sock, peer):
        raise NotImplementedError

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

    def _close_all(self):
        """Closes the listener, then every connection; False when already stopped."""
        if self._stopped:
            return False
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
        return True


# ---- command interface ------------------------------------------------------

def hex_word(data):
    """Bytes as a command word: hex, or "-" when empty."""
    return bytes(data).hex() if data else '-'


def unhex_word(text):
    return b'' if text == '-' else bytes.fromhex(text)


def serve_commands(answer, inp=None, out=None):
    """Answers one command line after another until "quit" or end of input.
    answer(words) gives the answer line; IndexError, ValueError and TimeoutError
    become "err <name>"."""
    inp = sys.stdin if inp is None else inp
    out = sys.stdout if out is None else out
    for line in inp:
        words = line.split()
        if not words:
            continue
        if words[0] == 'quit':
            break
        try:
            text = answer(words)
        except (IndexError, ValueError, TimeoutError) as exc:
            text = 'err ' + type(exc).__name__
        out.write(text + '\n')
        out.flush()


def say(out, line):
    """Writes one line, ignoring a reader that went away."""
    try:
        out.write(line + '\n')
        out.flush()
    except BrokenPipeError:
        pass  # the test program did not wait for the answer


# ---- helpers of the self-tests ----------------------------------------------

def recv_exactly(sock, n, timeout=3.0):
    sock.settimeout(timeout)
    out = bytearray()
    while len(out) < n:
        data = sock.recv(n - len(out))
        if not data:
            break
        out += data
    return bytes(out)


def is_closed(sock, timeout=3.0):
    sock.settimeout(timeout)
    try:
        return sock.recv(1) == b''
    except ConnectionResetError:
        return True


# The folder that holds the package (tests/), for the children's module path.
TESTS_DIR = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def child_environment():
    """This process's environment with tests/ first on PYTHONPATH."""
    env = dict(os.environ)
    env['PYTHONPATH'] = os.pathsep.join(p for p in (TESTS_DIR, env.get('PYTHONPATH')) if p)
    return env


class ChildPeer:
    """A double run as a child process (python3 -m <module> args...), driven
    through its command lines."""

    def __init__(self, module, *args, text=True):
        self.proc = subprocess.Popen([sys.executable, '-m', module] + list(args), env=child_environment(),
                                     stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=text)

    def readline(self):
        return self.proc.stdout.readline()

    def command(self, line):
        self.proc.stdin.write(line + '\n')
        self.proc.stdin.flush()
        return self.proc.stdout.readline().strip()

    def close(self):
        self.proc.stdin.close()
        self.proc.wait(timeout=5)
        self.proc.stdout.close()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()
        return False
