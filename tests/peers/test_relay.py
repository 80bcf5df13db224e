#!/usr/bin/env python3
"""Self-tests of the relay server double: its wire formats and its behaviours."""

import socket
import struct
import time
import unittest

from peers import relay as R
from peers.common import ChildPeer, is_closed
from peers.frame_client import FrameClient


class Client(FrameClient):
    """A minimal engine stand-in speaking raw frames."""

    def call(self, method, **params):
        entries = dict(params)
        entries['@'] = 'call'
        entries['method'] = method
        self.send_body(R.dict_body(entries))

    def next_dict(self):
        body = self.next_body()
        self.assertKind(body, R.KIND_DICT)
        d, complete = R.decode_dict(body[2:])
        assert complete
        return d

    @staticmethod
    def assertKind(body, kind):
        assert body is not None and body[0] == 1 and body[1] == kind, body

    def is_closed(self, timeout=3.0):
        return is_closed(self.sock, timeout)


class WireFormatTest(unittest.TestCase):
    def test_byte_vectors(self):
        self.assertEqual(R.encode_dict({'method': 'ping'}), b'method\x00\x04\x00\x00\x00ping')
        self.assertEqual(len(R.encode_dict({'method': 'ping'})), 15)
        self.assertEqual(R.frame(R.dict_body({'@': 'call'})),
                         bytes.fromhex('10000000010140000400000063616c6c'))
        self.assertEqual(R.frame(b''), b'\x04\x00\x00\x00')
        self.assertEqual(R.encode_dict({'': ''}), b'\x00' * 5)
        self.assertEqual(R.encode_dict({}), b'')

    def test_dictionary_key_order_is_utf16_byte_order(self):
        # U+0100 (00 01) sorts before U+00FF (FF 00); "中" (2D 4E) before "A" (41 00).
        data = R.encode_dict({'\u00ff': '', '\u0100': '', 'A': '', '中': ''})
        keys = [k for k in data.split(b'\x00\x00\x00\x00\x00') if k]
        self.assertEqual([k.decode() for k in keys], ['\u0100', '中', 'A', '\u00ff'])

    def test_decode_stops_at_bad_entry(self):
        good = R.encode_dict([('a', b'1')])
        cases = [
            (good + b'b\x00\xff\xff\xff\x7f', {b'a': b'1'}, False),   # huge length
            (good + b'b\x00\x02\x00', {b'a': b'1'}, False),            # cut length
            (good + b'b', {b'a': b'1'}, False),                        # no terminator
            (good + b'b\x00\xff\xff\xff\xff', {b'a': b'1'}, False),   # negative length
            (good + R.encode_dict([('a', b'2')]), {b'a': b'2'}, True),  # later value wins
        ]
        for data, expected, complete in cases:
            with self.subTest(data=data):
                self.assertEqual(R.decode_dict(data), (expected, complete))

    def test_datagrams(self):
        self.assertEqual(R.dg_connect(7, 2, '1.2.3.4', 0x1234),
                         bytes.fromhex('010700020403020134 12'.replace(' ', '')))
        self.assertEqual(R.dg_shutdown(0x8001), bytes.fromhex('030180'))
        self.assertEqual(R.dg_window(1, 0x20000), bytes.fromhex('05010000000200'))
        self.assertEqual(R.dg_data(2, b'hi'), bytes.fromhex('0402000200') + b'hi')
        self.assertEqual(R.parse_datagram(R.dg_data(2, b'hi') + b'xx'), ('data', 2, b'hi'))
        self.assertIsNone(R.parse_datagram(bytes.fromhex('0402000300') + b'hi'))
        self.assertIsNone(R.parse_datagram(R.dg_connect(1, 2, '1.2.3.4', 1)[:9]))
        self.assertEqual(R.parse_datagram(R.dg_connect(1, 2, '1.2.3.4', 80)),
                         ('connect', 1, 2, 0x01020304, 80))

    def test_frame_reader_split_at_every_position(self):
        stream = R.frame(b'ABCD') + R.frame(b'') + R.frame(b'xyz')
        for cut in range(len(stream) + 1):
            reader = R.FrameReader()
            bodies = reader.feed(stream[:cut]) + reader.feed(stream[cut:])
            self.assertEqual(bodies, [b'ABCD', b'', b'xyz'], cut)

    def test_frame_reader_flags_size_below_four(self):
        reader = R.FrameReader()
        self.assertEqual(reader.feed(b'\x02\x00\x00\x00abc'), [])
        self.assertTrue(reader.bad)


class RelayTest(unittest.TestCase):
    def setUp(self):
        self.relay = R.Relay()
        self.clients = []

    def tearDown(self):
        for c in self.clients:
            c.close()
        self.relay.stop()

    def client(self):
        c = Client(self.relay.port)
        self.clients.append(c)
        return c

    def test_ping_is_answered_and_recorded(self):
        c = self.client()
        c.call('ping')
        self.assertEqual(c.next_dict(), {b'@': b'return'})
        self.assertTrue(self.relay.wait_frames(0, 1))
        self.assertEqual(self.relay.connections[0].frames,
                         [R.dict_body({'@': 'call', 'method': 'ping'})])

    def test_tunnel_create_replies(self):
        cases = [
            (R.Behaviour('ok'), {b'@': b'return'}),
            (R.Behaviour('error', b'5', '拒绝'.encode()),
             {b'@': b'return', b'error_code': b'5', b'error_msg': '拒绝'.encode()}),
            (R.Behaviour('error', b'abc', None), {b'@': b'return', b'error_code': b'abc'}),
        ]
        for behaviour, expected in cases:
            with self.subTest(mode=behaviour.mode, code=behaviour.code):
                self.relay.set_reply('tunnel_create', behaviour)
                c = self.client()
                c.call('tunnel_create', access_id='key-1')
                self.assertEqual(c.next_dict(), expected)

    def test_late_never_close_and_drop(self):
        self.relay.set_reply('ping', R.Behaviour('ok', delay_ms=150))
        c = self.client()
        t0 = time.monotonic()
        c.call('ping')
        self.assertEqual(c.next_dict(), {b'@': b'return'})
        self.assertGreaterEqual(time.monotonic() - t0, 0.14)

        self.relay.set_reply('ping', R.Behaviour('never'))
        c = self.client()
        c.call('ping')
        self.assertRaises(socket.timeout, c.next_body, 0.2)

        self.relay.set_reply('ping', R.Behaviour('ok', close=True))
        c = self.client()
        c.call('ping')
        self.assertEqual(c.next_dict(), {b'@': b'return'})
        self.assertTrue(c.is_closed())

        self.relay.set_reply('ping', R.Behaviour('drop'))
        c = self.client()
        c.call('ping')
        self.assertTrue(c.is_closed())

    def test_close_on_accept(self):
        self.relay.close_on_accept = True
        self.assertTrue(self.client().is_closed())

    def test_size_below_four_closes(self):
        c = self.client()
        c.sock.sendall(b'\x03\x00\x00\x00' + b'x' * 10)
        self.assertTrue(c.is_closed())

    def test_inject_datagrams_and_malformed_bytes(self):
        c = self.client()
        conn = self.relay.connection(0)
        conn.send_body(R.datagram_body(R.dg_connect(3, 2, '10.0.0.9', 8080)))
        conn.send_body(R.datagram_body(R.dg_data(3, b'payload')))
        conn.send_body(R.datagram_body(R.dg_window(3, 4096)))
        conn.send_body(R.datagram_body(R.dg_shutdown(3)))
        got = [R.parse_datagram(c.next_body()[2:]) for _ in range(4)]
        self.assertEqual(got, [('connect', 3, 2, R.ip_value('10.0.0.9'), 8080),
                               ('data', 3, b'payload'), ('window', 3, 4096), ('shutdown', 3)])
        conn.send_raw(b'\x02\x00\x00\x00')
        self.assertEqual(c.sock.recv(4), b'\x02\x00\x00\x00')

    def test_malformed_calls_are_not_answered(self):
        # Only a call that decodes to its end and names its method is answered,
        # so an engine that writes a broken request cannot pass for a working one.
        call = R.encode_dict({'@': 'call', 'method': 'ping'})
        cases = [
            ('cut value', bytes([1, 1]) + call[:-1]),
            ('trailing byte', bytes([1, 1]) + call + b'x'),
            ('no method', R.dict_body({'@': 'call'})),
            ('wrong version', bytes([2, 1]) + call),
            ('datagram kind', bytes([1, 2]) + call),
        ]
        for name, body in cases:
            with self.subTest(name):
                c = self.client()
                c.send_body(body)
                c.call('ping', marker='1')
                self.assertEqual(c.next_dict(), {b'@': b'return'})
                self.assertRaises(socket.timeout, c.next_body, 0.1)

    def test_engine_datagrams_are_recorded(self):
        c = self.client()
        c.send_body(R.datagram_body(R.dg_window(1, 100)))
        c.send_body(b'')
        self.assertTrue(self.relay.wait_frames(0, 2))
        self.assertEqual(self.relay.connections[0].frames,
                         [R.datagram_body(R.dg_window(1, 100)), b''])


class ChildProcessTest(unittest.TestCase):
    def test_command_interface(self):
        with ChildPeer('peers.relay') as proc:
            cmd = proc.command
            first = proc.readline().split()
            self.assertEqual(first[0], 'port')
            port = int(first[1])
            self.assertEqual(cmd('reply tunnel_create error 7 ' + 'oops'.encode().hex()), 'ok')
            c = Client(port)
            self.assertEqual(cmd('wait conns 1'), 'ok')
            c.call('tunnel_create', access_id='k')
            self.assertEqual(c.next_dict(),
                             {b'@': b'return', b'error_code': b'7', b'error_msg': b'oops'})
            self.assertEqual(cmd('wait frames 0 1'), 'ok')
            words = cmd('frames 0').split()
            self.assertEqual(words[0], 'ok')
            body = bytes.fromhex(words[1])
            self.assertEqual(R.decode_dict(body[2:])[0],
                             {b'@': b'call', b'method': b'tunnel_create', b'access_id': b'k'})
            self.assertEqual(cmd('window 0 5 -1'), 'ok')
            self.assertEqual(R.parse_datagram(c.next_body()[2:]), ('window', 5, -1))
            self.assertEqual(cmd('dict 0 @ ' + b'push'.hex() + ' x -'), 'ok')
            self.assertEqual(c.next_dict(), {b'@': b'push', b'x': b''})
            self.assertEqual(cmd('bogus 0'), 'err unknown command')
            self.assertEqual(cmd('close 0'), 'ok')
            self.assertTrue(c.is_closed())
            self.assertEqual(cmd('wait closed 0'), 'ok')
            c.close()
            words = cmd('listen').split()
            self.assertEqual(words[0], 'ok')
            second, port2 = int(words[1]), int(words[2])
            self.assertNotEqual(port2, port)
            self.assertEqual(cmd('@%d reply ping error 3 -' % second), 'ok')
            c2 = Client(port2)
            c2.call('ping')
            self.assertEqual(c2.next_dict(), {b'@': b'return', b'error_code': b'3', b'error_msg': b''})
            self.assertEqual(cmd('@%d conns' % second), 'ok 1')
            self.assertEqual(cmd('conns'), 'ok 1')
            self.assertEqual(cmd('@%d stop' % second), 'ok')
            self.assertTrue(c2.is_closed())
            c2.close()
            self.assertEqual(cmd('@%d conns' % second), 'err no relay')
            self.assertEqual(cmd('quit'), 'bye')


if __name__ == '__main__':
    unittest.main()
