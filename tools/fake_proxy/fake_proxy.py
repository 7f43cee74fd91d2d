#!/usr/bin/env python3
"""Loopback fake proxies for the latency probe's tests and benchmarks.

Each address listens on port 80 (we run as root) in one mode:
  reply:D   answer D ms after the first bytes of a connection arrive (bytes: an HTTP 400 line)
  late      reply:1200, too late for a one-second wait
  silent    accept, read, never send
  close     accept, close as soon as the first bytes (or the end) arrive, sending nothing
  flood     send the connection's number (a byte, 1-based, mod 256) every 2 ms until it fails
  stream:MS send 64 KiB blocks as fast as the client takes them, for MS ms (default 3000), then
            close
  banner    speak first: the reply bytes as soon as the connection is accepted, then silent
An address that is not listed has nothing listening: connects to it are refused.

Every listener counts its connections and records the bytes received on each one and whether the
client has closed it. Tests read the records in-process (FakeProxies) or, from a Windows program,
over a line protocol on a control port on 127.0.0.1:
  RECORDS <ip>      -> "<n>" then " <hex>,<open|closed>" per connection ("-" for no bytes)
  MODE <ip> <mode>  -> "OK"   (the listener keeps its records)
  RESET             -> "OK"   (forgets every record)
Run as a program: fake_proxy.py [--control PORT] ip=mode ...; it prints "READY <control port>"
once every listener is bound and serves until stdin closes or it is killed.
"""
import socket
import sys
import threading
import time

REPLY = b"HTTP/1.0 400 Bad Request\r\n\r\n"


def parse_mode(text):
    if text == "late":
        return ("reply", 1200)
    if text.startswith("reply:"):
        return ("reply", int(text.split(":", 1)[1]))
    if text in ("silent", "close", "flood", "banner"):
        return (text, 0)
    if text == "stream" or text.startswith("stream:"):
        return ("stream", int(text.split(":", 1)[1]) if ":" in text else 3000)
    raise ValueError("unknown mode: " + text)


class Connection:
    def __init__(self):
        self.data = bytearray()
        self.closed = False


class Listener:
    def __init__(self, ip, mode, port=80):
        self.ip = ip
        self.mode = parse_mode(mode)
        self.lock = threading.Lock()
        self.connections = []
        self.sock = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self.sock.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self.sock.bind((ip, port))
        self.sock.listen(32)
        threading.Thread(target=self._accept_loop, daemon=True).start()

    def _accept_loop(self):
        while True:
            try:
                conn, _ = self.sock.accept()
            except OSError:
                return
            record = Connection()
            with self.lock:
                self.connections.append(record)
                number = len(self.connections)
                mode = self.mode
            threading.Thread(target=self._serve, args=(conn, record, number, mode), daemon=True).start()

    def _serve(self, conn, record, number, mode):
        kind, delay_ms = mode
        if kind == "flood":
            threading.Thread(target=self._flood, args=(conn, number), daemon=True).start()
        if kind == "stream":
            threading.Thread(target=self._stream, args=(conn, delay_ms), daemon=True).start()
        if kind == "banner":
            self._send_quietly(conn, REPLY)
        answered = False
        try:
            while True:
                chunk = conn.recv(4096)
                with self.lock:
                    if not chunk:
                        record.closed = True
                    record.data += chunk
                if kind == "close":
                    break
                if not chunk:
                    break
                if kind == "reply" and not answered:
                    answered = True
                    threading.Timer(delay_ms / 1000.0, self._send_quietly, args=(conn, REPLY)).start()
        except OSError:
            with self.lock:
                record.closed = True
        try:
            conn.close()
        except OSError:
            pass

    @staticmethod
    def _send_quietly(conn, data):
        try:
            conn.sendall(data)
        except OSError:
            pass

    @staticmethod
    def _flood(conn, number):
        tag = bytes([number % 256])
        try:
            while True:
                conn.sendall(tag)
                time.sleep(0.002)
        except OSError:
            pass

    @staticmethod
    def _stream(conn, ms):
        block = bytes(range(256)) * 256
        deadline = time.monotonic() + ms / 1000.0
        try:
            while time.monotonic() < deadline:
                conn.sendall(block)
            conn.shutdown(socket.SHUT_RDWR)
        except OSError:
            pass

    def set_mode(self, mode):
        parsed = parse_mode(mode)
        with self.lock:
            self.mode = parsed

    def records(self):
        with self.lock:
            return [(bytes(c.data), c.closed) for c in self.connections]

    def reset(self):
        with self.lock:
            self.connections = []

    def close(self):
        self.sock.close()


class FakeProxies:
    """In-process set of listeners: {ip: mode}."""

    def __init__(self, modes, port=80):
        self.listeners = {}
        try:
            for ip, mode in modes.items():
                self.listeners[ip] = Listener(ip, mode, port)
        except Exception:
            self.close()
            raise

    def records(self, ip):
        return self.listeners[ip].records()

    def set_mode(self, ip, mode):
        self.listeners[ip].set_mode(mode)

    def reset(self):
        for listener in self.listeners.values():
            listener.reset()

    def close(self):
        for listener in self.listeners.values():
            listener.close()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()


def format_records(records):
    parts = [str(len(records))]
    for data, closed in records:
        parts.append("%s,%s" % (data.hex() or "-", "closed" if closed else "open"))
    return " ".join(parts)


def serve_control(proxies, sock):
    def handle(conn):
        with conn, conn.makefile("rwb") as f:
            for line in f:
                words = line.decode("ascii", "replace").split()
                try:
                    if words[:1] == ["RECORDS"]:
                        answer = format_records(proxies.records(words[1]))
                    elif words[:1] == ["MODE"]:
                        proxies.set_mode(words[1], words[2])
                        answer = "OK"
                    elif words[:1] == ["RESET"]:
                        proxies.reset()
                        answer = "OK"
                    else:
                        answer = "ERROR unknown command"
                except (KeyError, IndexError, ValueError) as e:
                    answer = "ERROR %s" % e
                f.write((answer + "\n").encode("ascii"))
                f.flush()

    while True:
        try:
            conn, _ = sock.accept()
        except OSError:
            return
        threading.Thread(target=handle, args=(conn,), daemon=True).start()


def main(argv):
    control_port = 0
    modes = {}
    args = list(argv)
    while args:
        a = args.pop(0)
        if a == "--control":
            control_port = int(args.pop(0))
        else:
            ip, mode = a.split("=", 1)
            modes[ip] = mode
    proxies = FakeProxies(modes)
    control = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    control.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    control.bind(("127.0.0.1", control_port))
    control.listen(8)
    threading.Thread(target=serve_control, args=(proxies, control), daemon=True).start()
    print("READY %d" % control.getsockname()[1], flush=True)
    sys.stdin.read()  # serve until the parent closes our stdin
    proxies.close()
    control.close()
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
