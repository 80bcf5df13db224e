#!/usr/bin/env python3
"""The desktop client to try on this computer: a test cloud with a demo account
and a test relay on loopback, a local web page to publish, then Quorvane on
the desktop with a data folder of its own.

    python3 demo/gui.py [--build DIR]

Log in with the account printed at the start, let the client bind this
computer, then add a forward (内网映射, 添加映射) to the local target it prints:
once the service brings the forward up, this prints the forward's public
address, the one the client's list shows and "复制地址" copies, and checks
that it reaches the target. Closing the client (its menu's last entry, or the
close button while logged out) stops everything this started; so does Ctrl+C
here.
"""

import argparse
import json
import os
import signal
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, 'tests', 'svr'))

import svr_stack  # noqa: E402

# The demo account of tests/peers/cloud_demo_state.json; the client puts "86"
# in front of a name made of digits, as the cloud knows it.
ACCOUNT = '13800000000'
PASSWORD = 'demo-password'

PAGE = ('<!doctype html><html><head><meta charset="utf-8"><title>Quorvane demo</title></head>'
        '<body><h1>Hello from a local web server</h1></body></html>\n')


def has_display():
    return bool(os.environ.get('DISPLAY') or os.environ.get('WAYLAND_DISPLAY'))


def no_display():
    print('There is no display to open Quorvane on (neither DISPLAY nor WAYLAND_DISPLAY is set).\n'
          'Run this from a terminal of a desktop session, or get a display first:\n'
          '  - over SSH with X forwarding:  ssh -X <this computer>, then ./run.sh gui\n'
          '  - a virtual X server you look at through VNC (apt-get install x11vnc):\n'
          '      Xvfb :99 -screen 0 1280x800x24 &  x11vnc -display :99 &  DISPLAY=:99 ./run.sh gui',
          file=sys.stderr)
    return 1


def step(text):
    print('\n==> ' + text, flush=True)


def on_terminate(*_):
    raise KeyboardInterrupt


def shown_address(stack, port):
    """The public address the client shows for the forward whose public port
    is port, else None."""
    answer = stack.cloud.command('state', timeout=5)
    if not answer.startswith('ok '):
        return None
    for fwd in json.loads(answer[3:])['forwards']:
        if fwd.get('server_port') == port:
            return '%s.%s:%d' % (fwd.get('host_prefix', ''), fwd.get('host_domain', ''), port)
    return None


def watch_tunnels(stack, client):
    """Until the client ends: prints the public address of each tunnel the
    relay gets (a forward the service brought up) and whether it reaches the
    target; returns the exit code."""
    seen = None
    while True:
        try:
            return client.wait(1)
        except subprocess.TimeoutExpired:
            pass
        try:
            answer = stack.relay.command('tunnel', timeout=5)
        except (TimeoutError, OSError):
            continue
        if not answer.startswith('ok ') or answer == seen:
            continue
        seen = answer
        port = int(answer.split()[2])
        address = shown_address(stack, port)
        if address is None:
            step('A forward is up on the relay port %d, which is not the one the client shows' % port)
            continue
        host, _, _ = address.rpartition(':')
        try:
            status, _body = svr_stack.fetch(port, host=host)
            result = 'reaches the target (%s)' % status
        except OSError as error:
            result = 'does not answer yet (%s)' % error
        step('A forward is up: %s (as the client shows it) %s; open http://%s/' % (address, result, address))


def main():
    parser = argparse.ArgumentParser(description='Try the desktop client against a local test cloud.')
    parser.add_argument('--build', default=os.path.join(ROOT, 'build'))
    args = parser.parse_args()
    if not has_display():
        return no_display()

    stack = svr_stack.Stack(args.build, ROOT)
    env = dict(stack.env,
               GT_SERVICE_REGISTRY=os.path.join(stack.tmp, 'services'),
               XDG_CONFIG_HOME=os.path.join(stack.tmp, 'config'))
    signal.signal(signal.SIGTERM, on_terminate)
    client = None
    code = 1
    try:
        step('Starting the test relay and the test cloud on loopback')
        target = svr_stack.PageTarget(PAGE)
        stack.start_peers(target, port_wait=15)
        # The seeded forward belongs to the demo account's other computer,
        # which does not run here: its address would reach nothing.
        stack.cloud.command('remove forwards %d' % svr_stack.FORWARD_ID)
        print('    relay on 127.0.0.1:%d, cloud on 127.0.0.1:%d' % (stack.relay_port, stack.cloud_port))
        print('    the local target to publish: 127.0.0.1:%d (a web page)' % target.port)

        step('Opening Quorvane (data folder %s)' % stack.data_dir)
        print('    account:  %s' % ACCOUNT)
        print('    password: %s' % PASSWORD)
        print('    Bind this computer when asked (新设备加入), then on 内网映射 choose 添加映射,\n'
              '    原生端口, and enter 内网主机 127.0.0.1, 内网端口 %d, 分配带宽 1 (Mbps); 创建.'
              % target.port, flush=True)
        # A session of its own: Ctrl+C here reaches only this driver, which
        # then asks the client to close.
        client = subprocess.Popen([os.path.join(args.build, 'Quorvane')], env=env, start_new_session=True)
        code = watch_tunnels(stack, client)
        print('    Quorvane ended (%d)' % code)
    except KeyboardInterrupt:
        print('\n    (interrupted)')
        code = 0
    except Exception as error:  # tell what went wrong, then clean up
        print('\nFailed: %s' % error, file=sys.stderr)
    finally:
        signal.signal(signal.SIGINT, signal.SIG_IGN)
        step('Stopping everything this started')
        if client and client.poll() is None:
            client.send_signal(signal.SIGTERM)
            try:
                client.wait(30)
            except subprocess.TimeoutExpired:
                client.kill()
                client.wait(5)
        # The client ends its service program itself; this makes sure.
        subprocess.run([os.path.join(args.build, 'QvrSvr'), '--exit'], env=env, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=30)
        stack.stop()
        print('    done')
    return code


if __name__ == '__main__':
    sys.exit(main())
