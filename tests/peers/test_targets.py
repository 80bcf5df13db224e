#!/usr/bin/env python3
"""Self-tests of the local target doubles."""

import socket
import time
import unittest

from peers import targets as T
from peers.common import ChildPeer, is_closed, recv_exactly


class EchoTest(unittest.TestCase):
    def setUp(self):
        self.target = T.Target('echo')

    def tearDown(self):
        self.target.stop()

    def test_echoes_bytes_and_records_the_peer(self):
        with socket.create_connection(('127.0.0.1', self.target.port), timeout=3) as s:
            payload = bytes(range(256)) * 1024
            s.sendall(payload)
            self.assertEqual(recv_exactly(s, len(payload)), payload)
            conn = self.target.connection(0)
            self.assertEqual(conn.peer, s.getsockname())
            self.assertTrue(self.target.wait_for(lambda: conn.count == len(payload)))
            self.assertEqual(bytes(conn.received), payload)

    def test_end_of_file_is_answered_by_end_of_file(self):
        with socket.create_connection(('127.0.0.1', self.target.port), timeout=3) as s:
            s.sendall(b'last words')
            s.shutdown(socket.SHUT_WR)
            self.assertEqual(recv_exactly(s, 10), b'last words')
            self.assertTrue(is_closed(s))
        conn = self.target.connection(0)
        self.assertTrue(self.target.wait_for(lambda: conn.closed))

    def test_connection_from_another_loopback_source_address(self):
        s = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        try:
            s.bind(('127.9.8.7', 0))
            s.connect(('127.0.0.1', self.target.port))
            s.sendall(b'x')
            self.assertEqual(recv_exactly(s, 1), b'x')
            self.assertEqual(self.target.connection(0).peer[0], '127.9.8.7')
        finally:
            s.close()


class SinkTest(unittest.TestCase):
    def test_reads_slowly_and_counts(self):
        target = T.Target('sink', rate=1000, period_ms=20)
        try:
            with socket.create_connection(('127.0.0.1', target.port), timeout=3) as s:
                s.sendall(b'a' * 5000)
                conn = target.connection(0)
                start = time.monotonic()
                self.assertTrue(target.wait_for(lambda: conn.count == 5000))
                # Five reads of at most 1000 bytes, 20 ms apart.
                self.assertGreaterEqual(time.monotonic() - start, 0.06)
        finally:
            target.stop()

    def test_back_pressure_reaches_the_sender(self):
        target = T.Target('sink', rate=1, period_ms=1000, keep_data=False)
        try:
            with socket.create_connection(('127.0.0.1', target.port), timeout=3) as s:
                s.setblocking(False)
                sent = 0
                try:
                    while sent < 64 * 1024 * 1024:
                        sent += s.send(b'\0' * 65536)
                except BlockingIOError:
                    pass
                self.assertLess(sent, 64 * 1024 * 1024)
        finally:
            target.stop()


class RefuseTest(unittest.TestCase):
    def test_connect_is_refused(self):
        target = T.Target('refuse')
        try:
            with self.assertRaises(ConnectionRefusedError):
                socket.create_connection(('127.0.0.1', target.port), timeout=3)
        finally:
            target.stop()


class HoldTest(unittest.TestCase):
    def test_accepts_and_holds_until_closed(self):
        target = T.Target('hold')
        try:
            with socket.create_connection(('127.0.0.1', target.port), timeout=3) as s:
                s.sendall(b'hello')
                self.assertTrue(target.wait_for(lambda: len(target.connections) == 1))
                s.settimeout(0.2)
                with self.assertRaises(socket.timeout):
                    s.recv(1)
                self.assertEqual(target.connection(0).count, 0)
                target.connection(0).close()
                self.assertTrue(is_closed(s))
        finally:
            target.stop()

    def test_reset_is_seen_as_reset(self):
        target = T.Target('hold')
        try:
            with socket.create_connection(('127.0.0.1', target.port), timeout=3) as s:
                target.connection(0).close(reset=True)
                s.settimeout(3)
                with self.assertRaises(ConnectionResetError):
                    s.recv(1)
        finally:
            target.stop()


class ChildProcessTest(unittest.TestCase):
    def command(self, line):
        return self.proc.command(line)

    def test_commands(self):
        with ChildPeer('peers.targets', 'echo') as self.proc:
            first = self.proc.readline().split()
            self.assertEqual(first[0], 'port')
            port = int(first[1])
            with socket.create_connection(('127.0.0.1', port), timeout=3) as s:
                s.sendall(b'\x01\x02')
                self.assertEqual(recv_exactly(s, 2), b'\x01\x02')
                self.assertEqual(self.command('wait conns 1'), 'ok')
                self.assertEqual(self.command('wait bytes 0 2'), 'ok')
                self.assertEqual(self.command('received 0'), 'ok 2')
                self.assertEqual(self.command('data 0'), 'ok 0102')
                self.assertEqual(self.command('peer 0'), 'ok 127.0.0.1 %d' % s.getsockname()[1])
                self.assertEqual(self.command('send 0 ff'), 'ok')
                self.assertEqual(recv_exactly(s, 1), b'\xff')
                self.assertEqual(self.command('wait bytes 0 3 50'), 'err timeout')
                self.assertEqual(self.command('close 0'), 'ok')
                self.assertEqual(self.command('wait closed 0'), 'ok')
                self.assertTrue(is_closed(s))
            self.assertEqual(self.command('peer 7'), 'err TimeoutError')
            self.assertEqual(self.command('bogus 0'), 'err unknown command')
            self.assertEqual(self.command('quit'), 'bye')


if __name__ == '__main__':
    unittest.main()
