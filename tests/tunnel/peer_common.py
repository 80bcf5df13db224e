"""Pieces shared by the Python test doubles (relay, local targets) and their
self-tests: waiting on a peer's state, the hex words of the command interface,
the stdin command loop, and small socket and child-process helpers.

Python 3 standard library only. The doubles import it by putting this folder
on sys.path, so they work as child processes started from any directory."""

import socket
import subprocess
import sys
import time


class Peer:
    """A listening double with a condition `cond` guarding `connections` and a
    `listener` socket; subclasses handle each accepted socket in _on_accept."""

    def _changed(self):
        with self.cond:
            self.cond.notify_all()

    def _accept_loop(self):
        while True:
            try:
                sock, peer = self.listener.accept()
            except OSError:
                return
            self._on_accept(sock, peer)

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


class ChildPeer:
    """A double run as a child process (python3 <script> args...), driven
    through its command lines."""

    def __init__(self, script, *args):
        self.proc = subprocess.Popen([sys.executable, script] + list(args),
                                     stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)

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
