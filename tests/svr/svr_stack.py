"""The whole system on loopback for the service program's end-to-end tests and
the demo: the test cloud, the test relay, a local target, and QvrSvr itself
with a data folder of its own (Python 3 standard library only).

    stack = Stack(build_dir, source_dir)
    stack.start_peers(target)          # cloud on the built-in port, relay, target
    stack.bind_device("demo-device-token")
    svr = stack.start_svr()            # QvrSvr --console
    svr.wait_line("[Forward] Updated. #100")
    port = stack.public_port()         # the relay's public listener of the tunnel
    host, port = stack.public_address(FORWARD_ID)   # as the client's list shows it
    ...
    stack.stop()                       # everything it started, in any state

Every wait has a deadline; every child is started in a session of its own
(a Ctrl+C at the terminal reaches only the driver, which then stops them).
"""

import http.server
import json
import os
import re
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time

CLOUD_STATE = 'tests/peers/cloud_demo_state.json'
DEVICE_TOKEN = 'demo-device-token'
FORWARD_ID = 100

# The client shows a forward's public address as host_prefix + "." +
# host_domain + ":" + server_port. This prefix and domain make the host
# 127.0.0.1, which every resolver knows (glibc resolves no names below
# "localhost"), and the cloud's port book makes the relay listen on the port
# the cloud gives the forward: the address shown is the one that works.
PUBLIC_PREFIX = '127'
PUBLIC_DOMAIN = '0.0.1'


class Child:
    """A child process whose output lines are collected by a thread; with
    stdin, a line-command peer (each command answered by one line)."""

    def __init__(self, name, argv, env=None, stdin=False, echo=None):
        self.name = name
        self.lines = []
        self.cond = threading.Condition()
        self.echo = echo
        self.proc = subprocess.Popen(
            argv, env=env, stdin=subprocess.PIPE if stdin else subprocess.DEVNULL,
            stdout=subprocess.PIPE, stderr=subprocess.STDOUT, start_new_session=True)
        self._reader = threading.Thread(target=self._read, daemon=True)
        self._reader.start()

    def _read(self):
        for raw in self.proc.stdout:
            line = raw.decode('utf-8', 'replace').rstrip('\n')
            with self.cond:
                self.lines.append(line)
                self.cond.notify_all()
            if self.echo:
                self.echo(self.name, line)
        with self.cond:
            self.cond.notify_all()

    def count(self):
        with self.cond:
            return len(self.lines)

    def wait_line(self, text, timeout=10.0, start=0):
        """Index of the first line from start that contains text (or matches
        it, for a compiled pattern); raises TimeoutError."""
        deadline = time.monotonic() + timeout
        with self.cond:
            while True:
                for i in range(start, len(self.lines)):
                    line = self.lines[i]
                    if (text.search(line) if hasattr(text, 'search') else text in line):
                        return i
                left = deadline - time.monotonic()
                if left <= 0:
                    raise TimeoutError('%s printed no line with %r; it printed:\n%s'
                                       % (self.name, getattr(text, 'pattern', text), '\n'.join(self.lines)))
                if self.proc.poll() is not None and not self._reader.is_alive():
                    raise RuntimeError('%s ended (%s) without a line with %r; it printed:\n%s'
                                       % (self.name, self.proc.returncode, getattr(text, 'pattern', text),
                                          '\n'.join(self.lines)))
                self.cond.wait(min(left, 0.2))

    def command(self, line, timeout=10.0):
        start = self.count()
        self.proc.stdin.write((line + '\n').encode())
        self.proc.stdin.flush()
        deadline = time.monotonic() + timeout
        with self.cond:
            while len(self.lines) <= start:
                left = deadline - time.monotonic()
                if left <= 0:
                    raise TimeoutError('%s did not answer %r' % (self.name, line))
                self.cond.wait(left)
            return self.lines[start]

    def wait_exit(self, timeout):
        try:
            return self.proc.wait(timeout)
        except subprocess.TimeoutExpired:
            return None

    def stop(self, quit_command=None, timeout=5.0):
        """Ends the child: the quit command and end of input when it takes
        commands, else SIGTERM; SIGKILL after the deadline. Always reaped."""
        if self.proc.poll() is None:
            try:
                if quit_command and self.proc.stdin:
                    self.proc.stdin.write((quit_command + '\n').encode())
                    self.proc.stdin.flush()
                if self.proc.stdin:
                    self.proc.stdin.close()
                elif quit_command is None:
                    self.proc.send_signal(signal.SIGTERM)
            except (BrokenPipeError, OSError):
                pass
            if self.wait_exit(timeout) is None:
                self.proc.kill()
                self.proc.wait(5)
        elif self.proc.stdin:
            try:
                self.proc.stdin.close()
            except OSError:
                pass
        self._reader.join(2)
        self.proc.stdout.close()
        return self.proc.returncode


class PageTarget:
    """A local HTTP target serving one page at every path."""

    def __init__(self, page):
        body = page.encode('utf-8')

        class Handler(http.server.BaseHTTPRequestHandler):
            def do_GET(self):
                self.send_response(200)
                self.send_header('Content-Type', 'text/html; charset=utf-8')
                self.send_header('Content-Length', str(len(body)))
                self.end_headers()
                self.wfile.write(body)

            def log_message(self, *args):
                pass

        self.server = http.server.ThreadingHTTPServer(('127.0.0.1', 0), Handler)
        self.server.daemon_threads = True
        self.port = self.server.server_address[1]
        self._thread = threading.Thread(target=self.server.serve_forever, daemon=True)
        self._thread.start()

    def stop(self):
        self.server.shutdown()
        self.server.server_close()


class EchoTarget:
    """A local target that writes back every byte it reads."""

    def __init__(self):
        self.listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self.listener.bind(('127.0.0.1', 0))
        self.listener.listen(16)
        self.port = self.listener.getsockname()[1]
        self._thread = threading.Thread(target=self._accept, daemon=True)
        self._thread.start()

    def _accept(self):
        while True:
            try:
                sock, _ = self.listener.accept()
            except OSError:
                return
            threading.Thread(target=self._echo, args=(sock,), daemon=True).start()

    @staticmethod
    def _echo(sock):
        with sock:
            while True:
                try:
                    data = sock.recv(65536)
                except OSError:
                    return
                if not data:
                    return
                sock.sendall(data)

    def stop(self):
        try:
            self.listener.shutdown(socket.SHUT_RDWR)
        except OSError:
            pass
        self.listener.close()


def built_in_cloud(build_dir):
    """(port, spec) of the cloud built into the programs, from the build's cache."""
    values = {}
    with open(os.path.join(build_dir, 'CMakeCache.txt'), encoding='utf-8') as cache:
        for line in cache:
            m = re.match(r'(QV_API_HOSTS|QV_API_ENCRYPTION):[A-Z]+=(.*)$', line.rstrip('\n'))
            if m:
                values[m.group(1)] = m.group(2)
    host = values.get('QV_API_HOSTS', '127.0.0.1:18700').split(',')[0]
    return int(host.rsplit(':', 1)[1]), values.get('QV_API_ENCRYPTION', '')


def port_free(port):
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as s:
        # Connections of an earlier run may still sit in TIME_WAIT on the
        # port; the cloud double binds over them, so the check must too.
        s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        try:
            s.bind(('127.0.0.1', port))
            return True
        except OSError:
            return False


def fetch(port, path='/', timeout=5.0, host='127.0.0.1'):
    """One HTTP GET through host:port: (status line, body bytes)."""
    with socket.create_connection((host, port), timeout=timeout) as s:
        s.sendall(('GET %s HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n' % path).encode())
        data = b''
        while True:
            chunk = s.recv(65536)
            if not chunk:
                break
            data += chunk
    head, _, body = data.partition(b'\r\n\r\n')
    return head.split(b'\r\n')[0].decode('latin-1'), body


class Stack:
    def __init__(self, build_dir, source_dir, echo=None):
        self.build_dir = build_dir
        self.source_dir = source_dir
        self.echo = echo
        self.tmp = tempfile.mkdtemp(prefix='qvrsvr_')
        self.base = os.path.join(self.tmp, 'appdata')
        self.data_dir = os.path.join(self.base, 'Quorvane2')
        self.env = dict(os.environ, GT_COMMON_APPDATA=self.base)
        self.cloud = None
        self.relay = None
        self.target = None
        self.svrs = []
        self.cloud_port, self.spec = built_in_cloud(build_dir)

    def path(self, *parts):
        return os.path.join(self.source_dir, *parts)

    def program(self, name):
        return os.path.join(self.build_dir, name)

    def peer_environment(self):
        """The environment of a double run as a module of the package tests/peers."""
        env = dict(os.environ)
        env['PYTHONPATH'] = os.pathsep.join(p for p in (self.path('tests'), env.get('PYTHONPATH')) if p)
        return env

    def start_peers(self, target, port_wait=120.0):
        """The relay, then the cloud on the built-in port, forwarding to
        target. The port is shared by everything on this computer that runs
        the test cloud: wait up to port_wait seconds for it to be free."""
        self.target = target
        self.relay = Child('relay', [sys.executable, '-u', '-m', 'peers.relay'], env=self.peer_environment(), stdin=True)
        self.relay_port = int(self.relay.lines[self.relay.wait_line('port ')].split()[1])
        book = os.path.join(self.tmp, 'ports.json')
        answer = self.relay.command('book ' + book)
        if answer != 'ok':
            raise RuntimeError('the relay took no port book: ' + answer)
        deadline = time.monotonic() + port_wait
        while True:
            if port_free(self.cloud_port):
                self.cloud = Child('cloud', [sys.executable, '-u', '-m', 'peers.cloud', '--serve',
                                             '--state', self.path(CLOUD_STATE),
                                             '--define', 'RELAY=127.0.0.1:%d' % self.relay_port,
                                             '--define', 'TARGET=127.0.0.1:%d' % target.port,
                                             '--define', 'PREFIX=' + PUBLIC_PREFIX,
                                             '--define', 'DOMAIN=' + PUBLIC_DOMAIN,
                                             '--define', 'PORT_BOOK=' + book,
                                             '--ports', str(self.cloud_port), '--spec', self.spec],
                                   env=self.peer_environment(), stdin=True)
                try:
                    self.cloud.wait_line('ready ', timeout=15)
                    return
                except RuntimeError:  # lost the port to another user meanwhile
                    self.cloud.stop('quit')
                    self.cloud = None
            if time.monotonic() >= deadline:
                raise RuntimeError('port %d (the test cloud built into QvrSvr) is taken on 127.0.0.1'
                                   % self.cloud_port)
            time.sleep(0.5)

    def bind_device(self, token=DEVICE_TOKEN, settings=None):
        """Writes properties.cfg as the desktop client does: the device token
        and any further settings ({"net.local_ip": ...})."""
        argv = [self.program('svr_test_helper'), 'set', 'device.token', token]
        for key, value in (settings or {}).items():
            argv += [key, value]
        subprocess.run(argv, env=self.env, check=True, timeout=30)

    def start_svr(self, option='--console'):
        svr = Child('QvrSvr', [self.program('QvrSvr'), option], env=self.env, echo=self.echo)
        self.svrs.append(svr)
        return svr

    def run_svr(self, option, timeout=30):
        """QvrSvr with one option to its end: (exit code, output)."""
        done = subprocess.run([self.program('QvrSvr'), option], env=self.env, stdout=subprocess.PIPE,
                              stderr=subprocess.STDOUT, timeout=timeout)
        return done.returncode, done.stdout.decode('utf-8', 'replace')

    def public_port(self, timeout=15.0):
        """The public port of the relay's newest tunnel, once there is one."""
        deadline = time.monotonic() + timeout
        while True:
            answer = self.relay.command('tunnel')
            if answer.startswith('ok '):
                return int(answer.split()[2])
            if time.monotonic() >= deadline:
                raise TimeoutError('the relay has no tunnel: %s' % answer)
            time.sleep(0.2)

    def public_address(self, forward_id):
        """(host, port) of a forward's public address as the client shows it,
        from the cloud's state; None when the cloud has no such forward."""
        answer = self.cloud.command('state')
        if not answer.startswith('ok '):
            raise RuntimeError('the cloud gave no state: ' + answer)
        for fwd in json.loads(answer[3:])['forwards']:
            if fwd['id'] == forward_id:
                return '%s.%s' % (fwd.get('host_prefix', ''), fwd.get('host_domain', '')), fwd['server_port']
        return None

    def data_file(self, name):
        return os.path.join(self.data_dir, name)

    def request_status(self, timeout=10.0):
        """Asks for a status report as the desktop client does (an empty
        status file) and returns the report's bytes."""
        path = self.data_file('status.json.tmp')
        with open(path, 'wb'):
            pass
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            try:
                with open(path, 'rb') as f:
                    data = f.read(1 << 16)
                if data:
                    with open(path, 'wb'):
                        pass
                    return data
            except FileNotFoundError:
                pass
            time.sleep(0.1)
        raise TimeoutError('no status report within %.0f s' % timeout)

    def poll_status(self):
        """A report when one has arrived since the last call (the request is
        then renewed), else None; asks for one when nobody has."""
        path = self.data_file('status.json.tmp')
        try:
            with open(path, 'rb') as f:
                data = f.read(1 << 16)
        except FileNotFoundError:
            data = b''
        if data or not os.path.exists(path):
            with open(path, 'wb'):
                pass
        return data or None

    def stop(self):
        if 'GT_SERVICE_REGISTRY' in self.env:
            try:
                self.run_svr('--stop-uninstall', timeout=60)
            except subprocess.TimeoutExpired:
                pass
        for svr in self.svrs:
            if svr.proc.poll() is None:
                try:
                    self.run_svr('--exit', timeout=15)
                except subprocess.TimeoutExpired:
                    pass
            svr.stop(timeout=10)
        if self.cloud:
            self.cloud.stop('quit')
        if self.relay:
            self.relay.stop('quit')
        if self.target:
            self.target.stop()
        shutil.rmtree(self.tmp, ignore_errors=True)
