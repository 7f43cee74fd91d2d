"""Loopback servers around the Windows programs under test: an HTTP origin, the HTTP proxy
fixture (tools/http_proxy_fixture) on port 80 of one address, and the fake proxies
(tools/fake_proxy: FakeProxies) whose modes and connection records the tests read."""

import http.server
import os
import subprocess
import sys
import threading
import time

from session import tool_path

FIXTURE = tool_path("http_proxy_fixture", "http_proxy_fixture.py")
FAKE_PROXY = tool_path("fake_proxy", "fake_proxy.py")
sys.path.insert(0, os.path.dirname(FAKE_PROXY))
from fake_proxy import FakeProxies  # noqa: E402,F401


class Origin:
    """A loopback HTTP origin server on 127.0.0.1 (free port) answering 'origin <path>'."""

    def __init__(self):
        paths = self.paths = []

        class H(http.server.BaseHTTPRequestHandler):
            def do_GET(self):
                paths.append(self.path)
                body = f"origin {self.path}\n".encode()
                self.send_response(200)
                self.send_header("Content-Length", str(len(body)))
                self.end_headers()
                self.wfile.write(body)

            def log_message(self, *a):
                pass

        self.server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), H)
        self.port = self.server.server_address[1]
        threading.Thread(target=self.server.serve_forever, daemon=True).start()

    def url(self, path):
        return f"http://127.0.0.1:{self.port}{path}"

    def close(self):
        self.server.shutdown()
        self.server.server_close()


class ProxyFixture:
    """tools/http_proxy_fixture on host:80; .lines() gives the request lines it has seen."""

    def __init__(self, host, workdir):
        self.host = host
        self.log = os.path.join(workdir, f"proxy-{host}.log")
        ready = os.path.join(workdir, f"proxy-{host}.ready")
        for p in (self.log, ready):
            if os.path.exists(p):
                os.remove(p)
        open(self.log, "w").close()
        self.proc = subprocess.Popen([sys.executable, FIXTURE, "--host", host, "--log", self.log, "--ready", ready],
                                     stdout=subprocess.DEVNULL)
        for _ in range(200):
            if os.path.exists(ready) or self.proc.poll() is not None:
                break
            time.sleep(0.02)
        if not os.path.exists(ready):
            raise RuntimeError(f"proxy fixture on {host}:80 did not start")

    def lines(self):
        with open(self.log, encoding="latin-1") as f:
            return [l.rstrip("\n") for l in f]

    def close(self):
        self.proc.terminate()
        try:
            self.proc.wait(5)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()
