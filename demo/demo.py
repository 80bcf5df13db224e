#!/usr/bin/env python3
"""The service program at work on this computer alone: a test cloud and a test
relay on loopback, a local web page, and QvrSvr logged in as a device whose
one forward publishes that page through the relay.

    python3 demo/demo.py [--build DIR] [--keep]

With --keep the stack stays up (the public address and the status report are
shown once a second) until Ctrl+C. Everything started is stopped at the end.
"""

import argparse
import json
import os
import signal
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, 'tests', 'svr'))

import svr_stack  # noqa: E402

PAGE = ('<!doctype html><html><head><meta charset="utf-8"><title>Quorvane demo</title></head>'
        '<body><h1>Hello from a local web server</h1>'
        '<p>This page was served on 127.0.0.1 and reached you through the relay.</p></body></html>\n')


def step(text):
    print('\n==> ' + text, flush=True)


def show_svr(name, line):
    # The engine's own diagnostics would bury the steps; the demo shows the log.
    if line.startswith('DEBUG:'):
        return
    print('    [%s] %s' % (name, line), flush=True)


def status_report(stack):
    report = stack.request_status(timeout=10)
    return report.decode('utf-8').replace('\r\n', '\n')


def on_terminate(*_):
    raise KeyboardInterrupt


def main():
    parser = argparse.ArgumentParser(description='Run the service program demo.')
    parser.add_argument('--build', default=os.path.join(ROOT, 'build'))
    parser.add_argument('--keep', action='store_true', help='keep the stack up until Ctrl+C')
    args = parser.parse_args()

    stack = svr_stack.Stack(args.build, ROOT, echo=show_svr)
    signal.signal(signal.SIGTERM, on_terminate)
    return_code = 1
    try:
        step('Starting a local web page (the service to publish)')
        target = svr_stack.PageTarget(PAGE)
        print('    http://127.0.0.1:%d/' % target.port)

        step('Starting the test relay and the test cloud')
        stack.start_peers(target, port_wait=15)
        print('    relay on 127.0.0.1:%d' % stack.relay_port)
        print('    cloud on 127.0.0.1:%d (device "%s", forward #%d -> 127.0.0.1:%d)'
              % (stack.cloud_port, svr_stack.DEVICE_TOKEN, svr_stack.FORWARD_ID, target.port))

        step('Binding this computer to the demo device (properties.cfg in %s)' % stack.data_dir)
        stack.bind_device()

        step('Starting QvrSvr --console')
        svr = stack.start_svr()
        svr.wait_line('logged in', timeout=30)
        step('The device logged in; waiting for its forward to come up')
        svr.wait_line('[Forward] Updated. #%d' % svr_stack.FORWARD_ID, timeout=30)
        port = stack.public_port(timeout=30)
        host, shown = stack.public_address(svr_stack.FORWARD_ID)
        if shown != port:
            raise RuntimeError('the relay listens on %d, the cloud shows port %d' % (port, shown))
        public = 'http://%s:%d/' % (host, port)

        step('Fetching the page through the forward\'s public address: ' + public)
        status, body = svr_stack.fetch(port, host=host)
        print('    ' + status)
        for line in body.decode('utf-8', 'replace').splitlines():
            print('    | ' + line)
        if body.decode('utf-8') != PAGE:
            raise RuntimeError('the page did not arrive intact')

        step('The status report of QvrSvr (status.json.tmp)')
        report = status_report(stack)
        print(report)

        if args.keep:
            step('The stack stays up. Open %s in a browser; Ctrl+C stops everything.' % public)
            # QvrSvr answers a status request at most every 5 s: each second
            # shows the newest report it gave.
            last = json.loads(report)['forwards']
            while True:
                time.sleep(1)
                report = stack.poll_status()
                if report:
                    last = json.loads(report.decode('utf-8'))['forwards']
                print('    %s  %s  forwards: %s' % (time.strftime('%H:%M:%S'), public, json.dumps(last)),
                      flush=True)

        step('Sending QvrSvr --exit')
        code, output = stack.run_svr('--exit')
        print('    exit code %d%s' % (code, (': ' + output.strip()) if output.strip() else ''))
        if svr.wait_exit(10) is None:
            raise RuntimeError('QvrSvr did not end after --exit')
        print('    QvrSvr ended with %d' % svr.proc.returncode)
        if code != 0 or svr.proc.returncode != 0:
            raise RuntimeError('QvrSvr did not shut down cleanly')
        return_code = 0
    except KeyboardInterrupt:
        print('\n    (interrupted)')
        return_code = 0
    except Exception as error:  # the demo explains what went wrong, then cleans up
        print('\nDemo failed: %s' % error, file=sys.stderr)
    finally:
        signal.signal(signal.SIGINT, signal.SIG_IGN)
        step('Stopping everything the demo started')
        stack.stop()
        print('    done')
    return return_code


if __name__ == '__main__':
    sys.exit(main())
