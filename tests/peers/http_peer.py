#!/usr/bin/env python3
"""HTTP/1.1 server double for the HTTP client tests (standard library only).

Written straight from the wire format: it reads request heads and bodies from
the socket itself and writes every reply byte by hand, so that tests can ask
for replies no ordinary server would send (cut bodies, trickling, silence,
odd header spellings).

Start:  python3 -m peers.http_peer [--port N]
It listens on 127.0.0.1, prints "PORT <n>" on stdout and serves until its
standard input reaches end of file (the test that started it went away) or
it gets SIGTERM.

Each connection is kept alive until the client closes it or a route says
otherwise. Routes (path before '?', parameters from the query):

  /echo            200; the body is the raw request (head and body) as received
  /conn            200; body "conn=<connection number> seq=<request number>"
  /status          reply with code=<n> reason=<text> body=<text>
  /chunked         chunked reply; sizes=3,4 ext=1 (chunk extensions)
                   trailer=1 (trailer lines) upper=1 (upper-case hex)
  /lower           lower-case framing headers; te=chunked for a chunked body
  /big             n=<bytes> of body
  /drip            Content-Length n, then one body byte every delay ms
  /trickle         the whole reply one byte every delay ms
  /silent          reads the request and never answers
  /cut             Content-Length declared, only sent bytes, then close
  /cutchunk        a chunked body cut short by a close
  /close           reply carrying "Connection: <value>" (value=close), then close
  /closeafter      normal keep-alive reply, then the server closes the connection
  /untilclose      version=HTTP/1.0 reply without length; body runs until close
  /redirect        n=<left> code=<3xx> mode=abs|rel|dir: chains to /redirect?n-1
  /noloc           a 302 without Location
  /setcookie       one Set-Cookie line per c=<value>; body "ok"
  /cookies         body = the request's Cookie header value
  /jsonrpc         JSON-RPC 2.0 answers; see _jsonrpc below
"""

import json
import os
import socket
import socketserver
import sys
import threading
import time
import urllib.parse

from peers.common import say

MAX_HEAD = 64 * 1024
MAX_BODY = 64 * 1024 * 1024


class Request:
    def __init__(self, method, target, version, headers, body, raw):
        self.method = method
        self.target = target
        self.version = version
        self.headers = headers  # list of (name, value) as received
        self.body = body
        self.raw = raw
        path, _, query = target.partition("?")
        self.path = path
        self.query = urllib.parse.parse_qs(query, keep_blank_values=True)

    def header(self, name):
        for key, value in self.headers:
            if key.lower() == name.lower():
                return value
        return None

    def param(self, name, default=""):
        values = self.query.get(name)
        return values[0] if values else default


class Connection:
    """Reads requests from one socket."""

    def __init__(self, sock):
        self.sock = sock
        self.buffer = b""

    def _fill(self):
        data = self.sock.recv(65536)
        if not data:
            raise EOFError
        self.buffer += data

    def read_request(self):
        while b"\r\n\r\n" not in self.buffer:
            if len(self.buffer) > MAX_HEAD:
                raise EOFError
            self._fill()
        head, _, self.buffer = self.buffer.partition(b"\r\n\r\n")
        lines = head.decode("utf-8", "replace").split("\r\n")
        method, target, version = (lines[0].split(" ", 2) + ["", ""])[:3]
        headers = []
        for line in lines[1:]:
            name, _, value = line.partition(":")
            headers.append((name, value.strip()))
        raw = head + b"\r\n\r\n"
        body = b""
        length = None
        for name, value in headers:
            if name.lower() == "content-length":
                length = int(value)
        chunked = any(n.lower() == "transfer-encoding" and v.lower() == "chunked" for n, v in headers)
        if length is not None:
            if length < 0 or length > MAX_BODY:
                raise EOFError
            while len(self.buffer) < length:
                self._fill()
            body, self.buffer = self.buffer[:length], self.buffer[length:]
            raw += body
        elif chunked:
            while True:
                while b"\r\n" not in self.buffer:
                    self._fill()
                line, _, self.buffer = self.buffer.partition(b"\r\n")
                raw += line + b"\r\n"
                size = int(line.split(b";")[0].strip() or b"0", 16)
                if size == 0:
                    while b"\r\n" not in self.buffer:
                        self._fill()
                    line, _, self.buffer = self.buffer.partition(b"\r\n")
                    raw += line + b"\r\n"
                    break
                while len(self.buffer) < size + 2:
                    self._fill()
                body += self.buffer[:size]
                raw += self.buffer[: size + 2]
                self.buffer = self.buffer[size + 2 :]
        return Request(method, target, version, headers, body, raw)


def reply(code, reason, headers, body, version="HTTP/1.1"):
    head = "%s %d %s\r\n" % (version, code, reason)
    for name, value in headers:
        head += "%s: %s\r\n" % (name, value)
    return head.encode("utf-8") + b"\r\n" + body


def simple(code, reason, body, extra=()):
    if isinstance(body, str):
        body = body.encode("utf-8")
    headers = list(extra) + [("Content-Length", str(len(body)))]
    return reply(code, reason, headers, body)


def pattern(n, start=0):
    return bytes(ord("a") + (i % 26) for i in range(start, start + n))


class Handler(socketserver.BaseRequestHandler):
    def handle(self):
        sock = self.request
        sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        server = self.server
        with server.lock:
            server.connections += 1
            conn_id = server.connections
        conn = Connection(sock)
        seq = 0
        try:
            while True:
                request = conn.read_request()
                seq += 1
                if not self._dispatch(sock, request, conn_id, seq):
                    break
        except (EOFError, ConnectionError, OSError, ValueError):
            pass
        finally:
            try:
                sock.close()
            except OSError:
                pass

    def _dispatch(self, sock, req, conn_id, seq):
        """Answers one request; returns False when the connection must end."""
        route = getattr(self, "_route_" + req.path.strip("/").replace("-", "_"), None)
        if route is None:
            sock.sendall(simple(404, "Not Found", "no route " + req.path))
            return True
        return route(sock, req, conn_id, seq) is not False

    def _route_echo(self, sock, req, conn_id, seq):
        sock.sendall(simple(200, "OK", req.raw, [("X-Conn", str(conn_id))]))

    def _route_conn(self, sock, req, conn_id, seq):
        sock.sendall(simple(200, "OK", "conn=%d seq=%d" % (conn_id, seq)))

    def _route_status(self, sock, req, conn_id, seq):
        code = int(req.param("code", "200"))
        sock.sendall(simple(code, req.param("reason", "OK"), req.param("body")))

    def _route_big(self, sock, req, conn_id, seq):
        sock.sendall(simple(200, "OK", pattern(int(req.param("n", "0")))))

    def _route_chunked(self, sock, req, conn_id, seq):
        sizes = [int(s) for s in req.param("sizes", "3,4").split(",") if s]
        out = reply(200, "OK", [("Transfer-Encoding", "chunked")], b"")
        offset = 0
        for size in sizes:
            text = ("%X" if req.param("upper") else "%x") % size
            if req.param("ext"):
                text += ";name=value"
            out += text.encode() + b"\r\n" + pattern(size, offset) + b"\r\n"
            offset += size
        out += b"0" + (b";last" if req.param("ext") else b"") + b"\r\n"
        if req.param("trailer"):
            out += b"X-Trailer: one\r\nX-Other: two\r\n"
        out += b"\r\n"
        sock.sendall(out)

    def _route_lower(self, sock, req, conn_id, seq):
        body = pattern(5)
        if req.param("te") == "chunked":
            out = reply(200, "OK", [("transfer-encoding", "Chunked")], b"")
            out += b"5\r\n" + body + b"\r\n0\r\n\r\n"
        else:
            out = reply(200, "OK", [("content-length", "5")], body)
        sock.sendall(out)

    def _route_drip(self, sock, req, conn_id, seq):
        n = int(req.param("n", "10"))
        delay = int(req.param("delay", "50")) / 1000.0
        sock.sendall(reply(200, "OK", [("Content-Length", str(n))], b""))
        for byte in pattern(n):
            time.sleep(delay)
            sock.sendall(bytes([byte]))

    def _route_trickle(self, sock, req, conn_id, seq):
        delay = int(req.param("delay", "20")) / 1000.0
        for byte in simple(200, "OK", pattern(int(req.param("n", "5")))):
            sock.sendall(bytes([byte]))
            time.sleep(delay)

    def _route_silent(self, sock, req, conn_id, seq):
        sock.settimeout(30)
        try:
            while sock.recv(4096):
                pass
        except OSError:
            pass
        return False

    def _route_cut(self, sock, req, conn_id, seq):
        declared = int(req.param("declared", "10"))
        sent = int(req.param("sent", "4"))
        sock.sendall(reply(200, "OK", [("Content-Length", str(declared))], pattern(sent)))
        return False

    def _route_cutchunk(self, sock, req, conn_id, seq):
        head = reply(200, "OK", [("Transfer-Encoding", "chunked")], b"")
        sock.sendall(head + b"5\r\nhello\r\n3\r\nab")
        return False

    def _route_close(self, sock, req, conn_id, seq):
        value = req.param("value", "close")
        sock.sendall(simple(200, "OK", "bye", [("Connection", value)]))
        return False

    def _route_closeafter(self, sock, req, conn_id, seq):
        sock.sendall(simple(200, "OK", "conn=%d seq=%d" % (conn_id, seq)))
        return False

    def _route_untilclose(self, sock, req, conn_id, seq):
        version = req.param("version", "HTTP/1.0")
        headers = [("Content-Type", "text/plain")]
        if version != "HTTP/1.0":
            headers.append(("Connection", "close"))
        sock.sendall(reply(200, "OK", headers, pattern(int(req.param("n", "12"))), version))
        return False

    def _route_redirect(self, sock, req, conn_id, seq):
        n = int(req.param("n", "1"))
        if n <= 0:
            sock.sendall(simple(200, "OK", "done " + req.method + " " + req.body.decode("utf-8", "replace")))
            return
        mode = req.param("mode", "rel")
        code = int(req.param("code", "302"))
        query = "n=%d&mode=%s&code=%d" % (n - 1, mode, code)
        if mode == "abs":
            host = req.header("Host") or ""
            location = "http://%s/redirect?%s" % (host, query)
        elif mode == "dir":
            location = "redirect?" + query
        else:
            location = "/redirect?" + query
        name = "location" if req.param("lower") else "Location"
        sock.sendall(simple(code, "Found", "", [(name, location)]))

    def _route_noloc(self, sock, req, conn_id, seq):
        sock.sendall(simple(302, "Found", "nowhere"))

    def _route_setcookie(self, sock, req, conn_id, seq):
        headers = [("Set-Cookie", value) for value in req.query.get("c", [])]
        sock.sendall(simple(200, "OK", "ok", headers))

    def _route_cookies(self, sock, req, conn_id, seq):
        sock.sendall(simple(200, "OK", req.header("Cookie") or ""))

    def _route_jsonrpc(self, sock, req, conn_id, seq):
        """Answers by the method name:
        echo -> result = params      null -> result null
        error -> error {code, message} from params
        strerror -> "error" is a string      both -> error and result
        none -> neither error nor result     badid -> id + 1
        textid -> id as text                 html -> an HTML page
        fail -> HTTP 500 with reason "Server Boom"
        """
        try:
            call = json.loads(req.body.decode("utf-8"))
        except ValueError:
            sock.sendall(simple(400, "Bad Request", "bad json"))
            return
        method = call.get("method")
        params = call.get("params")
        ident = call.get("id")
        answer = {"jsonrpc": "2.0", "id": ident}
        if method == "echo":
            answer["result"] = params
        elif method == "null":
            answer["result"] = None
        elif method == "error":
            answer["error"] = {"code": params.get("code"), "message": params.get("message")}
        elif method == "strerror":
            answer["error"] = "oops"
        elif method == "both":
            answer["error"] = {"code": 7, "message": "both"}
            answer["result"] = 1
        elif method == "none":
            pass
        elif method == "badid":
            answer["id"] = ident + 1
            answer["result"] = 1
        elif method == "textid":
            answer["id"] = str(ident)
            answer["result"] = "ok"
        elif method == "html":
            page = "<html><head><title>x</title></head><body>" + "y" * 100 + "</body></html>"
            sock.sendall(simple(200, "OK", page, [("Content-Type", "text/html")]))
            return
        elif method == "fail":
            sock.sendall(simple(500, "Server Boom", "boom"))
            return
        else:
            answer["error"] = {"code": -32601, "message": "Method not found"}
        body = json.dumps(answer).encode("utf-8")
        sock.sendall(simple(200, "OK", body, [("Content-Type", "application/json")]))


class Server(socketserver.ThreadingTCPServer):
    allow_reuse_address = True
    daemon_threads = True

    def __init__(self, port):
        super().__init__(("127.0.0.1", port), Handler)
        self.lock = threading.Lock()
        self.connections = 0


def main():
    port = 0
    if len(sys.argv) >= 3 and sys.argv[1] == "--port":
        port = int(sys.argv[2])
    server = Server(port)
    thread = threading.Thread(target=server.serve_forever, daemon=True)
    thread.start()
    say(sys.stdout, "PORT %d" % server.server_address[1])
    try:
        while os.read(sys.stdin.fileno(), 1024):
            pass
    except (OSError, KeyboardInterrupt):
        pass
    server.shutdown()
    server.server_close()


if __name__ == "__main__":
    main()
