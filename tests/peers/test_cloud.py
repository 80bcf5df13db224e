#!/usr/bin/env python3
"""Self-tests of the cloud API server double, through a small client of their
own: TEA, key derivation and HTTP are written here again from the wire format,
so a fault in the double's codec does not hide behind the same fault here."""

import hashlib
import json
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import time
import unittest

from peers import cloud
from peers.common import child_environment

HERE = os.path.dirname(os.path.abspath(__file__))
DEMO = os.path.join(HERE, 'cloud_demo_state.json')


# ---- an independent client -------------------------------------------------------

def _rounds_enc(v0, v1, k):
    total = 0
    for _ in range(16):
        total = (total + 0x9E3779B9) % 2**32
        v0 = (v0 + ((((v1 * 16) % 2**32 + k[0]) % 2**32) ^ ((v1 + total) % 2**32) ^ ((v1 // 32 + k[1]) % 2**32))) % 2**32
        v1 = (v1 + ((((v0 * 16) % 2**32 + k[2]) % 2**32) ^ ((v0 + total) % 2**32) ^ ((v0 // 32 + k[3]) % 2**32))) % 2**32
    return v0, v1


def _rounds_dec(v0, v1, k):
    total = (0x9E3779B9 * 16) % 2**32
    for _ in range(16):
        v1 = (v1 - ((((v0 * 16) % 2**32 + k[2]) % 2**32) ^ ((v0 + total) % 2**32) ^ ((v0 // 32 + k[3]) % 2**32))) % 2**32
        v0 = (v0 - ((((v1 * 16) % 2**32 + k[0]) % 2**32) ^ ((v1 + total) % 2**32) ^ ((v1 // 32 + k[1]) % 2**32))) % 2**32
        total = (total - 0x9E3779B9) % 2**32
    return v0, v1


def _words(key):
    return [int.from_bytes(key[i:i + 4], 'little') for i in range(0, 16, 4)]


def my_tea_encrypt(plain, key):
    if not plain:
        return b''
    pad = (8 - len(plain) % 8) % 8
    data = plain + b'-' * pad
    k = _words(key)
    out = b''
    for i in range(0, len(data), 8):
        y, z = _rounds_enc(int.from_bytes(data[i:i + 4], 'little'), int.from_bytes(data[i + 4:i + 8], 'little'), k)
        out += y.to_bytes(4, 'little') + z.to_bytes(4, 'little')
    return out + bytes([pad])


def my_tea_decrypt(data, key):
    if not data:
        return b''
    k = _words(key)
    out = b''
    for i in range(0, len(data) - 1, 8):
        y, z = _rounds_dec(int.from_bytes(data[i:i + 4], 'little'), int.from_bytes(data[i + 4:i + 8], 'little'), k)
        out += y.to_bytes(4, 'little') + z.to_bytes(4, 'little')
    return out[:len(out) - data[-1]]


def my_key(argument, message):
    return hashlib.md5((argument + message).encode('utf-8')).hexdigest()[8:24].encode()


def my_nonce():
    return hashlib.md5(os.urandom(16).hex().encode()).hexdigest()[8:24]


class Reply:
    def __init__(self, status, headers, body):
        self.status = status
        self.headers = headers  # lower-cased names
        self.body = body


class Client:
    """A keep-alive HTTP/1.1 client speaking the encrypted JSON-RPC of the cloud."""

    def __init__(self, port, root='/api/user', spec_arg='k', offset=0, timeout=3.0):
        self.port = port
        self.root = root
        self.spec_arg = spec_arg
        self.offset = offset
        self.timeout = timeout
        self.sock = None
        self.buf = b''
        self.next_id = 1
        self.session = ''

    def close(self):
        if self.sock:
            self.sock.close()
            self.sock = None

    def connect(self):
        if self.sock is None:
            self.sock = socket.create_connection(('127.0.0.1', self.port), timeout=self.timeout)
            self.buf = b''

    def exchange(self, path, body, headers):
        self.connect()
        head = 'POST %s%s HTTP/1.1\r\nHost: 127.0.0.1:%d\r\nConnection: Keep-Alive\r\n' % (
            self.root, path, self.port)
        for name, value in headers:
            head += '%s: %s\r\n' % (name, value)
        head += 'Content-Length: %d\r\n\r\n' % len(body)
        self.sock.sendall(head.encode() + body)
        return self.read_reply()

    def _more(self):
        data = self.sock.recv(65536)
        if not data:
            raise ConnectionError('closed')
        self.buf += data

    def read_reply(self):
        while b'\r\n\r\n' not in self.buf:
            self._more()
        head, self.buf = self.buf.split(b'\r\n\r\n', 1)
        lines = head.decode('latin-1').split('\r\n')
        status = int(lines[0].split(' ')[1])
        headers = {}
        for line in lines[1:]:
            name, _, value = line.partition(':')
            headers[name.strip().lower()] = value.strip()
        if headers.get('transfer-encoding') == 'chunked':
            body = b''
            while True:
                while b'\r\n' not in self.buf:
                    self._more()
                size_line, self.buf = self.buf.split(b'\r\n', 1)
                size = int(size_line, 16)
                while len(self.buf) < size + 2:
                    self._more()
                body += self.buf[:size]
                self.buf = self.buf[size + 2:]
                if size == 0:
                    return Reply(status, headers, body)
        length = int(headers.get('content-length', '0'))
        while len(self.buf) < length:
            self._more()
        body, self.buf = self.buf[:length], self.buf[length:]
        if headers.get('connection', '').lower() == 'close':
            self.close()
        return Reply(status, headers, body)

    def send_encrypted(self, path, obj_or_bytes, nonce=None, stamp=None):
        nonce = nonce or my_nonce()
        stamp = str(int(time.time()) + self.offset) if stamp is None else stamp
        data = obj_or_bytes if isinstance(obj_or_bytes, bytes) else json.dumps(obj_or_bytes).encode()
        body = my_tea_encrypt(data, my_key(self.spec_arg, nonce + stamp))
        reply = self.exchange(path, body, [('Content-Encoding', 'encrypt'), ('X-Ca-Nonce', nonce),
                                           ('X-Ca-Timestamp', stamp)])
        return nonce, reply

    def decrypted(self, reply):
        key = my_key(self.spec_arg, reply.headers['x-ca-nonce'] + reply.headers['x-ca-timestamp'])
        return json.loads(my_tea_decrypt(reply.body, key).decode('utf-8'))

    def call(self, path, method, **params):
        """The reply object of one call, following one 316 like the real client."""
        request = {'id': self.next_id, 'jsonrpc': '2.0', 'method': method, 'params': params}
        self.next_id += 1
        nonce, reply = self.send_encrypted(path, request)
        if reply.status == 316 and 'x-ca-timestamp-reset' in reply.headers:
            self.offset = int(reply.headers['x-ca-timestamp-reset']) - int(time.time())
            nonce, reply = self.send_encrypted(path, request)
        assert reply.status == 200, reply.status
        assert reply.headers.get('content-encoding') == 'encrypt'
        assert reply.headers['x-ca-nonce'] == nonce
        answer = self.decrypted(reply)
        assert answer.get('id') == request['id'] or 'error' in answer, answer
        return answer

    def result(self, path, method, **params):
        answer = self.call(path, method, **params)
        assert 'error' not in answer, answer
        return answer['result']


FIXTURE = {
    'encryption': 'tea(k)',
    'configs': {'a': '1'},
    'accounts': [{'id': 1, 'name': '861', 'pwd': 'p', 'phone_part': '1**',
                  'plan': None, 'prefixes': ['mine']},
                 {'id': 2, 'name': 'other', 'pwd': 'q'}],
    'devices': [{'id': 10, 'user_id': 1, 'token': 'tok', 'label': 'pc', 'reload_time': 5},
                {'id': 20, 'user_id': 2, 'token': 'tok2', 'label': 'theirs'}],
    'regions': [{'id': 1, 'label': 'R1', 'support_tcp': True}],
    'nodes': [{'id': 3, 'region_id': 1, 'servers': ['10.0.0.1:1'], 'domains': ['d.example']}],
    'forwards': [{'id': 100, 'device_id': 10, 'node_id': 3, 'label': 'ssh', 'protocol': 'tcp',
                  'address': '127.0.0.1:22', 'access_key': 'ak'}],
    'acls': [],
}


class CloudCase(unittest.TestCase):
    servers = 1

    def setUp(self):
        self.cloud = cloud.Cloud(json.loads(json.dumps(FIXTURE)), servers=self.servers)
        self.clients = []

    def tearDown(self):
        for c in self.clients:
            c.close()
        self.cloud.stop()

    def client(self, root='/api/user', server=0, **kw):
        c = Client(self.cloud.ports[server], root=root, **kw)
        self.clients.append(c)
        return c

    def user(self):
        c = self.client()
        c.session = c.result('/account', 'login', name='861', pwd='p', version='2.0.9')['session_id']
        return c

    def device(self, token='tok'):
        c = self.client('/api/device')
        c.session = c.result('/account', 'login', token=token, version='2.0.7')['session_id']
        return c


# ---- tests -----------------------------------------------------------------------

class CipherTest(unittest.TestCase):
    KEY = b'0123456789abcdef'

    def test_enciphered_form(self):
        for length, size, last in [(1, 9, 7), (7, 9, 1), (8, 9, 0), (9, 17, 7), (16, 17, 0)]:
            out = cloud.tea_encrypt(bytes(range(length)), self.KEY)
            self.assertEqual((len(out), out[-1]), (size, last), length)
        self.assertEqual(cloud.tea_encrypt(b'', self.KEY), b'')

    def test_both_sides_agree_for_every_length(self):
        for length in range(1, 18):
            plain = os.urandom(length)
            theirs = cloud.tea_encrypt(plain, self.KEY)
            self.assertEqual(theirs, my_tea_encrypt(plain, self.KEY), length)
            self.assertEqual(cloud.tea_decrypt(theirs, self.KEY), plain)
            self.assertEqual(my_tea_decrypt(theirs, self.KEY), plain)

    def test_impossible_enciphered_forms_are_refused(self):
        cases = [(b'\x00', b''), (b'\x01', None), (bytes(10), None), (bytes(16) + b'\x80', None),
                 (bytes(16) + b'\x11', None), (bytes(16) + b'\x10', b'')]
        for data, expected in cases:
            self.assertEqual(cloud.tea_decrypt(data, self.KEY), expected, data.hex())

    def test_spec_steps(self):
        cases = [('', []), ('tea(k)', ['k']), ('  TEA(k) ', ['k']), ('tea', ['']),
                 ('rot(x);tea(a);;tea(b)', ['a', 'b']), ('tea( sp )', [' sp '])]
        for spec, steps in cases:
            self.assertEqual(cloud.parse_spec(spec), steps, spec)

    def test_two_steps_undo_in_reverse_order(self):
        message = 'nonce1700000000'
        data = my_tea_encrypt(my_tea_encrypt(b'{"a":1}', my_key('a', message)), my_key('b', message))
        self.assertEqual(cloud.decrypt_body('tea(a);tea(b)', data, message), b'{"a":1}')
        self.assertEqual(cloud.encrypt_body('tea(a);tea(b)', b'{"a":1}', message), data)
        self.assertEqual(cloud.decrypt_body('tea(b);tea(a)', data, message) == b'{"a":1}', False)


class StateFileTest(unittest.TestCase):
    def test_demo_state_takes_the_defines(self):
        state = cloud.load_state_file(DEMO, {'RELAY': '127.0.0.1:7000,127.0.0.1:7001',
                                             'TARGET': '127.0.0.1:9000'})
        fwd = state['forwards'][0]
        self.assertEqual(fwd['primary_servers'], ['127.0.0.1:7000', '127.0.0.1:7001'])
        self.assertEqual((fwd['client_host'], fwd['client_port']), ('127.0.0.1', 9000))
        self.assertEqual(state['devices'][0]['token'], 'demo-device-token')
        state = cloud.load_state_file(DEMO, {'RELAY': 'r:1', 'TARGET_PORT': '2222'})
        self.assertEqual(state['forwards'][0]['client_port'], 2222)

    def test_undefined_name_is_reported(self):
        with self.assertRaisesRegex(cloud.StateError, 'RELAY'):
            cloud.load_state_file(DEMO, {})
        for bad in [{'forwards': {}}, {'devices': [{'label': 'no id'}]}, [1]]:
            with self.assertRaises(cloud.StateError, msg=bad):
                cloud.normalise_state(bad)


class TransportTest(CloudCase):
    def test_keep_alive_and_encrypted_answer(self):
        c = self.client()
        for _ in range(3):
            nonce, reply = c.send_encrypted('/util', {'id': 7, 'jsonrpc': '2.0', 'method': 'ping', 'params': {}})
            self.assertEqual(reply.status, 200)
            self.assertEqual(reply.headers['content-encoding'], 'encrypt')
            self.assertEqual(reply.headers['x-ca-nonce'], nonce)
            self.assertEqual(c.decrypted(reply), {'jsonrpc': '2.0', 'id': 7, 'result': None})
        # a stamp off by less than the window passes; the answer is keyed by the server's own stamp
        stamp = str(int(time.time()) - 100)
        nonce, reply = c.send_encrypted('/util', {'id': 8, 'jsonrpc': '2.0', 'method': 'ping', 'params': {}},
                                        stamp=stamp)
        self.assertNotEqual(reply.headers['x-ca-timestamp'], stamp)
        self.assertEqual(c.decrypted(reply)['id'], 8)
        self.assertEqual(self.cloud.conns, [1])
        calls = self.cloud.recorded()
        self.assertEqual([(k['method'], k['encrypted'], k['status']) for k in calls], [('ping', True, 200)] * 4)
        self.assertIn(['X-Ca-Nonce', calls[0]['nonce']], calls[0]['headers'])

    def test_plain_request_gets_plain_answer(self):
        c = self.client()
        reply = c.exchange('/util', json.dumps({'id': 1, 'jsonrpc': '2.0', 'method': 'enum_configs',
                                                'params': {}}).encode(), [])
        self.assertNotIn('content-encoding', reply.headers)
        self.assertEqual(json.loads(reply.body)['result'], {'configs': {'a': '1'}})

    def test_skewed_clock_is_reset_once(self):
        self.cloud.skew = 3600
        c = self.client()
        _, reply = c.send_encrypted('/util', {'id': 1, 'jsonrpc': '2.0', 'method': 'ping', 'params': {}})
        self.assertEqual((reply.status, reply.body), (316, b''))
        reset = int(reply.headers['x-ca-timestamp-reset'])
        self.assertLessEqual(abs(reset - (int(time.time()) + 3600)), 2)
        self.assertEqual(c.call('/util', 'ping'), {'jsonrpc': '2.0', 'id': 1, 'result': None})
        self.assertEqual([k['status'] for k in self.cloud.recorded()], [316, 316, 200])
        # a stamp inside the window passes, one that is not a number does not
        _, reply = self.client().send_encrypted('/util', b'{}', stamp='x')
        self.assertEqual(reply.status, 316)

    def test_rpc_errors(self):
        u = self.user()
        cases = [
            ('/util', 'no_such', {}, -32601),
            ('/nowhere', 'ping', {}, -32601),
            ('/account', 'login', {'name': 'x'}, -32602),
            ('/instance', 'enum_nodes', {'session_id': u.session, 'region_id': '1'}, -32602),
            ('/instance', 'enum_forwards', {'session_id': u.session, 'device_id': True}, -32602),
            ('/instance', 'enum_devices', {'session_id': 'stale'}, 101),
            ('/instance', 'enum_forwards', {'session_id': u.session, 'device_id': 20}, 201),
            ('/account', 'login', {'name': '861', 'pwd': 'wrong', 'version': '2.0.9'}, 102),
        ]
        for path, method, params, code in cases:
            answer = u.call(path, method, **params)
            self.assertEqual(answer['error']['code'], code, (path, method, params))
            self.assertTrue(answer['error']['message'])
        nonce, reply = u.send_encrypted('/util', b'not json')
        self.assertEqual(u.decrypted(reply)['error']['code'], -32700)
        # the device's session is not a user's
        d = self.device()
        self.assertEqual(u.call('/instance', 'enum_devices', session_id=d.session)['error']['code'], 101)


class DeviceFlowTest(CloudCase):
    def test_login_device_record_and_forwards(self):
        d = self.device()
        dev = d.result('/account', 'query_my_device', session_id=d.session)['device']
        self.assertEqual((dev['id'], dev['reload_time'], dev['is_online'], dev['version']), (10, 5, True, '2.0.7'))
        fwds = d.result('/instance', 'enum_forwards', session_id=d.session)['forwards']
        self.assertEqual(fwds, [{'id': 100, 'access_key': 'ak', 'protocol': 'tcp', 'address': '127.0.0.1:22',
                                 'primary_servers': ['10.0.0.1:1'], 'standby_servers': [], 'acl': {},
                                 'is_disabled': False}])
        self.assertEqual(d.call('/account', 'login', token='nope', version='2.0.7')['error']['code'], 103)

    def test_user_changes_move_reload_time_and_reach_the_device(self):
        d = self.device()
        u = self.user()
        u.result('/instance', 'create_acl', session_id=u.session,
                 acl={'id': -1, 'label': 'office', 'ip_filter': 'enabled_white', 'gateway': 'disabled',
                      'create_time': 0, 'ip': {'white': '10.*', 'black': ''},
                      'members': [{'name': 'm', 'pwd': 'h', 'state': 'enabled', 'remark': '', 'expire_time': 0}],
                      'forwards': 0})
        acl_id = u.result('/instance', 'enum_acls', session_id=u.session)['acls'][0]['id']
        steps = [
            ('modify_forward', {'forward_id': 100, 'fields': {'client_port': 2222, 'acl_id': acl_id}}),
            ('create_forward', {'device_id': 10, 'node_id': 3, 'label': 'web', 'protocol': 'tcp',
                                'host_prefix': '', 'host_domain': '', 'host_custom': '',
                                'client_host': '127.0.0.1', 'client_port': 80, 'bandwidth': 1}),
            ('remove_forward', {'forward_id': 100}),
        ]
        last = 5
        for method, params in steps:
            u.result('/instance', method, session_id=u.session, **params)
            now = d.result('/account', 'query_my_device', session_id=d.session)['device']['reload_time']
            self.assertGreater(now, last, method)
            last = now
            if method == 'modify_forward':
                fwd = d.result('/instance', 'enum_forwards', session_id=d.session)['forwards'][0]
                self.assertEqual(fwd['address'], '127.0.0.1:2222')
                self.assertEqual((fwd['acl']['ip'], fwd['acl']['members'][0]['pwd']),
                                 ({'white': '10.*', 'black': ''}, 'h'))
        fwds = d.result('/instance', 'enum_forwards', session_id=d.session)['forwards']
        self.assertEqual([(f['address'], f['primary_servers']) for f in fwds], [('127.0.0.1:80', ['10.0.0.1:1'])])
        # a member sent back with an empty password keeps the stored digest
        acl = u.result('/instance', 'enum_acls', session_id=u.session)['acls'][0]
        acl['members'][0]['pwd'] = ''
        u.result('/instance', 'modify_acl', session_id=u.session, acl_id=acl_id, acl=acl)
        self.assertEqual(self.cloud.state['acls'][0]['members'][0]['pwd'], 'h')

    def test_logout_ends_the_session(self):
        d = self.device()
        d.result('/account', 'logout', session_id=d.session)
        self.assertEqual(d.call('/account', 'query_my_device', session_id=d.session)['error']['code'], 101)
        self.assertFalse(self.cloud.state['devices'][0]['is_online'])


class UserFlowTest(CloudCase):
    def test_catalogue_answers_carry_the_keys_clients_read(self):
        u = self.user()
        s = {'session_id': u.session}
        self.assertEqual(u.result('/account', 'query_my_user', **s)['user'],
                         {'id': 1, 'name': '861', 'phone_part': '1**'})
        self.assertEqual(u.result('/instance', 'enum_regions', **s)['regions'][0]['label'], 'R1')
        self.assertEqual(u.result('/instance', 'enum_nodes', region_id=1, **s)['nodes'],
                         [{'id': 3, 'servers': ['10.0.0.1:1'], 'domains': ['d.example']}])
        devices = u.result('/instance', 'enum_devices', **s)['devices']
        self.assertEqual([(x['id'], x['forwards']) for x in devices], [(10, 1)])
        fwd = u.result('/instance', 'enum_forwards', device_id=10, **s)['forwards'][0]
        self.assertEqual(set(fwd), set(cloud.FORWARD_USER_KEYS))
        self.assertEqual((fwd['client_host'], fwd['client_port'], fwd['acl_id'], fwd['region_label']),
                         ('127.0.0.1', 22, -1, 'R1'))
        self.assertEqual(u.result('/product', 'enum_prefixes', **s), {'prefixes': [{'name': 'mine'}]})
        self.assertEqual(u.call('/product', 'check_prefix', prefix_name='mine', **s)['error']['code'], 205)
        u.result('/product', 'create_prefix_free', prefix_name='new', **s)
        self.assertEqual(u.result('/product', 'query_plan', **s), {'plan': None})
        quota = u.result('/product', 'query_quota', **s)['quota']
        self.assertEqual(quota['limit'], cloud.ZERO_QUOTA)

    def test_created_device_token_logs_in(self):
        u = self.user()
        made = u.result('/instance', 'create_device', session_id=u.session, label='new')
        d = self.device(made['device_token'])
        dev = d.result('/account', 'query_my_device', session_id=d.session)['device']
        self.assertEqual((dev['id'], dev['label']), (made['device_id'], 'new'))
        u.result('/instance', 'remove_device', session_id=u.session, device_id=made['device_id'])
        self.assertEqual(d.call('/account', 'query_my_device', session_id=d.session)['error']['code'], 101)


class PortBookTest(CloudCase):
    """Public ports that a relay can take: each forward's server_port is a
    port free on loopback, the same in the user's view and the book."""

    def setUp(self):
        folder = tempfile.mkdtemp(prefix='cloud_book_')
        self.addCleanup(shutil.rmtree, folder, True)
        self.path = os.path.join(folder, 'ports.json')
        state = json.loads(json.dumps(FIXTURE))
        state['port_book'] = self.path
        state['forwards'][0]['server_port'] = 0  # a seed that names no port
        self.cloud = cloud.Cloud(state)
        self.clients = []

    def book(self):
        with open(self.path, encoding='utf-8') as f:
            return json.load(f)

    def ports_shown(self, u):
        return {f['id']: f['server_port']
                for f in u.result('/instance', 'enum_forwards', session_id=u.session, device_id=10)['forwards']}

    def test_every_forward_gets_a_free_port_kept_for_its_id(self):
        u = self.user()
        seeded = self.ports_shown(u)[100]
        self.assertEqual(self.book(), {'ak': seeded})
        self.assertNotEqual(seeded, 0)
        with socket.socket() as probe:  # nothing took it meanwhile: the relay can
            probe.bind(('127.0.0.1', seeded))

        u.result('/instance', 'create_forward', session_id=u.session, device_id=10, node_id=3, label='web',
                 protocol='tcp', host_prefix='mine', host_domain='d.example', host_custom='',
                 client_host='127.0.0.1', client_port=80, bandwidth=1)
        shown = self.ports_shown(u)
        self.assertEqual(shown[100], seeded)  # a change elsewhere keeps a port
        created = shown[101]
        self.assertNotIn(created, (0, seeded, 20101))
        key = next(f['access_key'] for f in self.cloud.state['forwards'] if f['id'] == 101)
        self.assertEqual(self.book(), {'ak': seeded, key: created})

        # a forward put again keeps its port whatever the item says; a
        # removed one leaves the book
        self.cloud.put('forwards', dict(self.cloud.state['forwards'][0], server_port=1))
        self.assertEqual(self.ports_shown(u)[100], seeded)
        u.result('/instance', 'remove_forward', session_id=u.session, forward_id=101)
        self.assertEqual(self.book(), {'ak': seeded})

    def test_without_a_book_ports_are_only_numbers(self):
        self.cloud.stop()
        self.cloud = cloud.Cloud(json.loads(json.dumps(FIXTURE)))
        u = self.user()
        u.result('/instance', 'create_forward', session_id=u.session, device_id=10, node_id=3, label='web',
                 protocol='tcp', host_prefix='mine', host_domain='d.example', host_custom='',
                 client_host='127.0.0.1', client_port=80, bandwidth=1)
        self.assertEqual(self.ports_shown(u)[101], 20101)


class FaultTest(CloudCase):
    servers = 2
    PING = {'id': 1, 'jsonrpc': '2.0', 'method': 'ping', 'params': {}}

    def test_reply_shaping_faults(self):
        def wrong_nonce(c, nonce, reply):
            self.assertNotEqual(reply.headers['x-ca-nonce'], nonce)

        def plaintext(c, nonce, reply):
            self.assertNotIn('content-encoding', reply.headers)
            self.assertEqual(json.loads(reply.body)['result'], None)

        def status(c, nonce, reply):
            self.assertEqual((reply.status, reply.body), (500, b'injected failure'))

        def forced_316(c, nonce, reply):
            self.assertEqual(reply.status, 316)
            self.assertNotIn('x-ca-timestamp-reset', reply.headers)

        def chosen_316(c, nonce, reply):
            self.assertEqual((reply.status, reply.headers['x-ca-timestamp-reset']), (316, '-9223372036854775808'))

        def connection_close(c, nonce, reply):
            self.assertEqual(reply.headers['connection'], 'close')
            self.assertEqual(c.decrypted(reply)['result'], None)

        def chunked(c, nonce, reply):
            self.assertNotEqual(int(reply.headers['content-length']), len(reply.body))
            self.assertEqual(c.decrypted(reply)['id'], 1)

        cases = [('wrong_nonce', {}, wrong_nonce, True), ('plaintext', {}, plaintext, True),
                 ('status', {}, status, True), ('status', {'code': 503}, None, True),
                 ('316', {'reset': False}, forced_316, True),
                 ('316', {'reset': '-9223372036854775808'}, chosen_316, True),
                 ('connection_close', {}, connection_close, False),
                 ('length_mismatch', {'mode': 'chunked'}, chunked, True)]
        for kind, options, check, kept in cases:
            self.cloud.add_fault(kind, times=1, **options)
            c = self.client()
            nonce, reply = c.send_encrypted('/util', self.PING)
            if check:
                check(c, nonce, reply)
            else:
                self.assertEqual(reply.status, options['code'])
            self.assertEqual(self.cloud.recorded()[-1]['fault'], kind)
            if kept:  # the fault was one-shot and the connection still serves
                nonce, reply = c.send_encrypted('/util', self.PING)
                self.assertEqual((reply.status, reply.headers['x-ca-nonce']), (200, nonce), kind)
            else:
                self.assertIsNone(c.sock)

    def test_connection_ending_faults(self):
        cases = [('close_on_accept', {}), ('drop', {}), ('length_mismatch', {}), ('delay', {'ms': 1500})]
        for kind, options in cases:
            self.cloud.add_fault(kind, server=0, times=1, **options)
            c = self.client(timeout=0.3 if kind == 'delay' else 3.0)
            with self.assertRaises((ConnectionError, OSError), msg=kind):
                c.send_encrypted('/util', self.PING)
            c.close()
        # a connection closed at accept carries no request; the delayed one is
        # recorded when its delay ends
        self.assertTrue(self.cloud.wait_calls(3, 10000))
        self.assertEqual([k['fault'] for k in self.cloud.recorded()], ['drop', 'length_mismatch', 'delay'])
        self.assertEqual(self.cloud.conns[0], 4)
        c = self.client()
        self.assertEqual(c.call('/util', 'ping')['result'], None)

    def test_faults_narrowed_by_server_and_method(self):
        self.cloud.add_fault('status', server=0, method='enum_configs')
        on0, on1 = self.client(server=0), self.client(server=1)
        self.assertEqual(on0.call('/util', 'ping')['result'], None)
        _, reply = on0.send_encrypted('/util', {'id': 2, 'jsonrpc': '2.0', 'method': 'enum_configs', 'params': {}})
        self.assertEqual(reply.status, 500)
        self.assertEqual(on1.result('/util', 'enum_configs'), {'configs': {'a': '1'}})
        self.cloud.clear_faults()
        self.assertEqual(on0.result('/util', 'enum_configs'), {'configs': {'a': '1'}})

    def test_answer_overrides(self):
        u = self.user()
        self.cloud.add_fault('rpc_error', method='enum_devices', times=1, code=101, message='gone')
        self.assertEqual(u.call('/instance', 'enum_devices', session_id=u.session)['error'],
                         {'code': 101, 'message': 'gone'})
        self.assertEqual(u.call('/instance', 'enum_devices', session_id=u.session)['error']['code'], 101)
        u = self.user()
        self.cloud.add_fault('result', times=1, value=[])
        self.assertEqual(u.call('/util', 'ping')['result'], [])
        self.cloud.add_fault('response', times=1, value={'id': 999, 'result': {}})
        _, reply = u.send_encrypted('/util', self.PING)
        self.assertEqual(u.decrypted(reply), {'id': 999, 'result': {}})


class ChildProcessTest(unittest.TestCase):
    def start(self, *args):
        proc = subprocess.Popen([sys.executable, '-m', 'peers.cloud', '--serve'] + list(args), env=child_environment(),
                                stdin=subprocess.PIPE,
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        self.addCleanup(self._end, proc)
        return proc

    @staticmethod
    def _end(proc):
        if proc.poll() is None:
            proc.kill()
        proc.wait(timeout=5)
        for f in (proc.stdin, proc.stdout, proc.stderr):
            f.close()

    @staticmethod
    def command(proc, line):
        proc.stdin.write(line + '\n')
        proc.stdin.flush()
        return proc.stdout.readline().strip()

    def test_driven_through_commands(self):
        proc = self.start('--state', DEMO, '--define', 'RELAY=127.0.0.1:7000', '--listen', '2')
        ready = proc.stdout.readline().split()
        self.assertEqual(ready[0], 'ready')
        ports = [int(p) for p in ready[1].split(',')]
        self.assertEqual(len(ports), 2)
        self.assertEqual(self.command(proc, 'fault status server=0 code=500'), 'ok')
        d = Client(ports[0], root='/device', spec_arg='qvdemo')
        _, reply = d.send_encrypted('/util', {'id': 1, 'jsonrpc': '2.0', 'method': 'ping', 'params': {}})
        self.assertEqual(reply.status, 500)
        d.close()
        d = Client(ports[1], root='/device', spec_arg='qvdemo')
        session = d.result('/account', 'login', token='demo-device-token', version='2.0.7')['session_id']
        self.assertEqual(self.command(proc, 'wait calls 2 3000'), 'ok')
        answer = self.command(proc, 'calls since=1')
        self.assertTrue(answer.startswith('ok '))
        self.assertEqual([(k['server'], k['method'], k['params']['token']) for k in json.loads(answer[3:])],
                         [(1, 'login', 'demo-device-token')])
        item = {'id': 101, 'device_id': 10, 'node_id': 1, 'protocol': 'tcp', 'address': '127.0.0.1:5000',
                'standby_servers': '${RELAY}'}
        self.assertEqual(self.command(proc, 'put forwards ' + json.dumps(item)), 'ok')
        fwds = d.result('/instance', 'enum_forwards', session_id=session)['forwards']
        self.assertEqual([(f['id'], f['address'], f['primary_servers']) for f in fwds],
                         [(100, '127.0.0.1:8080', ['127.0.0.1:7000']), (101, '127.0.0.1:5000', ['127.0.0.1:7000'])])
        self.assertEqual(fwds[1]['standby_servers'], ['127.0.0.1:7000'])
        self.assertEqual(self.command(proc, '{"cmd": "remove", "kind": "forwards", "id": 100}'), 'ok')
        self.assertEqual(self.command(proc, 'clock 3600'), 'ok')
        self.assertEqual(len(d.result('/instance', 'enum_forwards', session_id=session)['forwards']), 1)
        self.assertEqual(d.offset // 100, 36)
        self.assertEqual(self.command(proc, 'conns'), 'ok 1,1')
        # the cipher commands let other programs check their bytes against this side
        sealed = self.command(proc, 'encrypt n1 7b7d')[3:]
        self.assertEqual(bytes.fromhex(sealed), my_tea_encrypt(b'{}', my_key('qvdemo', 'n1')))
        self.assertEqual(self.command(proc, 'decrypt n1 ' + sealed), 'ok 7b7d')
        self.assertEqual(self.command(proc, 'encrypt n1 7b7d spec='), 'ok 7b7d')
        self.assertEqual(self.command(proc, 'expire'), 'ok')
        self.assertEqual(d.call('/account', 'query_my_device', session_id=session)['error']['code'], 101)
        self.assertTrue(self.command(proc, 'no_such').startswith('err'))
        self.assertTrue(self.command(proc, 'remove forwards 999').startswith('err'))
        self.assertTrue(self.command(proc, 'put forwards {not json').startswith('err'))
        self.assertTrue(json.loads(self.command(proc, 'state')[3:])['forwards'][0]['id'] == 101)
        d.close()
        self.assertEqual(self.command(proc, 'quit'), 'ok')
        self.assertEqual(proc.wait(timeout=5), 0)

    def test_start_failures(self):
        proc = self.start('--state', DEMO)
        self.assertEqual(proc.wait(timeout=10), 1)
        self.assertIn('${RELAY}', proc.stderr.read())
        proc = self.start('--state', os.path.join(HERE, 'no_such_state.json'))
        self.assertEqual(proc.wait(timeout=10), 1)


if __name__ == '__main__':
    unittest.main()
