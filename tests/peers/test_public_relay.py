#!/usr/bin/env python3
"""Self-tests of the relay double's public side: an engine stand-in speaking raw
frames on one side, public clients on the other."""

import json
import os
import shutil
import socket
import tempfile
import time
import unittest

from peers import relay as R
from peers.common import ChildPeer, recv_exactly
from peers.frame_client import FrameClient


class Engine(FrameClient):
    def send_datagram(self, dg):
        self.send_body(R.datagram_body(dg))

    def create_tunnel(self):
        self.send_body(R.dict_body({'@': 'call', 'method': 'tunnel_create', 'access_id': 'k'}))
        body = self.next_body()
        assert body[1] == R.KIND_DICT, body
        d, _ = R.decode_dict(body[2:])
        assert d[b'@'] == b'return' and b'error_code' not in d, d

    def next_datagram(self, timeout=3.0):
        body = self.next_body(timeout)
        if body is None:
            return None
        assert body[:2] == bytes([R.VERSION, R.KIND_DATAGRAM]), body
        return R.parse_datagram(body[2:])


class PublicSideTest(unittest.TestCase):
    def setUp(self):
        self.relay = R.Relay()
        self.engine = Engine(self.relay.port)
        self.engine.create_tunnel()
        self.tunnel = self.relay.tunnel(0)

    def tearDown(self):
        self.engine.close()
        self.relay.stop()

    def public_client(self):
        s = socket.create_connection(('127.0.0.1', self.tunnel.port), timeout=3)
        dg = self.engine.next_datagram()
        self.assertEqual(dg[0], 'connect')
        self.assertEqual(dg[2], 2)
        self.assertEqual(dg[3], R.ip_value('127.0.0.1'))
        self.assertEqual(dg[4], s.getsockname()[1])
        self.assertEqual(self.engine.next_datagram(), ('window', dg[1], 0x20000))
        return s, dg[1]

    def public_client_with_window(self, window):
        s = socket.create_connection(('127.0.0.1', self.tunnel.port), timeout=3)
        dg = self.engine.next_datagram()
        self.assertEqual(dg[0], 'connect')
        self.assertEqual(self.engine.next_datagram(), ('window', dg[1], window))
        return s, dg[1]

    def test_public_bytes_flow_within_credit(self):
        s, ch = self.public_client()
        self.assertEqual(ch, 1)
        s.sendall(b'0123456789')
        with self.assertRaises(socket.timeout):
            self.engine.next_datagram(timeout=0.2)
        self.engine.send_datagram(R.dg_window(ch, 4))
        self.assertEqual(self.engine.next_datagram(), ('data', ch, b'0123'))
        self.engine.send_datagram(R.dg_window(ch, 100))
        self.assertEqual(self.engine.next_datagram(), ('data', ch, b'456789'))
        s.close()

    def test_engine_bytes_are_written_and_credited(self):
        s, ch = self.public_client()
        self.engine.send_datagram(R.dg_data(ch, b'hello'))
        self.assertEqual(recv_exactly(s, 5), b'hello')
        self.assertEqual(self.engine.next_datagram(), ('window', ch, 5))
        self.assertEqual(R.execute(self.relay, ['stats', '0', str(ch)]), 'ok 0 5 0 0')
        s.close()

    def test_engine_data_beyond_credit_is_counted(self):
        self.relay.initial_window = 4
        s, ch = self.public_client_with_window(4)
        self.engine.send_datagram(R.dg_data(ch, b'abcde'))
        self.assertEqual(recv_exactly(s, 5), b'abcde')
        self.assertEqual(R.execute(self.relay, ['stats', '0', str(ch)]).split()[4], '1')
        s.close()

    def test_end_of_file_and_shutdown_map_onto_each_other(self):
        s, ch = self.public_client()
        s.shutdown(socket.SHUT_WR)
        self.assertEqual(self.engine.next_datagram(), ('shutdown', ch))
        self.engine.send_datagram(R.dg_data(ch, b'bye'))
        self.engine.send_datagram(R.dg_shutdown(ch))
        self.assertEqual(recv_exactly(s, 4), b'bye')
        self.assertEqual(self.engine.next_datagram(), ('window', ch, 3))
        self.assertTrue(self.relay.wait_for(lambda: self.tunnel.count() == 0))
        s.close()

        t, ch2 = self.public_client()
        self.assertEqual(ch2, 1)  # the id is free again
        self.engine.send_datagram(R.dg_shutdown(ch2))
        self.assertEqual(recv_exactly(t, 1), b'')
        t.close()

    def test_ignoring_credit(self):
        s, ch = self.public_client()
        self.relay.ignore_credit = True
        with self.tunnel.lock:
            channel = self.tunnel.channels[ch]
        with channel.cond:
            channel.cond.notify_all()
        s.sendall(b'x' * 100)
        got = b''
        while len(got) < 100:
            dg = self.engine.next_datagram()
            got += dg[2]
        s.close()

    def test_dropping_the_connection_closes_the_public_side(self):
        for index, mode in enumerate(('fin', 'rst')):
            s = socket.create_connection(('127.0.0.1', self.tunnel.port), timeout=3)
            self.engine.next_datagram()
            self.engine.next_datagram()
            self.assertEqual(R.execute(self.relay, ['drop', str(index), mode]), 'ok')
            self.assertEqual(recv_exactly(s, 1), b'')
            s.close()
            if mode == 'fin':
                self.engine.sock.settimeout(3)
                self.assertEqual(self.engine.sock.recv(1), b'')
            else:
                self.engine.sock.settimeout(3)
                with self.assertRaises(ConnectionResetError):
                    self.engine.sock.recv(1)
            self.engine.close()
            self.engine = Engine(self.relay.port)
            self.engine.create_tunnel()
            self.tunnel = self.relay.tunnel(index + 1)

    def test_pause_stops_reading_from_the_engine(self):
        s, ch = self.public_client()
        self.assertEqual(R.execute(self.relay, ['pause', '0']), 'ok')
        self.engine.send_datagram(R.dg_data(ch, b'a'))
        s.settimeout(0.2)
        with self.assertRaises(socket.timeout):
            s.recv(1)
        self.assertEqual(R.execute(self.relay, ['resume', '0']), 'ok')
        self.assertEqual(recv_exactly(s, 1), b'a')
        s.close()


class PortBookTest(unittest.TestCase):
    """The public listener opens where the cloud's port book says for the
    tunnel's access key (the engine stand-in creates its tunnel as "k")."""

    def setUp(self):
        folder = tempfile.mkdtemp(prefix='relay_book_')
        self.addCleanup(shutil.rmtree, folder, True)
        self.path = os.path.join(folder, 'ports.json')
        self.relay = R.Relay()
        self.addCleanup(self.relay.stop)
        self.assertEqual(R.execute(self.relay, ['book', self.path]), 'ok')

    def write_book(self, book):
        with open(self.path, 'w', encoding='utf-8') as f:
            json.dump(book, f)

    def tunnel_port(self, index):
        engine = Engine(self.relay.port)
        self.addCleanup(engine.close)
        engine.create_tunnel()
        return engine, self.relay.tunnel(index).port

    def test_booked_port_and_the_fallbacks(self):
        free = free_port()
        taken = socket.socket()
        self.addCleanup(taken.close)
        taken.bind(('127.0.0.1', 0))
        taken.listen(1)
        cases = [  # (book written, the port expected: None for an ephemeral one)
            ({'k': free}, free),
            ({'other': free}, None),
            ({'k': taken.getsockname()[1]}, None),
            ({'k': 'x'}, None),
            (None, None),  # no book file at all
        ]
        for index, (book, expected) in enumerate(cases):
            if book is None:
                os.remove(self.path)
            else:
                self.write_book(book)
            engine, port = self.tunnel_port(index)
            if expected is None:
                self.assertNotIn(port, (free, taken.getsockname()[1]), book)
            else:
                self.assertEqual(port, expected, book)
            # either way the listener is the tunnel's public side
            with socket.create_connection(('127.0.0.1', port), timeout=3):
                self.assertEqual(engine.next_datagram()[0], 'connect', book)
            engine.close()

    def test_a_tunnel_made_again_takes_its_port_again(self):
        port = free_port()
        self.write_book({'k': port})
        first, _ = self.tunnel_port(0)
        first.close()
        self.assertTrue(self.relay.wait_for(lambda: self.relay.connections[0].closed))
        _, again = self.tunnel_port(1)
        self.assertEqual(again, port)
        self.assertEqual(R.execute(self.relay, ['book', '-']), 'ok')
        _, ephemeral = self.tunnel_port(2)
        self.assertNotEqual(ephemeral, port)


def free_port():
    with socket.socket() as probe:
        probe.bind(('127.0.0.1', 0))
        return probe.getsockname()[1]


class ChildProcessTest(unittest.TestCase):
    def test_commands(self):
        with ChildPeer('peers.relay') as proc:
            command = proc.command
            port = int(proc.readline().split()[1])
            engine = Engine(port)
            self.assertEqual(command('tunnel'), 'err no tunnel')
            engine.create_tunnel()
            answer = command('public 0').split()
            self.assertEqual(command('tunnel'), 'ok 0 ' + answer[1])
            self.assertEqual(answer[0], 'ok')
            s = socket.create_connection(('127.0.0.1', int(answer[1])), timeout=3)
            self.assertEqual(engine.next_datagram()[0], 'connect')
            self.assertEqual(engine.next_datagram()[0], 'window')
            self.assertEqual(command('wait channels 0 1'), 'ok')
            self.assertEqual(command('channels 0'), 'ok 1')
            engine.send_datagram(R.dg_window(1, 7))
            s.sendall(b'abc')
            engine.next_datagram()
            self.assertEqual(command('stats 0 1'), 'ok 3 0 4 0')
            self.assertEqual(command('stats 0 9'), 'err no channel')
            self.assertEqual(command('public 5'), 'err no connection 5')
            self.assertEqual(command('conns'), 'ok 1')  # relay.py's commands still work
            s.close()
            engine.close()
            self.assertEqual(command('quit'), 'bye')


if __name__ == '__main__':
    unittest.main()
