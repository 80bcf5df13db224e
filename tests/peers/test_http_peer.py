#!/usr/bin/env python3
"""Checks the HTTP server double with Python's own HTTP client and raw sockets."""

import http.client
import json
import socket
import time
import unittest

from peers.common import ChildPeer



class PeerTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.peer = ChildPeer("peers.http_peer", text=False)
        cls.proc = cls.peer.proc
        line = cls.proc.stdout.readline().decode()
        assert line.startswith("PORT "), line
        cls.port = int(line.split()[1])

    @classmethod
    def tearDownClass(cls):
        cls.proc.stdin.close()
        cls.proc.wait(timeout=10)
        cls.proc.stdout.close()

    def client(self):
        return http.client.HTTPConnection("127.0.0.1", self.port, timeout=5)

    def raw(self, request, timeout=5):
        """Sends raw bytes and reads until the server closes or goes quiet."""
        sock = socket.create_connection(("127.0.0.1", self.port), timeout=timeout)
        sock.sendall(request)
        data = b""
        try:
            while True:
                block = sock.recv(65536)
                if not block:
                    break
                data += block
        except socket.timeout:
            pass
        sock.close()
        return data

    def test_keep_alive_counts_requests_on_one_connection(self):
        conn = self.client()
        bodies = []
        for _ in range(3):
            conn.request("GET", "/conn")
            bodies.append(conn.getresponse().read().decode())
        conn.close()
        conn_ids = {b.split()[0] for b in bodies}
        self.assertEqual(len(conn_ids), 1)
        self.assertEqual([b.split()[1] for b in bodies], ["seq=1", "seq=2", "seq=3"])

    def test_echo_returns_the_request_bytes(self):
        request = b"POST /echo HTTP/1.1\r\nHost: h\r\nContent-Length: 3\r\n\r\nabc"
        sock = socket.create_connection(("127.0.0.1", self.port), timeout=5)
        sock.sendall(request)
        conn = http.client.HTTPResponse(sock)
        conn.begin()
        self.assertEqual(conn.read(), request)
        sock.close()

    def test_chunked_with_extensions_and_trailers(self):
        conn = self.client()
        conn.request("GET", "/chunked?sizes=3,4&ext=1&trailer=1&upper=1")
        resp = conn.getresponse()
        self.assertEqual(resp.read(), b"abcdefg")
        # The connection stays usable: the trailer was fully framed.
        conn.request("GET", "/conn")
        self.assertTrue(conn.getresponse().read().startswith(b"conn="))
        conn.close()

    def test_chunked_wire_form(self):
        data = self.raw(b"GET /chunked?sizes=3&ext=1&trailer=1 HTTP/1.1\r\n\r\n", timeout=0.5)
        self.assertTrue(data.endswith(b"3;name=value\r\nabc\r\n0;last\r\nX-Trailer: one\r\nX-Other: two\r\n\r\n"))

    def test_status_and_reason(self):
        conn = self.client()
        conn.request("GET", "/status?code=404&reason=Not%20Here&body=gone")
        resp = conn.getresponse()
        self.assertEqual((resp.status, resp.reason, resp.read()), (404, "Not Here", b"gone"))
        conn.close()

    def test_cut_body_closes_early(self):
        data = self.raw(b"GET /cut?declared=10&sent=4 HTTP/1.1\r\n\r\n")
        head, _, body = data.partition(b"\r\n\r\n")
        self.assertIn(b"Content-Length: 10", head)
        self.assertEqual(body, b"abcd")

    def test_cut_chunked_body_closes_early(self):
        data = self.raw(b"GET /cutchunk HTTP/1.1\r\n\r\n")
        self.assertTrue(data.endswith(b"5\r\nhello\r\n3\r\nab"))

    def test_silent_server_answers_nothing(self):
        start = time.monotonic()
        data = self.raw(b"GET /silent HTTP/1.1\r\n\r\n", timeout=0.3)
        self.assertEqual(data, b"")
        self.assertGreaterEqual(time.monotonic() - start, 0.25)

    def test_drip_sends_slowly(self):
        start = time.monotonic()
        data = self.raw(b"GET /drip?n=4&delay=50 HTTP/1.1\r\n\r\n", timeout=0.6)
        self.assertTrue(data.endswith(b"\r\n\r\nabcd"))
        self.assertGreaterEqual(time.monotonic() - start, 0.19)

    def test_until_close_body(self):
        data = self.raw(b"GET /untilclose?n=12 HTTP/1.1\r\n\r\n")
        self.assertTrue(data.startswith(b"HTTP/1.0 200 OK\r\n"))
        self.assertTrue(data.endswith(b"\r\n\r\nabcdefghijkl"))
        self.assertNotIn(b"Content-Length", data)

    def test_close_after_reply(self):
        data = self.raw(b"GET /closeafter HTTP/1.1\r\n\r\nGET /conn HTTP/1.1\r\n\r\n")
        self.assertEqual(data.count(b"HTTP/1.1 200"), 1)

    def test_redirect_chain_modes(self):
        for mode, prefix in (("rel", "/redirect?"), ("abs", "http://"), ("dir", "redirect?")):
            conn = self.client()
            conn.request("GET", "/redirect?n=2&mode=%s&code=301" % mode)
            resp = conn.getresponse()
            resp.read()
            self.assertEqual(resp.status, 301)
            self.assertTrue(resp.getheader("Location").startswith(prefix), mode)
            conn.close()
        conn = self.client()
        conn.request("POST", "/redirect?n=0", body=b"xy")
        self.assertEqual(conn.getresponse().read(), b"done POST xy")
        conn.request("GET", "/noloc")
        resp = conn.getresponse()
        resp.read()
        self.assertEqual((resp.status, resp.getheader("Location")), (302, None))
        conn.close()

    def test_set_cookie_lines(self):
        conn = self.client()
        conn.request("GET", "/setcookie?c=a%3D1%3B%20Path%3D%2F&c=b%3D2")
        resp = conn.getresponse()
        resp.read()
        self.assertEqual(resp.msg.get_all("Set-Cookie"), ["a=1; Path=/", "b=2"])
        conn.request("GET", "/cookies", headers={"Cookie": "a=1; b=2"})
        self.assertEqual(conn.getresponse().read(), b"a=1; b=2")
        conn.close()

    def test_jsonrpc_modes(self):
        conn = self.client()

        def call(method, params=None):
            body = json.dumps({"jsonrpc": "2.0", "id": 5, "method": method, "params": params or {}})
            conn.request("POST", "/jsonrpc", body=body.encode())
            resp = conn.getresponse()
            return resp.status, resp.read()

        self.assertEqual(json.loads(call("echo", {"a": 1})[1]), {"jsonrpc": "2.0", "id": 5, "result": {"a": 1}})
        self.assertEqual(json.loads(call("error", {"code": -32602, "message": "m"})[1])["error"]["code"], -32602)
        self.assertEqual(json.loads(call("textid")[1])["id"], "5")
        self.assertEqual(json.loads(call("badid")[1])["id"], 6)
        self.assertEqual(call("fail")[0], 500)
        self.assertTrue(call("html")[1].startswith(b"<html>"))
        conn.close()

    def test_lower_case_framing_headers(self):
        data = self.raw(b"GET /lower?te=chunked HTTP/1.1\r\n\r\n", timeout=0.5)
        self.assertIn(b"transfer-encoding: Chunked\r\n", data)
        data = self.raw(b"GET /lower HTTP/1.1\r\n\r\n", timeout=0.5)
        self.assertTrue(data.endswith(b"content-length: 5\r\n\r\nabcde"))


if __name__ == "__main__":
    unittest.main()
