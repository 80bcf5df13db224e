#!/usr/bin/env python3
"""End-to-end runs of the real QvrSvr against the test cloud, the test relay and
local targets: the console run from login to --exit, the forward list
following the cloud, the command line without a running instance, signals,
and the service manager's install/start/stop/uninstall."""

import json
import os
import re
import shutil
import signal
import socket
import subprocess
import sys
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))

from svr import svr_stack

SOURCE = os.environ.get('GT_SOURCE_DIR', os.path.dirname(os.path.dirname(HERE)))
BUILD = os.environ.get('GT_BUILD_DIR', os.path.join(SOURCE, 'build'))

STATUS_ONE_FORWARD = re.compile(
    rb'\A\{\r\n\t"forwards":\[\r\n\t\t\{\r\n\t\t\t"channels":0,\r\n\t\t\t"id":100,\r\n'
    rb'\t\t\t"ping":(0|[1-9][0-9]*)\r\n\t\t\}\r\n\t\]\r\n\}\Z')


def echo_through(port, payload, timeout=10.0):
    """Sends payload to the public port and reads it back."""
    with socket.create_connection(('127.0.0.1', port), timeout=timeout) as s:
        s.sendall(payload)
        got = b''
        while len(got) < len(payload):
            chunk = s.recv(65536)
            if not chunk:
                break
            got += chunk
        return got


def forward_item(forward_id, device_id, stack, target_port):
    return json.dumps({
        'id': forward_id, 'device_id': device_id, 'node_id': 1, 'label': 'f%d' % forward_id,
        'protocol': 'tcp', 'address': '127.0.0.1:%d' % target_port,
        'access_key': 'key-%d' % forward_id, 'primary_servers': ['127.0.0.1:%d' % stack.relay_port],
    })


def cloud_methods(stack):
    answer = stack.cloud.command('calls')
    assert answer.startswith('ok '), answer
    return [call.get('method') for call in json.loads(answer[3:])]


class StackTest(unittest.TestCase):
    def setUp(self):
        self.stack = svr_stack.Stack(BUILD, SOURCE)
        self.addCleanup(self.stack.stop)

    def start(self, target=None):
        self.target = target or svr_stack.EchoTarget()
        self.stack.start_peers(self.target)


class ConsoleRun(StackTest):
    def test_login_forward_status_and_exit(self):
        self.start()
        self.stack.bind_device()
        svr = self.stack.start_svr()
        self.assertEqual(0, svr.wait_line('QvrSvr v2.0.7'))
        svr.wait_line(re.compile(r'^\d\d:\d\d:\d\d \[Device\] logged in\. Token: \*\*\*\*oken$'), 30)
        svr.wait_line(re.compile(r'^\d\d:\d\d:\d\d \[Forward\] Append\. #100$'), 30)
        svr.wait_line(re.compile(r'^\d\d:\d\d:\d\d \[Forward\] Updated\. #100$'), 30)

        port = self.stack.public_port(30)
        # The relay listens where the cloud says the forward is reached.
        self.assertEqual(('127.0.0.1', port), self.stack.public_address(svr_stack.FORWARD_ID))
        payload = bytes(range(256)) * 64
        self.assertEqual(payload, echo_through(port, payload))

        self.assertRegex(self.stack.request_status(), STATUS_ONE_FORWARD)

        # A second instance finds the lock taken and leaves the first alone.
        code, output = self.stack.run_svr('--console')
        self.assertEqual(4, code)
        self.assertEqual('QvrSvr v2.0.7\nError: Only one instance allowed.\n', output)
        self.assertEqual(b'ping', echo_through(port, b'ping'))

        started = time.monotonic()
        code, output = self.stack.run_svr('--exit')
        self.assertEqual((0, ''), (code, output))
        # Code 0 says the lock came free within --exit's 5 s; this tells a
        # return from a wait that runs on.
        self.assertLess(time.monotonic() - started, 15)
        self.assertEqual(0, svr.wait_exit(10))
        svr.wait_line('Service is shuting down...')
        self.assertIn('logout', cloud_methods(self.stack))
        for name in ('status.json.tmp', 'svr.signal', 'svr.lock'):
            self.assertFalse(os.path.exists(self.stack.data_file(name)), name)

    def test_forward_list_follows_the_cloud(self):
        self.start()
        self.stack.bind_device()
        svr = self.stack.start_svr()
        svr.wait_line('[Forward] Updated. #100', 30)
        cloud = self.stack.cloud

        # A new forward: the device's reload time moves, a refresh picks it up.
        self.assertEqual('ok', cloud.command('put forwards ' + forward_item(101, 10, self.stack, self.target.port)))
        mark = svr.count()
        self.assertEqual(0, self.stack.run_svr('--refresh')[0])
        svr.wait_line('[Forward] Append. #101', 15, mark)

        # A reload time that moves backwards is a change too.
        state = json.loads(cloud.command('state')[3:])
        device = [d for d in state['devices'] if d['id'] == 10][0]
        device['reload_time'] = 1000
        self.assertEqual('ok', cloud.command('put devices ' + json.dumps(device)))
        mark = svr.count()
        time.sleep(1.2)  # the previous command has been taken
        self.assertEqual(0, self.stack.run_svr('--refresh')[0])
        svr.wait_line('[Forward] Updated. #101', 15, mark)

        # Rebinding to another device: logout, login, that device's forwards only.
        self.assertEqual('ok', cloud.command('put devices ' + json.dumps(
            {'id': 11, 'user_id': 1, 'token': 'second-device', 'label': 'second', 'reload_time': 5})))
        self.assertEqual('ok', cloud.command('put forwards ' + forward_item(200, 11, self.stack, self.target.port)))
        mark = svr.count()
        self.stack.bind_device('second-device')
        svr.wait_line('[Device] Account changed, logout.', 15, mark)
        svr.wait_line('[Device] logged in. Token: ****vice', 15, mark)
        svr.wait_line('[Forward] Removed. #100', 15, mark)
        svr.wait_line('[Forward] Removed. #101', 15, mark)
        svr.wait_line('[Forward] Updated. #200', 15, mark)

    def test_malformed_forward_element_is_skipped(self):
        self.start()
        good = json.loads(forward_item(100, 10, self.stack, self.target.port))
        value = {'forwards': [5, good, {'id': 'x'}]}
        self.assertEqual('ok', self.stack.cloud.command(json.dumps(
            {'cmd': 'fault', 'kind': 'result', 'method': 'enum_forwards', 'value': value})))
        self.stack.bind_device()
        svr = self.stack.start_svr()
        svr.wait_line('[Forward] Skipped element 0 of the forward list: not an object.', 30)
        svr.wait_line('[Forward] Skipped element 2 of the forward list: no valid id.', 30)
        svr.wait_line('[Forward] Updated. #100', 30)
        self.assertEqual(b'still here', echo_through(self.stack.public_port(30), b'still here'))
        self.assertIsNone(svr.proc.poll())


    def test_a_clock_reset_that_cannot_be_a_time_fails_one_login_only(self):
        self.start()
        self.assertEqual('ok', self.stack.cloud.command(json.dumps(
            {'cmd': 'fault', 'kind': '316', 'method': 'login', 'times': 1, 'reset': '-9223372036854775808'})))
        self.stack.bind_device()
        svr = self.stack.start_svr()
        svr.wait_line('[Device] Failed to login: HTTP: The server\'s clock reset is not a time: '
                      '"-9223372036854775808"', 30)
        svr.wait_line('[Device] logged in.', 30)
        self.assertIsNone(svr.proc.poll())

    def test_local_address_binding(self):
        self.start()
        self.stack.bind_device(settings={'net.local_ip': '127.0.0.1'})
        svr = self.stack.start_svr()
        svr.wait_line('[Device] The specific local IP address is enabled. IP: 127.0.0.1', 15)
        svr.wait_line('[Forward] Updated. #100', 30)
        self.assertEqual(b'bound', echo_through(self.stack.public_port(30), b'bound'))


class WithoutCloud(unittest.TestCase):
    """Runs that need no cloud: the device is not bound."""

    def setUp(self):
        self.stack = svr_stack.Stack(BUILD, SOURCE)
        self.addCleanup(self.stack.stop)

    def test_closing_signals_end_the_console_run(self):
        for signo in (signal.SIGINT, signal.SIGTERM):
            with self.subTest(signal=signo):
                svr = self.stack.start_svr()
                svr.wait_line('[Device] Device account is not ready.', 15)
                svr.proc.send_signal(signo)
                self.assertEqual(0, svr.wait_exit(10))
                svr.wait_line('Service is shuting down...')
                self.assertFalse(os.path.exists(self.stack.data_file('svr.lock')))

    def test_commands_without_a_running_instance(self):
        signal_file = self.stack.data_file('svr.signal')
        for option in ('--exit', '--refresh'):
            with self.subTest(option=option, file='absent'):
                self.assertEqual((9, ''), self.stack.run_svr(option))
            with self.subTest(option=option, file='stale and empty'):
                os.makedirs(self.stack.data_dir, exist_ok=True)
                open(signal_file, 'wb').close()
                started = time.monotonic()
                self.assertEqual((9, ''), self.stack.run_svr(option))
                self.assertLess(time.monotonic() - started, 3)  # not --exit's 5 s wait
                self.assertFalse(os.path.exists(signal_file))

    def test_option_errors(self):
        for argv, expected in ((None, '参数不正确\n'), ('--INSTALL', '参数不正确: --INSTALL\n'),
                               ('console', '参数不正确: console\n')):
            with self.subTest(argv=argv):
                if argv is None:
                    done = subprocess.run([self.stack.program('QvrSvr')], env=self.stack.env,
                                          stdout=subprocess.PIPE, timeout=30)
                    result = (done.returncode, done.stdout.decode('utf-8'))
                else:
                    result = self.stack.run_svr(argv)
                self.assertEqual((9, expected), result)

    def test_a_lock_that_cannot_be_had_says_why_and_is_no_running_instance(self):
        victim = os.path.join(self.stack.tmp, 'victim')
        with open(victim, 'wb') as f:
            f.write(b'precious data')
        lock = self.stack.data_file('svr.lock')
        with self.subTest(case='data folder cannot be made'):
            with open(self.stack.base, 'wb'):
                pass  # a file where the folder's parent belongs
            self.assertEqual((5, 'QvrSvr v2.0.7\nError: Cannot create the folder %s: Not a directory (20)\n'
                              % self.stack.data_dir),
                             self.stack.run_svr('--console'))
            os.remove(self.stack.base)
        with self.subTest(case='lock file is a link'):
            os.makedirs(self.stack.data_dir)
            os.symlink(victim, lock)
            self.assertEqual((5, 'QvrSvr v2.0.7\nError: Cannot open the lock file %s: Too many levels of '
                                 'symbolic links (40)\n' % lock),
                             self.stack.run_svr('--console'))
            # The signal options neither take it for a running instance nor
            # drop a signal file they cannot judge.
            signal_file = self.stack.data_file('svr.signal')
            for option in ('--refresh', '--exit'):
                with open(signal_file, 'wb'):
                    pass
                self.assertEqual((9, 'Error: Cannot open the lock file %s: Too many levels of symbolic links '
                                     '(40)\n' % lock), self.stack.run_svr(option))
                self.assertTrue(os.path.exists(signal_file))
                with open(signal_file, 'rb') as f:
                    self.assertEqual(b'', f.read())
            with open(victim, 'rb') as f:
                self.assertEqual(b'precious data', f.read())

    def test_settings_the_file_cannot_hold_are_refused(self):
        helper = [self.stack.program('svr_test_helper')]
        self.stack.bind_device('real-token')
        done = subprocess.run(helper + ['set', 'net.local_ip', '1.2.3.4}device.token{attacker-token'],
                              env=self.stack.env, stderr=subprocess.PIPE, timeout=30)
        self.assertEqual(1, done.returncode)
        self.assertIn('"net.local_ip" cannot be stored', done.stderr.decode('utf-8'))
        done = subprocess.run(helper + ['get', 'device.token'], env=self.stack.env, stdout=subprocess.PIPE,
                              timeout=30)
        self.assertEqual(b'real-token\n', done.stdout)

    def test_settings_keep_the_program_folder_place_as_given(self):
        # "%APP_DIR%" reads back as the folder of the program that reads: a
        # copy of the helper elsewhere sees its own folder only if the file
        # still holds the place, also after another key was set.
        helper = self.stack.program('svr_test_helper')
        other = os.path.join(self.stack.tmp, 'elsewhere')
        os.makedirs(other)
        copy = os.path.join(other, 'svr_test_helper')
        shutil.copy2(helper, copy)
        subprocess.run([helper, 'set', 'log.folder', '%APP_DIR%/logs'], env=self.stack.env, check=True,
                       timeout=30)
        subprocess.run([helper, 'set', 'device.token', 'token'], env=self.stack.env, check=True, timeout=30)
        for program in (helper, copy):
            with self.subTest(program=program):
                done = subprocess.run([program, 'get', 'log.folder'], env=self.stack.env,
                                      stdout=subprocess.PIPE, check=True, timeout=30)
                self.assertEqual(os.path.dirname(os.path.realpath(program)) + '/logs\n',
                                 done.stdout.decode('utf-8'))

    def test_a_local_address_that_cannot_be_bound_is_reported(self):
        self.stack.bind_device(settings={'net.local_ip': 'eth0'})
        svr = self.stack.start_svr()
        svr.wait_line('[Device] The specific local IP address is enabled. IP: eth0', 15)
        svr.wait_line('[Device] The local IP address is no IPv4 address to bind to; connections are not bound: '
                      'eth0', 15)

    def test_service_outside_the_manager_fails(self):
        self.assertEqual(9, self.stack.run_svr('--service')[0])


class UnderTheServiceManager(StackTest):
    """install, start, stop and uninstall through our per-user service manager."""

    def setUp(self):
        super().setUp()
        self.stack.env['GT_SERVICE_REGISTRY'] = os.path.join(self.stack.tmp, 'services')
        self.stack.env['GT_SERVICE_ADMIN'] = '1'

    def test_install_start_stop_uninstall(self):
        self.start()
        self.stack.bind_device()
        run = self.stack.run_svr
        self.assertEqual((0, '服务并未运行\n'), run('--stop'))
        self.assertEqual((0, '服务不存在\n'), run('--uninstall'))
        self.assertEqual((0, '正在安装服务...\n服务安装成功!\n'), run('--install'))
        self.assertEqual((0, '服务已安装\n'), run('--install'))
        self.assertEqual((0, '正在启动服务...\n服务启动成功\n'), run('--start'))
        self.assertEqual((0, '服务正在运行\n'), run('--start'))
        # The service logs in and brings its forward up like the console run.
        port = self.stack.public_port(30)
        self.assertEqual(b'service', echo_through(port, b'service'))
        # A console run meanwhile finds the lock taken.
        self.assertEqual(4, run('--console')[0])
        self.assertEqual((0, '正在停止服务...\n服务停止成功\n'), run('--stop'))
        self.assertFalse(os.path.exists(self.stack.data_file('svr.lock')))
        self.assertIn('logout', cloud_methods(self.stack))
        self.assertEqual((0, '正在卸载服务...\n服务卸载成功\n'), run('--uninstall'))

    def test_exit_signal_stops_the_service(self):
        self.start()
        self.stack.bind_device()
        run = self.stack.run_svr
        self.assertEqual(0, run('--install-start')[0])
        self.stack.public_port(30)
        deadline = time.monotonic() + 5
        while not os.path.exists(self.stack.data_file('svr.signal')) and time.monotonic() < deadline:
            time.sleep(0.1)
        self.assertEqual((0, ''), run('--exit'))
        self.assertEqual((0, '服务并未运行\n'), run('--stop'))
        self.assertEqual(0, run('--stop-uninstall')[0])

    def test_install_from_another_folder_replaces_the_registration(self):
        other = os.path.join(self.stack.tmp, 'other')
        os.makedirs(other)
        copy = os.path.join(other, 'QvrSvr')
        shutil.copy2(self.stack.program('QvrSvr'), copy)
        self.assertEqual(0, self.stack.run_svr('--install')[0])
        done = subprocess.run([copy, '--install'], env=self.stack.env, stdout=subprocess.PIPE, timeout=60)
        self.assertEqual(0, done.returncode)
        self.assertEqual('检测到后台服务已安装，但不在相同目录下\n即将卸载之前服务并重新安装\n服务并未运行\n'
                         '正在卸载服务...\n服务卸载成功\n正在安装服务...\n服务安装成功!\n',
                         done.stdout.decode('utf-8'))
        # Now the first program is the stranger.
        code, output = self.stack.run_svr('--install')
        self.assertEqual(0, code)
        self.assertTrue(output.startswith('检测到后台服务已安装'), output)

    def test_combined_options_run_both_steps(self):
        self.stack.env['GT_SERVICE_ADMIN'] = '0'
        # The install is refused, the start is still tried and decides the result.
        self.assertEqual((9, '正在安装服务...\n错误: 服务安装失败\n正在启动服务...\n错误: 服务启动失败\n'),
                         self.stack.run_svr('--install-start'))
        self.assertEqual((0, '服务并未运行\n服务不存在\n'), self.stack.run_svr('--stop-uninstall'))


if __name__ == '__main__':
    unittest.main(verbosity=2)
