#!/usr/bin/env python3
"""Checks the fake proxies themselves, from Linux, before the Windows tests rely on them."""
import os
import socket
import subprocess
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import fake_proxy  # noqa: E402

PROBE_REQUEST = b"OPTIONS * HTTP/1.0\r\n\r\n"  # what the probe sends
REPLY, SILENT, CLOSE, FLOOD, NOTHING = "127.0.0.30", "127.0.0.31", "127.0.0.32", "127.0.0.33", "127.0.0.39"


def wait_records(proxies, ip, predicate, timeout=2.0):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        records = proxies.records(ip)
        if predicate(records):
            return records
        time.sleep(0.01)
    return proxies.records(ip)


class FakeProxyModes(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.proxies = fake_proxy.FakeProxies({REPLY: "reply:100", SILENT: "silent", CLOSE: "close", FLOOD: "flood"})

    @classmethod
    def tearDownClass(cls):
        cls.proxies.close()

    def setUp(self):
        self.proxies.reset()

    def test_reply_comes_after_the_delay_and_bytes_are_recorded(self):
        with socket.create_connection((REPLY, 80)) as s:
            start = time.monotonic()
            s.sendall(PROBE_REQUEST)
            data = s.recv(100)
            elapsed = time.monotonic() - start
        self.assertTrue(data.startswith(b"HTTP/1.0 400"))
        self.assertGreaterEqual(elapsed, 0.095)
        records = wait_records(self.proxies, REPLY, lambda r: r and r[0][1])
        self.assertEqual(records, [(PROBE_REQUEST, True)])

    def test_silent_and_close_send_nothing(self):
        with socket.create_connection((SILENT, 80)) as s:
            s.sendall(b"abc")
            s.settimeout(0.3)
            self.assertRaises(socket.timeout, s.recv, 10)
        with socket.create_connection((CLOSE, 80)) as s:
            s.sendall(b"abc")
            s.settimeout(2)
            self.assertEqual(s.recv(10), b"")  # closed by the proxy, nothing sent
        self.assertEqual(wait_records(self.proxies, SILENT, lambda r: r and r[0][1]), [(b"abc", True)])
        self.assertEqual(wait_records(self.proxies, CLOSE, lambda r: len(r) == 1)[0][0], b"abc")

    def test_connections_are_counted_and_numbered(self):
        for expected in (1, 2, 3):
            with socket.create_connection((FLOOD, 80)) as s:
                self.assertEqual(s.recv(1), bytes([expected]))
        self.assertEqual(len(wait_records(self.proxies, FLOOD, lambda r: len(r) == 3)), 3)

    def test_unlisted_address_refuses(self):
        self.assertRaises(ConnectionRefusedError, socket.create_connection, (NOTHING, 80), 2)


class ControlPort(unittest.TestCase):
    def test_records_mode_and_reset_over_the_line_protocol(self):
        tool = os.path.join(os.path.dirname(os.path.abspath(__file__)), "fake_proxy.py")
        proc = subprocess.Popen([sys.executable, tool, SILENT + "=silent"], stdin=subprocess.PIPE,
                                stdout=subprocess.PIPE, text=True)
        try:
            port = int(proc.stdout.readline().split()[1])
            with socket.create_connection(("127.0.0.1", port)) as c, c.makefile("rw") as f:
                def ask(line):
                    f.write(line + "\n")
                    f.flush()
                    return f.readline().strip()

                self.assertEqual(ask("MODE %s reply:0" % SILENT), "OK")
                with socket.create_connection((SILENT, 80)) as s:
                    s.sendall(b"\0\0")
                    self.assertTrue(s.recv(10))  # now replying
                end = time.monotonic() + 2
                while ask("RECORDS " + SILENT) != "1 0000,closed" and time.monotonic() < end:
                    time.sleep(0.01)
                self.assertEqual(ask("RECORDS " + SILENT), "1 0000,closed")
                self.assertEqual(ask("RESET"), "OK")
                self.assertEqual(ask("RECORDS " + SILENT), "0")
                self.assertTrue(ask("RECORDS 127.0.0.99").startswith("ERROR"))
        finally:
            proc.stdin.close()
            proc.wait(10)


if __name__ == "__main__":
    unittest.main()
