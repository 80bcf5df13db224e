"""An engine stand-in for the relay double's self-tests: a loopback connection
that writes and reads raw frames."""

import socket

from peers import relay as R


class FrameClient:
    def __init__(self, port):
        self.sock = socket.create_connection(('127.0.0.1', port), timeout=3)
        self.reader = R.FrameReader()
        self.pending = []

    def send_body(self, body):
        self.sock.sendall(R.frame(body))

    def next_body(self, timeout=3.0):
        self.sock.settimeout(timeout)
        while not self.pending:
            data = self.sock.recv(65536)
            if not data:
                return None
            self.pending.extend(self.reader.feed(data))
        return self.pending.pop(0)

    def close(self):
        self.sock.close()
