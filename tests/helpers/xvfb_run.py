#!/usr/bin/env python3
"""Runs one program under a private virtual X server, for the tests that need
a real one:

    python3 xvfb_run.py PROGRAM [ARGS...]

Xvfb picks a free display number itself (-displayfd) and listens on no TCP
port; the program runs with DISPLAY set to it and QT_QPA_PLATFORM=xcb, and
the server is stopped when the program ends. The exit code is the program's
(1 when Xvfb does not start within 30 s)."""

import os
import select
import subprocess
import sys
import time

START_TIMEOUT = 30.0


def start_xvfb():
    read_fd, write_fd = os.pipe()
    server = subprocess.Popen(
        ['Xvfb', '-displayfd', str(write_fd), '-screen', '0', '1280x800x24', '-nolisten', 'tcp', '-noreset'],
        pass_fds=(write_fd,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True)
    os.close(write_fd)
    number = b''
    deadline = time.monotonic() + START_TIMEOUT
    try:
        while not number.endswith(b'\n'):
            left = deadline - time.monotonic()
            if left <= 0 or not select.select([read_fd], [], [], left)[0]:
                raise RuntimeError('Xvfb gave no display number within %.0f s' % START_TIMEOUT)
            chunk = os.read(read_fd, 16)
            if not chunk:
                raise RuntimeError('Xvfb ended (%s) before it gave a display number' % server.poll())
            number += chunk
    except Exception:
        stop(server)
        raise
    finally:
        os.close(read_fd)
    return server, ':' + number.decode().strip()


def stop(server):
    if server.poll() is None:
        server.terminate()
        try:
            server.wait(10)
        except subprocess.TimeoutExpired:
            server.kill()
            server.wait(5)


def main(argv):
    if len(argv) < 2:
        print(__doc__, file=sys.stderr)
        return 2
    try:
        server, display = start_xvfb()
    except (OSError, RuntimeError) as error:
        print('xvfb_run: %s' % error, file=sys.stderr)
        return 1
    try:
        env = dict(os.environ, DISPLAY=display, QT_QPA_PLATFORM='xcb')
        env.pop('WAYLAND_DISPLAY', None)
        return subprocess.call(argv[1:], env=env)
    finally:
        stop(server)


if __name__ == '__main__':
    sys.exit(main(sys.argv))
