#!/usr/bin/env python3
"""Loopback HTTP fixture: serves scripted responses and records the exact request bytes.

Scripts live in one folder, keyed by the first segment of the request path ("/<id>/..."; an
absolute-form target as sent to a proxy, "GET http://host:port/<id>/... HTTP/1.1", counts the
same way, so the server also stands in for an HTTP proxy):
  <id>.response  the raw bytes sent back verbatim (status line, headers, body); the connection
                 is closed after it. Missing: a 404.
  <id>.mode      optional: "reset N" sends the first N bytes, waits a moment and resets the
                 connection (RST) instead of closing it.
Every request is appended to <id>.log as "=== <length>\\n" followed by its exact bytes, before
the response is sent, so a client that has its answer can read its request back.

Usage: http_fixture.py DIR PORT_FILE   (listens on 127.0.0.1 on a free port, written to PORT_FILE)
"""
import os
import socket
import socketserver
import struct
import sys
import threading
import time

LOG_LOCK = threading.Lock()


def read_request(sock):
    data = b""
    while b"\r\n\r\n" not in data:
        chunk = sock.recv(65536)
        if not chunk:
            return data
        data += chunk
    head, _, rest = data.partition(b"\r\n\r\n")
    length = 0
    for line in head.split(b"\r\n")[1:]:
        name, _, value = line.partition(b":")
        if name.strip().lower() == b"content-length":
            length = int(value.strip() or b"0")
    while len(rest) < length:
        chunk = sock.recv(65536)
        if not chunk:
            break
        rest += chunk
    return head + b"\r\n\r\n" + rest


def script_id(request):
    line = request.split(b"\r\n", 1)[0].decode("latin-1")
    parts = line.split(" ")
    target = parts[1] if len(parts) > 1 else "/"
    if "://" in target:  # absolute form, as sent to a proxy
        target = "/" + target.split("://", 1)[1].partition("/")[2]
    first = target.lstrip("/").split("?", 1)[0].split("/", 1)[0]
    return "".join(c for c in first if c.isalnum() or c in "-_") or "root"


class Handler(socketserver.BaseRequestHandler):
    def handle(self):
        sock = self.request
        request = read_request(sock)
        if not request:
            return
        folder = self.server.folder
        sid = script_id(request)
        with LOG_LOCK, open(os.path.join(folder, sid + ".log"), "ab") as log:
            log.write(b"=== %d\n" % len(request) + request)
        try:
            with open(os.path.join(folder, sid + ".response"), "rb") as f:
                response = f.read()
        except FileNotFoundError:
            response = b"HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n"
        mode = ""
        try:
            with open(os.path.join(folder, sid + ".mode")) as f:
                mode = f.read().strip()
        except FileNotFoundError:
            pass
        try:
            if mode.startswith("reset "):
                sock.sendall(response[: int(mode.split()[1])])
                time.sleep(0.3)
                sock.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
                sock.close()
                return
            sock.sendall(response)
            sock.shutdown(socket.SHUT_WR)
            # Let the client read everything before the close; it closes its side when done.
            sock.settimeout(5)
            while sock.recv(65536):
                pass
        except OSError:
            pass


class Server(socketserver.ThreadingTCPServer):
    daemon_threads = True
    allow_reuse_address = True


def main():
    folder, port_file = sys.argv[1], sys.argv[2]
    server = Server(("127.0.0.1", 0), Handler)
    server.folder = folder
    tmp = port_file + ".tmp"
    with open(tmp, "w") as f:
        f.write(str(server.server_address[1]))
    os.replace(tmp, port_file)
    server.serve_forever()


if __name__ == "__main__":
    main()
