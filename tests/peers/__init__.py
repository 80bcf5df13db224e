"""Test doubles written in Python 3 (standard library only) from the wire
formats alone: the relay server (relay), the local targets (targets), the
HTTP/1.1 server (http_peer), their shared pieces (common, frame_client) and
a self-test beside each. Run as modules with tests/ on PYTHONPATH."""
