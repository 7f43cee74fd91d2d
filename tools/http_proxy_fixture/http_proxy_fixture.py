#!/usr/bin/env python3
"""A loopback HTTP proxy for tests (python3 standard library only).

    http_proxy_fixture.py --host 127.0.0.40 [--port 80] --log FILE [--ready FILE]

Listens on host:port (loopback only). Every request line it receives is appended to FILE (one
per line, flushed at once). A request in absolute form for a loopback host ("GET
http://127.0.0.1:8000/x HTTP/1.1") is forwarded to that host in origin form and the answer is
relayed with the header "X-Proxy-Fixture: <host>" added; any other request is answered by the
fixture itself (200, body "proxy-fixture <host>: <request line>"). No traffic leaves 127.0.0.0/8.
Writes "ready" to the --ready file (and stdout) once it listens; ends on SIGTERM or SIGINT.
"""
import argparse
import ipaddress
import signal
import socket
import socketserver
import sys
import threading
import urllib.parse


def is_loopback(host):
    try:
        return ipaddress.ip_address(socket.gethostbyname(host) if host == "localhost" else host).is_loopback
    except ValueError:
        return False


class Handler(socketserver.StreamRequestHandler):
    timeout = 10

    def handle(self):
        while self.one_request():
            pass

    def one_request(self):
        line = self.rfile.readline(65537)
        if not line:
            return False
        request_line = line.decode("latin-1").rstrip("\r\n")
        headers = []
        while True:
            h = self.rfile.readline(65537)
            if not h or h in (b"\r\n", b"\n"):
                break
            headers.append(h.decode("latin-1").rstrip("\r\n"))
        self.server.record(request_line)
        length = 0
        for h in headers:
            name, _, value = h.partition(":")
            if name.strip().lower() == "content-length":
                length = int(value.strip() or 0)
        body = self.rfile.read(length) if length else b""

        parts = request_line.split(" ")
        if len(parts) == 3 and parts[1].lower().startswith("http://"):
            url = urllib.parse.urlsplit(parts[1])
            if url.hostname and is_loopback(url.hostname):
                return self.forward(parts[0], url, parts[2], headers, body)
        text = f"proxy-fixture {self.server.host}: {request_line}\n".encode("latin-1", "replace")
        self.wfile.write(b"HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nConnection: close\r\n"
                         + f"X-Proxy-Fixture: {self.server.host}\r\nContent-Length: {len(text)}\r\n\r\n".encode()
                         + text)
        return False

    def forward(self, method, url, version, headers, body):
        target = url.path or "/"
        if url.query:
            target += "?" + url.query
        out = [f"{method} {target} {version}"]
        for h in headers:
            name = h.partition(":")[0].strip().lower()
            if name in ("proxy-connection", "connection", "keep-alive"):
                continue
            out.append(h)
        out.append("Connection: close")
        data = ("\r\n".join(out) + "\r\n\r\n").encode("latin-1") + body
        try:
            with socket.create_connection((url.hostname, url.port or 80), timeout=10) as upstream:
                upstream.sendall(data)
                reply = b""
                while True:
                    chunk = upstream.recv(65536)
                    if not chunk:
                        break
                    reply += chunk
        except OSError as e:
            msg = f"proxy-fixture {self.server.host}: upstream failed: {e}\n".encode()
            self.wfile.write(b"HTTP/1.1 502 Bad Gateway\r\nConnection: close\r\n"
                             + f"Content-Length: {len(msg)}\r\n\r\n".encode() + msg)
            return False
        head, sep, rest = reply.partition(b"\r\n\r\n")
        lines = [l for l in head.split(b"\r\n")
                 if not l.lower().startswith((b"connection:", b"keep-alive:"))]
        lines.append(f"X-Proxy-Fixture: {self.server.host}".encode())
        lines.append(b"Connection: close")
        self.wfile.write(b"\r\n".join(lines) + b"\r\n\r\n" + rest)
        return False


class Server(socketserver.ThreadingTCPServer):
    allow_reuse_address = True
    daemon_threads = True

    def __init__(self, host, port, log_path):
        if not ipaddress.ip_address(host).is_loopback:
            raise SystemExit(f"refusing to listen on non-loopback address {host}")
        self.host = host
        self.log_path = log_path
        self.lock = threading.Lock()
        super().__init__((host, port), Handler)

    def record(self, request_line):
        with self.lock, open(self.log_path, "a", encoding="latin-1") as f:
            f.write(request_line + "\n")


def main():
    p = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    p.add_argument("--host", required=True)
    p.add_argument("--port", type=int, default=80)
    p.add_argument("--log", required=True)
    p.add_argument("--ready")
    a = p.parse_args()
    server = Server(a.host, a.port, a.log)
    signal.signal(signal.SIGTERM, lambda *_: threading.Thread(target=server.shutdown).start())
    if a.ready:
        with open(a.ready, "w") as f:
            f.write("ready\n")
    print("ready", flush=True)
    try:
        server.serve_forever(poll_interval=0.1)
    except KeyboardInterrupt:
        pass
    server.server_close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
