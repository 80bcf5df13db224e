#!/usr/bin/env python3
"""Cloud API server double for the API client, the service program and the demo
(Python 3 standard library only, self-contained: it imports no other double).

Run it as

    python3 -m peers.cloud --serve --state FILE [--define NAME=VALUE ...]
                     [--listen N] [--ports P0,P1,...] [--spec SPEC]

It listens on 127.0.0.1 (N servers on ephemeral ports, or the given ports, 0 for
an ephemeral one), all serving one shared state, prints one line
"ready <port>[,<port>...]" and then obeys control commands on stdin (below).
It can also be used in-process: Cloud(state_dict, servers=N).

Wire format, as the clients expect it
-------------------------------------
* Plain HTTP/1.1 with keep-alive: a connection serves requests until the
  client closes it or a reply says "Connection: close". Every request is a
  POST of one JSON-RPC 2.0 request object to <any prefix>/<role>/<group>, role
  "user" (the desktop client) or "device" (the service program), group "util",
  "account", "instance" or "product".
* TEA (16 cycles, ECB over 8-byte blocks; key words, y and z little-endian;
  the plain text padded with 0x2D to a multiple of 8, then one plain byte
  holding the pad count; an empty text stays empty).
* Encryption spec: steps separated by ";", each "name(argument)"; only "tea"
  counts (any ASCII case), others are skipped. Encrypting runs the steps in
  order, decrypting in reverse order. The key of a step with argument A for
  the message string M is the 16 ASCII characters at 8..23 of
  md5hex(UTF-8(A + M)).
* An encrypted request carries "Content-Encoding: encrypt", "X-Ca-Nonce" (N)
  and "X-Ca-Timestamp" (T, seconds since 1970 UTC); its body is encrypted
  with M = N + T. When T is off the server clock by more than the window
  ("clock_window" seconds, default 300) the answer is status 316 with
  "X-Ca-Timestamp-Reset: <server seconds>" and an empty plain body. An
  encrypted answer repeats N in "X-Ca-Nonce", carries the server's own
  "X-Ca-Timestamp" T2 and is encrypted with N + T2. A request without the
  encoding is answered in plain text. A spec without a "tea" step passes
  bodies through unchanged.
* JSON-RPC errors: -32700 unreadable request, -32601 unknown method,
  -32602 missing or wrongly typed params, 101 session no longer valid; the
  double's own codes: 102 wrong name or password, 103 unknown device token,
  104 device disabled, 201 no such device, 202 no such forward, 203 no such
  policy, 204 no such node, 205 prefix taken.

State (JSON file; every "${NAME}" or "${NAME:-default}" inside a text is
replaced by the --define value, innermost first, so a default may name another
define; an undefined name without default stops the start with a message; a
list field given as a text is split at ","):

    {
      "encryption": "tea(word)",          spec of the bodies ("" = plain)
      "clock_window": 300,
      "port_book": "FILE",                 where the public ports go ("" = none)
      "configs": {"key": "value"},         answer of enum_configs
      "accounts": [{"id", "name", "pwd", "phone_part",
                    "plan": {...}, "quota": {"used": {...}, "limit": {...}},
                    "prefixes": ["name", ...]}],
      "devices":  [{"id", "user_id", "token", "label", "is_disabled",
                    "create_ip", "create_time", "login_ip", "version",
                    "reload_time"}],
      "regions":  [{"id", "label", "brief", "is_disabled", "support_tcp", ...}],
      "nodes":    [{"id", "region_id", "servers": [...], "domains": [...]}],
      "forwards": [{"id", "device_id", "node_id", "label", "protocol",
                    "address" ("host:port") or "client_host" + "client_port",
                    "access_key", "primary_servers", "standby_servers",
                    "acl_id", "server_port", "bandwidth", "is_disabled",
                    "host_prefix", "host_domain", "host_custom", "tip"}],
      "acls":     [{"id", "user_id", "label", "ip_filter", "gateway",
                    "create_time", "ip": {"white", "black"}, "members": [...]}]
    }

Every key is optional. A forward without "primary_servers" uses its node's
"servers".

Public ports. Without a port book a new forward gets server_port 20000 + its
id, a port nothing listens on. With "port_book" the cloud gives every forward
(seeded, put or created) a port that was free on 127.0.0.1 when the forward
first appeared, keeps it for that forward id, and writes the book: a JSON
object {access_key: server_port} of every forward, replaced whole on each
change. The relay double, told the same file ("book FILE"), opens a tunnel's
public listener on the port booked for its access key, so that the address
the cloud shows reaches the target. A device's "reload_time" moves forward (to now, or one past its last
value) whenever one of its forwards or their policies changes.

Control commands (stdin, one per line; each answered with one line "ok ..."
or "err <reason>"). A line is a JSON object {"cmd": NAME, ...} or words
"NAME arg ... key=value ..." (values read as JSON when they parse, else text):

  fault KIND [server=I] [method=M] [times=N] [...]   add a fault (below)
  clear                          remove every fault
  clock SECONDS                  server clock = real clock + SECONDS
  calls [since=N]                -> ok <JSON array of the recorded requests>
  forget                         drop the recorded requests
  wait calls N [MS]              wait until N requests were recorded
  conns                          -> ok <accepted connections per server, "a,b">
  state                          -> ok <JSON of the state>
  load STATE                     replace the state (JSON object, or {"path": FILE})
  put KIND ITEM                  insert or replace one item by id (KIND =
                                 accounts, devices, regions, nodes, forwards, acls)
                                 (load and put fill ${NAME} from the defines too)
  remove KIND ID                 remove one item
  expire                         forget every session (next calls get 101)
  encrypt MESSAGE HEX [spec=S]   -> ok <hex>: the body cipher under the state's
  decrypt MESSAGE HEX [spec=S]      spec (or S) for message string MESSAGE
                                 (nonce + timestamp); "-" is empty
  stop I                         close the listener of server I
  quit                           -> ok, then the double ends

Faults (matched in order; server and method narrow them, times makes them
one-shot or N-shot):

  close_on_accept                close each new connection at once
  delay ms=MS                    wait before answering
  drop                           read the request, close without an answer
  status [code=500]              answer that HTTP status with a plain body
  316 [reset=true]               answer 316 (with the reset header unless
                                 reset=false) whatever the timestamp; any
                                 other reset value is sent as the header's
                                 text in place of the server's time
  rpc_error code=C [message=T]   answer the call with that JSON-RPC error
  result value=V                 answer {"result": V} for the call
  response value=OBJ             answer OBJ as the whole reply object
  wrong_nonce                    echo another nonce
  plaintext                      answer without encrypting
  connection_close               answer with "Connection: close", then close
  length_mismatch [mode=short]   short: declare 7 bytes more than sent, then
                                 close; chunked: a chunked body with a wrong
                                 "Content-Length" header

Recorded request: {"seq", "server", "conn", "path", "role", "group", "method",
"params", "id", "encrypted", "nonce", "timestamp", "headers", "body_hex",
"status", "error", "fault"}. "headers" keeps the names as the client wrote
them; "status" is the HTTP status answered (null when none was sent).
"""

import argparse
import hashlib
import json
import os
import random
import re
import socket
import struct
import sys
import threading
import time

# ---- TEA and the body cipher -------------------------------------------------

DELTA = 0x9E3779B9
CYCLES = 16
MASK = 0xFFFFFFFF


def tea_encrypt(data, key):
    """Enciphered form: blocks, 0x2D padding enciphered with them, one plain count byte."""
    if len(key) != 16:
        raise ValueError('TEA key must be 16 bytes')
    if not data:
        return b''
    k = struct.unpack('<4I', key)
    pad = (-len(data)) & 7
    buf = bytearray(data) + b'\x2d' * pad
    for off in range(0, len(buf), 8):
        y, z = struct.unpack_from('<2I', buf, off)
        s = 0
        for _ in range(CYCLES):
            s = (s + DELTA) & MASK
            y = (y + ((((z << 4) + k[0]) & MASK) ^ ((z + s) & MASK) ^ (((z >> 5) + k[1]) & MASK))) & MASK
            z = (z + ((((y << 4) + k[2]) & MASK) ^ ((y + s) & MASK) ^ (((y >> 5) + k[3]) & MASK))) & MASK
        struct.pack_into('<2I', buf, off, y, z)
    return bytes(buf) + bytes([pad])


def tea_decrypt(data, key):
    """The plain text, or None when the length or the count byte is impossible."""
    if len(key) != 16:
        raise ValueError('TEA key must be 16 bytes')
    if not data:
        return b''
    k = struct.unpack('<4I', key)
    count = data[-1]
    if count >= 0x80:
        count -= 0x100
    buf = bytearray(data[:-1])
    if len(buf) % 8:
        return None
    for off in range(0, len(buf), 8):
        y, z = struct.unpack_from('<2I', buf, off)
        s = (DELTA * CYCLES) & MASK
        for _ in range(CYCLES):
            z = (z - ((((y << 4) + k[2]) & MASK) ^ ((y + s) & MASK) ^ (((y >> 5) + k[3]) & MASK))) & MASK
            y = (y - ((((z << 4) + k[0]) & MASK) ^ ((z + s) & MASK) ^ (((z >> 5) + k[1]) & MASK))) & MASK
            s = (s - DELTA) & MASK
        struct.pack_into('<2I', buf, off, y, z)
    if count < 0 or count > len(buf):
        return None
    return bytes(buf[:len(buf) - count])


def step_key(argument, message):
    return hashlib.md5((argument + message).encode('utf-8')).hexdigest()[8:24].encode('ascii')


def parse_spec(spec):
    """The arguments of the "tea" steps, in spec order."""
    steps = []
    for piece in (spec or '').split(';'):
        piece = piece.strip(' \t\n\r\x0b\x0c')
        open_at = piece.find('(')
        name = (piece if open_at < 0 else piece[:open_at]).lower()
        arg = ''
        if open_at >= 0:
            close_at = piece.find(')', open_at + 1)
            arg = piece[open_at + 1:] if close_at < 0 else piece[open_at + 1:close_at]
        if name == 'tea':
            steps.append(arg)
    return steps


def encrypt_body(spec, data, message):
    for arg in parse_spec(spec):
        data = tea_encrypt(data, step_key(arg, message))
    return data


def decrypt_body(spec, data, message):
    """Decrypts through every step; a failed step gives b'' like the client's cipher."""
    for arg in reversed(parse_spec(spec)):
        data = tea_decrypt(data, step_key(arg, message)) or b''
    return data


# ---- state loading -------------------------------------------------------------

KINDS = ('accounts', 'devices', 'regions', 'nodes', 'forwards', 'acls')
LIST_FIELDS = ('primary_servers', 'standby_servers', 'servers', 'domains', 'prefixes')
_DEFINE = re.compile(r'\$\{([A-Za-z_][A-Za-z0-9_]*)(?::-([^${}]*))?\}')


class StateError(Exception):
    pass


def substitute(value, defines):
    """Replaces ${NAME} and ${NAME:-default} in every text of a JSON value."""
    if isinstance(value, str):
        def one(match):
            name, default = match.group(1), match.group(2)
            if name in defines:
                return defines[name]
            if default is not None:
                return default
            raise StateError('undefined name ${%s} (give --define %s=VALUE)' % (name, name))
        # Innermost first, so a default may itself name a define; bounded
        # because a define's value could name another.
        for _ in range(8):
            replaced = _DEFINE.sub(one, value)
            if replaced == value:
                break
            value = replaced
        return value
    if isinstance(value, list):
        return [substitute(v, defines) for v in value]
    if isinstance(value, dict):
        return {k: substitute(v, defines) for k, v in value.items()}
    return value


def _as_int(value, default=0):
    if isinstance(value, bool):
        return int(value)
    if isinstance(value, int):
        return value
    try:
        return int(str(value).strip())
    except (TypeError, ValueError):
        return default


def normalise_state(state):
    """Fills derived fields so the handlers need not care how the file spelt them."""
    if not isinstance(state, dict):
        raise StateError('state must be a JSON object')
    out = dict(state)
    for kind in KINDS:
        items = out.get(kind, [])
        if not isinstance(items, list) or not all(isinstance(i, dict) for i in items):
            raise StateError('"%s" must be a list of objects' % kind)
        out[kind] = [dict(i) for i in items]
    for kind in KINDS:
        for item in out[kind]:
            if 'id' not in item:
                raise StateError('an item of "%s" has no "id"' % kind)
            item['id'] = _as_int(item['id'])
            for field in LIST_FIELDS:
                if isinstance(item.get(field), str):
                    item[field] = [p.strip() for p in item[field].split(',') if p.strip()]
    for fwd in out['forwards']:
        _split_address(fwd)
    out.setdefault('encryption', '')
    if not isinstance(out.get('port_book', ''), str):
        raise StateError('"port_book" must be a text')
    out.setdefault('port_book', '')
    out['clock_window'] = _as_int(out.get('clock_window', 300), 300)
    if not isinstance(out.get('configs', {}), dict):
        raise StateError('"configs" must be an object')
    out.setdefault('configs', {})
    return out


def _split_address(fwd):
    if fwd.get('address') and 'client_host' not in fwd:
        host, _, port = str(fwd['address']).rpartition(':')
        fwd['client_host'] = host
        fwd['client_port'] = _as_int(port)
    if 'client_port' in fwd:
        fwd['client_port'] = _as_int(fwd['client_port'])
    fwd.pop('address', None)


def load_state_file(path, defines):
    with open(path, 'r', encoding='utf-8') as f:
        raw = json.load(f)
    return normalise_state(substitute(raw, defines))


# ---- JSON-RPC -------------------------------------------------------------------

class RpcError(Exception):
    def __init__(self, code, message):
        super().__init__(message)
        self.code = code
        self.message = message


SESSION_GONE = RpcError(101, '登录已失效, 请重新登录')


def _check(params, spec):
    """spec: name -> 'text' | 'int' | 'object' | 'bool'. Raises -32602 on a miss."""
    for name, kind in spec.items():
        if name not in params:
            raise RpcError(-32602, 'missing param: ' + name)
        v = params[name]
        ok = {'text': isinstance(v, str),
              'int': isinstance(v, int) and not isinstance(v, bool),
              'object': isinstance(v, dict)}[kind]
        if not ok:
            raise RpcError(-32602, 'bad param: ' + name)


FORWARD_USER_KEYS = ('id', 'is_disabled', 'device_id', 'node_id', 'label', 'protocol', 'host_prefix',
                     'host_domain', 'host_custom', 'server_port', 'client_host', 'client_port',
                     'bandwidth', 'acl_id', 'tip', 'region_label')
DEVICE_KEYS = ('id', 'is_disabled', 'user_id', 'label', 'create_ip', 'create_time', 'login_ip',
               'is_online', 'version')
ZERO_QUOTA = {'forward': 0, 'bandwidth': 0, 'https': 0, 'domain': 0, 'traffic_free': 0,
              'traffic_paid': 0, 'bandwidth_float': 0}


class Api:
    """The methods, over a normalised state. Called with the cloud's lock held."""

    def __init__(self, cloud):
        self.cloud = cloud

    @property
    def state(self):
        return self.cloud.state

    # -- lookups
    def _find(self, kind, ident):
        for item in self.state[kind]:
            if item['id'] == ident:
                return item
        return None

    def _next_id(self, kind):
        return max([i['id'] for i in self.state[kind]] + [0]) + 1

    def _session(self, params, role):
        _check(params, {'session_id': 'text'})
        entry = self.cloud.sessions.get(params['session_id'])
        if entry is None or entry[0] != role:
            raise SESSION_GONE
        item = self._find('accounts' if role == 'user' else 'devices', entry[1])
        if item is None:
            raise SESSION_GONE
        return item

    def _new_session(self, role, ident):
        sid = '%032x' % random.getrandbits(128)
        self.cloud.sessions[sid] = (role, ident)
        return sid

    def _own_device(self, user, device_id):
        dev = self._find('devices', device_id)
        if dev is None or dev.get('user_id') != user['id']:
            raise RpcError(201, '设备不存在')
        return dev

    def _own_forward(self, user, forward_id):
        fwd = self._find('forwards', forward_id)
        if fwd is None:
            raise RpcError(202, '映射不存在')
        self._own_device(user, fwd.get('device_id'))
        return fwd

    def _own_acl(self, user, acl_id):
        acl = self._find('acls', acl_id)
        if acl is None or acl.get('user_id') != user['id']:
            raise RpcError(203, '访问策略不存在')
        return acl

    def touch_device(self, device_id):
        dev = self._find('devices', device_id)
        if dev is not None:
            dev['reload_time'] = max(int(time.time()), _as_int(dev.get('reload_time', 0)) + 1)

    # -- views
    def _device_view(self, dev):
        out = {k: dev.get(k, '' if k in ('label', 'create_ip', 'login_ip', 'version') else 0)
               for k in DEVICE_KEYS}
        out['is_disabled'] = bool(dev.get('is_disabled', False))
        out['is_online'] = bool(dev.get('is_online', False))
        out['forwards'] = sum(1 for f in self.state['forwards'] if f.get('device_id') == dev['id'])
        return out

    def _acl_view(self, acl):
        out = {'id': acl['id'], 'label': acl.get('label', ''), 'ip_filter': acl.get('ip_filter', 'disabled'),
               'gateway': acl.get('gateway', 'disabled'), 'create_time': acl.get('create_time', 0),
               'ip': acl.get('ip', {'white': '', 'black': ''}),
               'members': [dict(m) for m in acl.get('members', []) if isinstance(m, dict)]}
        out['forwards'] = sum(1 for f in self.state['forwards'] if f.get('acl_id') == acl['id'])
        return out

    def _forward_user_view(self, fwd):
        out = {}
        for k in FORWARD_USER_KEYS:
            default = -1 if k == 'acl_id' else (False if k == 'is_disabled' else
                                                 0 if k in ('id', 'device_id', 'node_id', 'server_port',
                                                            'client_port', 'bandwidth') else '')
            out[k] = fwd.get(k, default)
        node = self._find('nodes', fwd.get('node_id'))
        region = self._find('regions', node.get('region_id')) if node else None
        if 'region_label' not in fwd:
            out['region_label'] = region.get('label', '') if region else ''
        return out

    def _forward_device_view(self, fwd):
        node = self._find('nodes', fwd.get('node_id'))
        primary = fwd.get('primary_servers')
        if primary is None:
            primary = list(node.get('servers', [])) if node else []
        acl = self._find('acls', fwd.get('acl_id')) if _as_int(fwd.get('acl_id', -1)) > 0 else None
        return {'id': fwd['id'], 'access_key': fwd.get('access_key', ''),
                'protocol': fwd.get('protocol', 'tcp'),
                'address': '%s:%d' % (fwd.get('client_host', ''), _as_int(fwd.get('client_port', 0))),
                'primary_servers': primary, 'standby_servers': list(fwd.get('standby_servers', [])),
                'acl': self._acl_view(acl) if acl else {},
                'is_disabled': bool(fwd.get('is_disabled', False))}

    # -- dispatch
    def call(self, role, group, method, params, peer_ip):
        handler = getattr(self, 'm_%s_%s_%s' % (role, group, method), None)
        if handler is None:
            raise RpcError(-32601, 'Method not found: ' + method)
        return handler(params, peer_ip)

    # /util (both roles)
    def m_user_util_ping(self, params, ip):
        return None

    m_device_util_ping = m_user_util_ping

    def m_user_util_enum_configs(self, params, ip):
        return {'configs': dict(self.state.get('configs', {}))}

    # /account, user
    def m_user_account_login(self, params, ip):
        _check(params, {'name': 'text', 'pwd': 'text', 'version': 'text'})
        for acc in self.state['accounts']:
            if acc.get('name') == params['name'] and acc.get('pwd', '') == params['pwd']:
                return {'session_id': self._new_session('user', acc['id'])}
        raise RpcError(102, '用户名或密码错误')

    def m_user_account_logout(self, params, ip):
        _check(params, {'session_id': 'text'})
        self.cloud.sessions.pop(params['session_id'], None)
        return None

    def m_user_account_query_my_user(self, params, ip):
        acc = self._session(params, 'user')
        return {'user': {'id': acc['id'], 'name': acc.get('name', ''), 'phone_part': acc.get('phone_part', '')}}

    # /account, device
    def m_device_account_login(self, params, ip):
        _check(params, {'token': 'text', 'version': 'text'})
        for dev in self.state['devices']:
            if dev.get('token') and dev.get('token') == params['token']:
                if dev.get('is_disabled'):
                    raise RpcError(104, '设备已停用')
                dev['is_online'] = True
                dev['login_ip'] = ip
                dev['version'] = params['version']
                return {'session_id': self._new_session('device', dev['id'])}
        raise RpcError(103, '设备令牌无效')

    def m_device_account_logout(self, params, ip):
        _check(params, {'session_id': 'text'})
        entry = self.cloud.sessions.pop(params['session_id'], None)
        if entry and entry[0] == 'device':
            dev = self._find('devices', entry[1])
            if dev is not None:
                dev['is_online'] = False
        return None

    def m_device_account_query_my_device(self, params, ip):
        dev = self._session(params, 'device')
        view = self._device_view(dev)
        view['reload_time'] = _as_int(dev.get('reload_time', 0))
        return {'device': view}

    # /instance, device
    def m_device_instance_enum_forwards(self, params, ip):
        dev = self._session(params, 'device')
        return {'forwards': [self._forward_device_view(f) for f in self.state['forwards']
                             if f.get('device_id') == dev['id']]}

    # /instance, user
    def m_user_instance_enum_regions(self, params, ip):
        self._session(params, 'user')
        return {'regions': [dict(r) for r in self.state['regions']]}

    def m_user_instance_enum_nodes(self, params, ip):
        self._session(params, 'user')
        _check(params, {'region_id': 'int'})
        return {'nodes': [{'id': n['id'], 'servers': list(n.get('servers', [])),
                           'domains': list(n.get('domains', []))}
                          for n in self.state['nodes'] if n.get('region_id') == params['region_id']]}

    def m_user_instance_enum_forwards(self, params, ip):
        user = self._session(params, 'user')
        _check(params, {'device_id': 'int'})
        self._own_device(user, params['device_id'])
        return {'forwards': [self._forward_user_view(f) for f in self.state['forwards']
                             if f.get('device_id') == params['device_id']]}

    def m_user_instance_enum_devices(self, params, ip):
        user = self._session(params, 'user')
        return {'devices': [self._device_view(d) for d in self.state['devices']
                            if d.get('user_id') == user['id']]}

    def m_user_instance_create_device(self, params, ip):
        user = self._session(params, 'user')
        _check(params, {'label': 'text'})
        dev = {'id': self._next_id('devices'), 'user_id': user['id'], 'label': params['label'],
               'token': '%032x' % random.getrandbits(128), 'create_ip': ip,
               'create_time': int(time.time()), 'reload_time': int(time.time())}
        self.state['devices'].append(dev)
        return {'device_id': dev['id'], 'device_token': dev['token']}

    def m_user_instance_modify_device(self, params, ip):
        user = self._session(params, 'user')
        _check(params, {'device_id': 'int', 'fields': 'object'})
        dev = self._own_device(user, params['device_id'])
        for key in ('label', 'is_disabled'):
            if key in params['fields']:
                dev[key] = params['fields'][key]
        return None

    def m_user_instance_remove_device(self, params, ip):
        user = self._session(params, 'user')
        _check(params, {'device_id': 'int'})
        dev = self._own_device(user, params['device_id'])
        self.state['devices'].remove(dev)
        self.state['forwards'] = [f for f in self.state['forwards'] if f.get('device_id') != dev['id']]
        self.cloud.book_ports()
        for sid in [s for s, e in self.cloud.sessions.items() if e == ('device', dev['id'])]:
            del self.cloud.sessions[sid]
        return None

    def m_user_instance_create_forward(self, params, ip):
        user = self._session(params, 'user')
        _check(params, {'device_id': 'int', 'node_id': 'int', 'label': 'text', 'protocol': 'text',
                        'host_prefix': 'text', 'host_domain': 'text', 'host_custom': 'text',
                        'client_host': 'text', 'client_port': 'int', 'bandwidth': 'int'})
        self._own_device(user, params['device_id'])
        if self._find('nodes', params['node_id']) is None:
            raise RpcError(204, '节点不存在')
        fwd = {k: params[k] for k in ('device_id', 'node_id', 'label', 'protocol', 'host_prefix',
                                      'host_domain', 'host_custom', 'client_host', 'client_port',
                                      'bandwidth')}
        fwd['id'] = self._next_id('forwards')
        fwd['access_key'] = '%032x' % random.getrandbits(128)
        fwd['acl_id'] = -1
        fwd['server_port'] = 20000 + fwd['id']
        self.state['forwards'].append(fwd)
        self.cloud.book_ports()
        self.touch_device(fwd['device_id'])
        return None

    def m_user_instance_modify_forward(self, params, ip):
        user = self._session(params, 'user')
        _check(params, {'forward_id': 'int', 'fields': 'object'})
        fwd = self._own_forward(user, params['forward_id'])
        fields = params['fields']
        if 'device_id' in fields:
            self._own_device(user, _as_int(fields['device_id']))
        if _as_int(fields.get('acl_id', -1)) > 0:
            self._own_acl(user, _as_int(fields['acl_id']))
        old_device = fwd.get('device_id')
        for key in ('label', 'client_host', 'client_port', 'bandwidth', 'device_id', 'acl_id', 'is_disabled'):
            if key in fields:
                fwd[key] = fields[key]
        self.touch_device(old_device)
        self.touch_device(fwd.get('device_id'))
        return None

    def m_user_instance_remove_forward(self, params, ip):
        user = self._session(params, 'user')
        _check(params, {'forward_id': 'int'})
        fwd = self._own_forward(user, params['forward_id'])
        self.state['forwards'].remove(fwd)
        self.cloud.book_ports()
        self.touch_device(fwd.get('device_id'))
        return None

    def m_user_instance_enum_acls(self, params, ip):
        user = self._session(params, 'user')
        return {'acls': [self._acl_view(a) for a in self.state['acls'] if a.get('user_id') == user['id']]}

    def _store_acl(self, acl, given):
        for key in ('label', 'ip_filter', 'gateway', 'ip'):
            if key in given:
                acl[key] = given[key]
        if isinstance(given.get('members'), list):
            old = {m.get('name'): m for m in acl.get('members', []) if isinstance(m, dict)}
            members = []
            for m in given['members']:
                if not isinstance(m, dict):
                    continue
                m = dict(m)
                if not m.get('pwd') and m.get('name') in old:
                    m['pwd'] = old[m.get('name')].get('pwd', '')
                members.append(m)
            acl['members'] = members

    def m_user_instance_create_acl(self, params, ip):
        user = self._session(params, 'user')
        _check(params, {'acl': 'object'})
        acl = {'id': self._next_id('acls'), 'user_id': user['id'], 'create_time': int(time.time())}
        self._store_acl(acl, params['acl'])
        self.state['acls'].append(acl)
        return None

    def m_user_instance_modify_acl(self, params, ip):
        user = self._session(params, 'user')
        _check(params, {'acl_id': 'int', 'acl': 'object'})
        acl = self._own_acl(user, params['acl_id'])
        self._store_acl(acl, params['acl'])
        for fwd in self.state['forwards']:
            if fwd.get('acl_id') == acl['id']:
                self.touch_device(fwd.get('device_id'))
        return None

    def m_user_instance_remove_acl(self, params, ip):
        user = self._session(params, 'user')
        _check(params, {'acl_id': 'int'})
        acl = self._own_acl(user, params['acl_id'])
        self.state['acls'].remove(acl)
        for fwd in self.state['forwards']:
            if fwd.get('acl_id') == acl['id']:
                fwd['acl_id'] = -1
                self.touch_device(fwd.get('device_id'))
        return None

    # /product, user
    def _taken_prefixes(self):
        return {p for a in self.state['accounts'] for p in a.get('prefixes', [])}

    def m_user_product_enum_prefixes(self, params, ip):
        user = self._session(params, 'user')
        return {'prefixes': [{'name': p} for p in user.get('prefixes', [])]}

    def m_user_product_check_prefix(self, params, ip):
        self._session(params, 'user')
        _check(params, {'prefix_name': 'text'})
        if params['prefix_name'] in self._taken_prefixes():
            raise RpcError(205, '前缀已被占用')
        return None

    def m_user_product_create_prefix_free(self, params, ip):
        user = self._session(params, 'user')
        _check(params, {'prefix_name': 'text'})
        if params['prefix_name'] in self._taken_prefixes():
            raise RpcError(205, '前缀已被占用')
        user.setdefault('prefixes', []).append(params['prefix_name'])
        return None

    def m_user_product_query_plan(self, params, ip):
        user = self._session(params, 'user')
        return {'plan': user.get('plan')}

    def m_user_product_query_quota(self, params, ip):
        user = self._session(params, 'user')
        quota = user.get('quota') or {}
        return {'quota': {'used': quota.get('used', dict(ZERO_QUOTA)),
                          'limit': quota.get('limit', dict(ZERO_QUOTA))}}


# ---- HTTP ---------------------------------------------------------------------

MAX_HEAD = 64 * 1024
MAX_BODY = 16 * 1024 * 1024
REASONS = {200: 'OK', 316: 'Timestamp Reset', 400: 'Bad Request', 404: 'Not Found',
           405: 'Method Not Allowed', 413: 'Payload Too Large', 500: 'Internal Server Error',
           502: 'Bad Gateway', 503: 'Service Unavailable'}


class Conn:
    def __init__(self, sock):
        self.sock = sock
        self.buf = bytearray()

    def _fill(self):
        data = self.sock.recv(65536)
        if not data:
            return False
        self.buf += data
        return True

    def read_request(self):
        """(method, target, version, [(name, value)], body), None at a clean end;
        raises ValueError on a malformed request."""
        while b'\r\n\r\n' not in self.buf:
            if len(self.buf) > MAX_HEAD:
                raise ValueError('head too long')
            if not self._fill():
                if self.buf:
                    raise ValueError('truncated head')
                return None
        end = self.buf.index(b'\r\n\r\n')
        head = bytes(self.buf[:end]).decode('latin-1')
        del self.buf[:end + 4]
        lines = head.split('\r\n')
        parts = lines[0].split(' ')
        if len(parts) != 3:
            raise ValueError('bad request line')
        headers = []
        for line in lines[1:]:
            name, sep, value = line.partition(':')
            if not sep:
                raise ValueError('bad header line')
            headers.append((name.strip(), value.strip()))
        lengths = [v for n, v in headers if n.lower() == 'content-length']
        if any(n.lower() == 'transfer-encoding' for n, _ in headers):
            raise ValueError('chunked requests are not served')
        length = int(lengths[0]) if lengths else 0
        if length < 0 or length > MAX_BODY:
            raise ValueError('bad length')
        while len(self.buf) < length:
            if not self._fill():
                raise ValueError('truncated body')
        body = bytes(self.buf[:length])
        del self.buf[:length]
        return parts[0], parts[1], parts[2], headers, body


def header(headers, name):
    for n, v in headers:
        if n.lower() == name.lower():
            return v
    return None


def http_reply(status, headers, body, declared=None, chunked=False):
    out = ['HTTP/1.1 %d %s' % (status, REASONS.get(status, 'Status'))]
    for n, v in headers:
        out.append('%s: %s' % (n, v))
    if chunked:
        out.append('Transfer-Encoding: chunked')
        out.append('Content-Length: %d' % (len(body) + 3))
        data = (b'%x\r\n' % len(body)) + body + b'\r\n0\r\n\r\n' if body else b'0\r\n\r\n'
        return ('\r\n'.join(out) + '\r\n\r\n').encode('latin-1') + data
    out.append('Content-Length: %d' % (len(body) if declared is None else declared))
    return ('\r\n'.join(out) + '\r\n\r\n').encode('latin-1') + body


# ---- the server ------------------------------------------------------------------

def _free_port(taken):
    """A port free on 127.0.0.1 now, not one of taken."""
    while True:
        with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as probe:
            probe.bind(('127.0.0.1', 0))
            port = probe.getsockname()[1]
        if port not in taken:
            return port


class Cloud:
    """One shared state served by one or more listeners on 127.0.0.1."""

    def __init__(self, state, servers=1, ports=None, defines=None):
        self.lock = threading.Condition()
        self.defines = dict(defines or {})
        self.state = normalise_state(substitute(state, self.defines))
        self.sessions = {}
        self.faults = []
        self.calls = []
        self.skew = 0
        self.booked = {}  # forward id -> public port, while a port book is kept
        self.api = Api(self)
        self.book_ports()
        self.stopping = threading.Event()
        self.listeners = []
        self.conns = []
        self.open_socks = set()
        ports = list(ports) if ports else [0] * servers
        for index, port in enumerate(ports):
            sock = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
            sock.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
            sock.bind(('127.0.0.1', port))
            sock.listen(64)
            self.listeners.append(sock)
            self.conns.append(0)
            threading.Thread(target=self._accept_loop, args=(index, sock), daemon=True).start()

    @property
    def ports(self):
        return [s.getsockname()[1] for s in self.listeners]

    def now(self):
        return int(time.time()) + self.skew

    # -- control
    def add_fault(self, kind, server=None, method=None, times=None, **options):
        with self.lock:
            self.faults.append({'kind': kind, 'server': server, 'method': method,
                                'times': times, 'options': options})

    def clear_faults(self):
        with self.lock:
            self.faults = []

    def recorded(self, since=0):
        with self.lock:
            return [dict(c) for c in self.calls[since:]]

    def wait_calls(self, count, timeout_ms=3000):
        deadline = time.monotonic() + timeout_ms / 1000.0
        with self.lock:
            while len(self.calls) < count:
                left = deadline - time.monotonic()
                if left <= 0:
                    return False
                self.lock.wait(left)
            return True

    def put(self, kind, item):
        if kind not in KINDS or not isinstance(item, dict) or 'id' not in item:
            raise StateError('put needs a kind of %s and an item with an id' % ', '.join(KINDS))
        with self.lock:
            one = normalise_state({kind: [substitute(item, self.defines)]})[kind][0]
            items = self.state[kind]
            old = next((i for i in items if i['id'] == one['id']), None)
            if old is not None:
                items[items.index(old)] = one
            else:
                items.append(one)
            if kind == 'forwards':
                self.book_ports()
                self.api.touch_device(one.get('device_id'))
                if old is not None and old.get('device_id') != one.get('device_id'):
                    self.api.touch_device(old.get('device_id'))

    def remove(self, kind, ident):
        with self.lock:
            if kind not in KINDS:
                raise StateError('unknown kind ' + str(kind))
            item = self.api._find(kind, ident)
            if item is None:
                raise StateError('no %s with id %s' % (kind, ident))
            self.state[kind].remove(item)
            if kind == 'forwards':
                self.book_ports()
                self.api.touch_device(item.get('device_id'))

    def load(self, state):
        with self.lock:
            self.state = normalise_state(substitute(state, self.defines))
            self.sessions = {}
            self.book_ports()

    def book_ports(self):
        """With a port book: gives each forward its public port (a new one
        the first time an id is seen) and rewrites the book. The port is
        only free when picked; the relay takes it a moment later."""
        with self.lock:
            path = self.state.get('port_book', '')
            if not path:
                return
            forwards = self.state['forwards']
            for fwd in forwards:
                if fwd['id'] not in self.booked:
                    self.booked[fwd['id']] = _free_port(set(self.booked.values()))
                fwd['server_port'] = self.booked[fwd['id']]
            book = {str(f.get('access_key', '')): f['server_port'] for f in forwards if f.get('access_key')}
            temporary = path + '.tmp'
            with open(temporary, 'w', encoding='utf-8') as f:
                json.dump(book, f)
            os.replace(temporary, path)

    def stop_server(self, index):
        sock = self.listeners[index]
        try:
            sock.shutdown(socket.SHUT_RDWR)
        except OSError:
            pass
        sock.close()

    def stop(self):
        self.stopping.set()
        for i in range(len(self.listeners)):
            self.stop_server(i)
        with self.lock:
            socks = list(self.open_socks)
        for s in socks:
            try:
                s.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass

    # -- serving
    def _take_fault(self, server, method, kinds):
        """The first matching fault of one of the kinds (its use counted), or None."""
        with self.lock:
            for fault in self.faults:
                if fault['kind'] not in kinds:
                    continue
                if fault['server'] is not None and fault['server'] != server:
                    continue
                if fault['method'] is not None and fault['method'] != method:
                    continue
                if fault['times'] is not None:
                    fault['times'] -= 1
                    if fault['times'] <= 0:
                        self.faults.remove(fault)
                return fault
        return None

    def _accept_loop(self, index, listener):
        while True:
            try:
                sock, peer = listener.accept()
            except OSError:
                return
            with self.lock:
                conn_no = self.conns[index]
                self.conns[index] += 1
                self.lock.notify_all()
            if self._take_fault(index, None, ('close_on_accept',)):
                sock.close()
                continue
            threading.Thread(target=self._serve, args=(index, conn_no, sock, peer[0]), daemon=True).start()

    def _serve(self, index, conn_no, sock, peer_ip):
        with self.lock:
            self.open_socks.add(sock)
        conn = Conn(sock)
        try:
            while not self.stopping.is_set():
                try:
                    req = conn.read_request()
                except ValueError as exc:
                    sock.sendall(http_reply(400, [('Connection', 'close')], str(exc).encode()))
                    break
                if req is None or not self._answer(index, conn_no, sock, peer_ip, req):
                    break
        except OSError:
            pass
        finally:
            with self.lock:
                self.open_socks.discard(sock)
            try:
                sock.close()
            except OSError:
                pass

    def _record(self, record):
        with self.lock:
            record['seq'] = len(self.calls)
            self.calls.append(record)
            self.lock.notify_all()

    def _answer(self, index, conn_no, sock, peer_ip, req):
        """Answers one request; False closes the connection."""
        verb, target, _version, headers, body = req
        path = target.split('?', 1)[0]
        segments = [s for s in path.split('/') if s]
        role, group = (segments[-2], segments[-1]) if len(segments) >= 2 else (None, None)
        encrypted = (header(headers, 'Content-Encoding') or '').lower() == 'encrypt'
        nonce = header(headers, 'X-Ca-Nonce') or ''
        stamp = header(headers, 'X-Ca-Timestamp') or ''
        with self.lock:
            spec = self.state.get('encryption', '')
            window = self.state.get('clock_window', 300)
        plain = decrypt_body(spec, body, nonce + stamp) if encrypted else body
        record = {'server': index, 'conn': conn_no, 'path': path, 'role': role, 'group': group,
                  'method': None, 'params': None, 'id': None, 'encrypted': encrypted, 'nonce': nonce,
                  'timestamp': stamp, 'headers': [list(h) for h in headers], 'body_hex': body.hex(),
                  'status': None, 'error': None, 'fault': None}
        request = None
        try:
            request = json.loads(plain.decode('utf-8'))
        except (UnicodeDecodeError, ValueError):
            pass
        if isinstance(request, dict):
            record['method'] = request.get('method') if isinstance(request.get('method'), str) else None
            record['params'] = request.get('params')
            record['id'] = request.get('id')
        method = record['method']

        def send(data, keep=True, status=None):
            record['status'] = status
            self._record(record)
            if data:
                sock.sendall(data)
            return keep

        delay = self._take_fault(index, method, ('delay',))
        if delay:
            record['fault'] = 'delay'
            if self.stopping.wait(_as_int(delay['options'].get('ms', 0)) / 1000.0):
                return send(b'', False)
        fault = self._take_fault(index, method, ('drop', 'status', 'http500', '316'))
        if fault:
            record['fault'] = fault['kind']
            if fault['kind'] == 'drop':
                return send(b'', False)
            if fault['kind'] == '316':
                hdrs = []
                reset = fault['options'].get('reset', True)
                if reset in (True, 'true', 1):
                    hdrs.append(('X-Ca-Timestamp-Reset', str(self.now())))
                elif reset not in (False, 'false', 0):
                    hdrs.append(('X-Ca-Timestamp-Reset', str(reset)))
                return send(http_reply(316, hdrs + [('Connection', 'keep-alive')], b''), True, 316)
            code = _as_int(fault['options'].get('code', 500), 500)
            return send(http_reply(code, [('Content-Type', 'text/plain'), ('Connection', 'keep-alive')],
                                   b'injected failure'), True, code)
        if verb != 'POST':
            return send(http_reply(405, [('Connection', 'keep-alive')], b''), True, 405)
        if encrypted:
            try:
                skewed = abs(int(stamp) - self.now()) > window
            except ValueError:
                skewed = True
            if skewed:
                return send(http_reply(316, [('X-Ca-Timestamp-Reset', str(self.now())),
                                             ('Connection', 'keep-alive')], b''), True, 316)

        reply = self._rpc(index, role, group, request, peer_ip, record)
        text = json.dumps(reply, ensure_ascii=False).encode('utf-8')
        out_headers = [('Content-Type', 'application/json; charset=utf-8')]
        if encrypted and not self._use(index, method, 'plaintext', record):
            answer_nonce = nonce
            if self._use(index, method, 'wrong_nonce', record):
                answer_nonce = hashlib.md5(nonce.encode()).hexdigest()[8:24]
            answer_stamp = str(self.now())
            text = encrypt_body(spec, text, nonce + answer_stamp)
            out_headers += [('Content-Encoding', 'encrypt'), ('X-Ca-Nonce', answer_nonce),
                            ('X-Ca-Timestamp', answer_stamp)]
        if self._use(index, method, 'connection_close', record):
            return send(http_reply(200, out_headers + [('Connection', 'close')], text), False, 200)
        mismatch = self._take_fault(index, method, ('length_mismatch',))
        if mismatch:
            record['fault'] = 'length_mismatch'
            if mismatch['options'].get('mode', 'short') == 'chunked':
                return send(http_reply(200, out_headers + [('Connection', 'keep-alive')], text, chunked=True),
                            True, 200)
            return send(http_reply(200, out_headers + [('Connection', 'keep-alive')], text,
                                   declared=len(text) + 7), False, 200)
        return send(http_reply(200, out_headers + [('Connection', 'keep-alive')], text), True, 200)

    def _use(self, index, method, kind, record):
        if self._take_fault(index, method, (kind,)):
            record['fault'] = kind
            return True
        return False

    def _rpc(self, index, role, group, request, peer_ip, record):
        if not isinstance(request, dict) or not isinstance(request.get('method'), str):
            record['error'] = -32700
            return {'jsonrpc': '2.0', 'id': None, 'error': {'code': -32700, 'message': 'Parse error'}}
        rid = request.get('id')
        method = request['method']
        forced = self._take_fault(index, method, ('rpc_error', 'result', 'response'))
        if forced:
            record['fault'] = forced['kind']
            opts = forced['options']
            if forced['kind'] == 'response':
                return opts.get('value')
            if forced['kind'] == 'result':
                return {'jsonrpc': '2.0', 'id': rid, 'result': opts.get('value')}
            code = _as_int(opts.get('code', 0))
            record['error'] = code
            if code == 101:
                with self.lock:
                    params = request.get('params') if isinstance(request.get('params'), dict) else {}
                    self.sessions.pop(params.get('session_id'), None)
            return {'jsonrpc': '2.0', 'id': rid,
                    'error': {'code': code, 'message': str(opts.get('message', 'injected error'))}}
        params = request.get('params', {})
        try:
            if not isinstance(params, dict):
                raise RpcError(-32602, 'params must be an object')
            if role not in ('user', 'device') or group not in ('util', 'account', 'instance', 'product'):
                raise RpcError(-32601, 'Method not found: ' + method)
            with self.lock:
                result = self.api.call(role, group, method, params, peer_ip)
            return {'jsonrpc': '2.0', 'id': rid, 'result': result}
        except RpcError as exc:
            record['error'] = exc.code
            return {'jsonrpc': '2.0', 'id': rid, 'error': {'code': exc.code, 'message': exc.message}}


# ---- command interface -------------------------------------------------------------

def _value(text):
    try:
        return json.loads(text)
    except ValueError:
        return text


def parse_command(line):
    """A JSON object line, or words: name, positional arguments, key=value options."""
    line = line.strip()
    if line.startswith('{'):
        cmd = json.loads(line)
        if not isinstance(cmd, dict) or not isinstance(cmd.get('cmd'), str):
            raise ValueError('a JSON command needs "cmd"')
        return cmd
    first = line.split(None, 1)[0]
    # put and load end in a JSON value that may hold blanks: keep it whole.
    words = line.split(None, {'put': 2, 'load': 1}.get(first, -1))
    cmd = {'cmd': words[0], 'args': []}
    for word in words[1:]:
        key, sep, value = word.partition('=')
        if sep and re.match(r'^[A-Za-z_]+$', key) and first not in ('put', 'load'):
            cmd[key] = _value(value)
        else:
            cmd['args'].append(_value(word))
    return cmd


def execute(cloud, cmd):
    """Runs one command; returns the answer line."""
    name = cmd['cmd']
    args = list(cmd.get('args', []))
    opts = {k: v for k, v in cmd.items() if k not in ('cmd', 'args')}
    if name == 'fault':
        kind = str(opts.pop('kind', None) or args.pop(0))
        cloud.add_fault(kind, server=opts.pop('server', None), method=opts.pop('method', None),
                        times=opts.pop('times', None), **opts)
        return 'ok'
    if name == 'clear':
        cloud.clear_faults()
        return 'ok'
    if name == 'clock':
        cloud.skew = _as_int(opts.get('skew', args[0] if args else 0))
        return 'ok'
    if name == 'calls':
        return 'ok ' + json.dumps(cloud.recorded(_as_int(opts.get('since', 0))), ensure_ascii=False)
    if name == 'forget':
        with cloud.lock:
            cloud.calls = []
        return 'ok'
    if name == 'wait':
        what = args[0] if args else opts.get('what')
        if what != 'calls':
            return 'err unknown wait'
        count = _as_int(args[1] if len(args) > 1 else opts.get('count', 1))
        ms = _as_int(args[2] if len(args) > 2 else opts.get('ms', 3000))
        return 'ok' if cloud.wait_calls(count, ms) else 'err timeout'
    if name == 'conns':
        with cloud.lock:
            return 'ok ' + ','.join(str(n) for n in cloud.conns)
    if name == 'state':
        with cloud.lock:
            return 'ok ' + json.dumps(cloud.state, ensure_ascii=False)
    if name == 'load':
        state = opts.get('state', args[0] if args else None)
        if isinstance(state, dict) and 'path' in state and len(state) == 1:
            with open(state['path'], 'r', encoding='utf-8') as f:
                state = json.load(f)
        cloud.load(state)
        return 'ok'
    if name == 'put':
        kind = opts.get('kind', args[0] if args else None)
        item = opts.get('item', args[1] if len(args) > 1 else None)
        cloud.put(kind, item)
        return 'ok'
    if name == 'remove':
        cloud.remove(opts.get('kind', args[0] if args else None),
                     _as_int(opts.get('id', args[1] if len(args) > 1 else None)))
        return 'ok'
    if name == 'expire':
        with cloud.lock:
            cloud.sessions = {}
        return 'ok'
    if name in ('encrypt', 'decrypt'):
        message = str(opts.get('message', args[0] if args else ''))
        data = args[1] if len(args) > 1 else opts.get('hex', '-')
        data = b'' if data in ('-', '') else bytes.fromhex(str(data))
        with cloud.lock:
            spec = str(opts.get('spec', cloud.state.get('encryption', '')))
        out = (encrypt_body if name == 'encrypt' else decrypt_body)(spec, data, message)
        return 'ok ' + (out.hex() or '-')
    if name == 'stop':
        cloud.stop_server(_as_int(opts.get('server', args[0] if args else 0)))
        return 'ok'
    return 'err unknown command ' + name


def serve_commands(cloud, inp, out):
    for line in inp:
        if not line.strip():
            continue
        try:
            cmd = parse_command(line)
            if cmd['cmd'] == 'quit':
                _say(out, 'ok')
                return
            text = execute(cloud, cmd)
        except (IndexError, ValueError, KeyError, TypeError, StateError, OSError) as exc:
            text = 'err %s: %s' % (type(exc).__name__, exc)
        _say(out, text)


def _say(out, line):
    try:
        out.write(line.replace('\n', ' ') + '\n')
        out.flush()
    except BrokenPipeError:
        pass


def main(argv=None):
    parser = argparse.ArgumentParser(description='Cloud API server double (loopback only).')
    parser.add_argument('--serve', action='store_true', help='serve until "quit" or end of input')
    parser.add_argument('--state', help='state file (JSON)')
    parser.add_argument('--define', action='append', default=[], metavar='NAME=VALUE')
    parser.add_argument('--listen', type=int, default=1, help='number of servers on ephemeral ports')
    parser.add_argument('--ports', help='comma-separated ports (0 = ephemeral), instead of --listen')
    parser.add_argument('--spec', help='encryption spec, overriding the state file')
    args = parser.parse_args(argv)
    if not args.serve:
        parser.print_help()
        return 2
    defines = {}
    for item in args.define:
        name, sep, value = item.partition('=')
        if not sep or not name:
            parser.error('--define needs NAME=VALUE, got ' + item)
        defines[name] = value
    try:
        state = load_state_file(args.state, defines) if args.state else normalise_state({})
    except (OSError, ValueError, StateError) as exc:
        sys.stderr.write('cloud: cannot load the state: %s\n' % exc)
        return 1
    if args.spec is not None:
        state['encryption'] = args.spec
    ports = [int(p) for p in args.ports.split(',')] if args.ports else None
    try:
        cloud = Cloud(state, servers=max(1, args.listen), ports=ports, defines=defines)
    except OSError as exc:
        sys.stderr.write('cloud: cannot listen: %s\n' % exc)
        return 1
    _say(sys.stdout, 'ready ' + ','.join(str(p) for p in cloud.ports))
    serve_commands(cloud, sys.stdin, sys.stdout)
    cloud.stop()
    return 0


if __name__ == '__main__':
    sys.exit(main())
