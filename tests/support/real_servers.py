"""Real proxy server software from Debian (squid, tinyproxy, privoxy), each run as the caller's own
instance: in the foreground, with a config file of its own in a temporary folder, listening only
on the one address and port given, its logs and pid file in that folder. squid runs under a
service name of its own (-n), so it never meets a system squid. The system's own services of
these packages are never used, started, stopped or reconfigured; they may run or not.

    from real_servers import squid, tinyproxy, privoxy, squid_accelerator
    with tinyproxy("127.0.0.62") as proxy:         # waits until it accepts connections
        ...                                        # proxy.pid, proxy.log_text(), proxy.via
        proxy.stop()                               # by PID; also done on leaving the block

Starting raises ServerStartError, naming the server, when the address is taken, the program is
missing, or it does not accept connections in time (the tail of its own log is in the message).
tools/setup/ensure-packages installs the three packages. Binding port 80 needs root.
"""

import os
import pwd
import shutil
import signal
import socket
import subprocess
import tempfile
import time

SQUID = "/usr/sbin/squid"
TINYPROXY = "/usr/bin/tinyproxy"
PRIVOXY = "/usr/sbin/privoxy"

# What each server writes into the Via line of a request it forwards (its config sets the name).
VIA_NAME = {"squid": "proxytool-test-squid", "tinyproxy": "proxytool-test-tinyproxy"}


class ServerStartError(RuntimeError):
    pass


def address_in_use(host, port):
    """True when something already listens on host:port (a bind there fails). Connections of an
    earlier instance that linger in TIME_WAIT do not count: the servers bind with SO_REUSEADDR too."""
    s = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    try:
        s.bind((host, port))
        return False
    except OSError:
        return True
    finally:
        s.close()


def accepts(host, port, timeout=0.2):
    try:
        with socket.create_connection((host, port), timeout=timeout):
            return True
    except OSError:
        return False


class RealServer:
    """One running server process. `kind` is squid, tinyproxy or privoxy; `dir` holds its config,
    logs and pid file; `log` is the file its requests are logged to."""

    def __init__(self, kind, host, port, argv, dir, log, via=None, start_timeout=15.0):
        self.kind, self.host, self.port, self.dir, self.log, self.via = kind, host, port, dir, log, via
        self.proc = None
        where = f"{kind} on {host}:{port}"
        if not shutil.which(argv[0]):
            self._remove_dir()
            raise ServerStartError(f"{where}: {argv[0]} is not installed (tools/setup/ensure-packages installs it)")
        if address_in_use(host, port):
            self._remove_dir()
            raise ServerStartError(f"{where}: the address is already in use, so this instance cannot listen there")
        self.output = open(os.path.join(dir, "output.txt"), "wb")
        self.proc = subprocess.Popen(argv, cwd=dir, stdin=subprocess.DEVNULL, stdout=self.output,
                                     stderr=subprocess.STDOUT, start_new_session=True)
        self.pid = self.proc.pid
        deadline = time.monotonic() + start_timeout
        while not accepts(host, port):
            if self.proc.poll() is not None or time.monotonic() > deadline:
                state = (f"exited with {self.proc.returncode}" if self.proc.poll() is not None
                         else f"accepts no connection after {start_timeout:.0f} s")
                detail = self.diagnostics()
                self.stop()
                raise ServerStartError(f"{where} did not start: {state}\n{detail}")
            time.sleep(0.05)
        # Accepting, and still our process: the address was free before it started.
        if self.proc.poll() is not None:
            detail = self.diagnostics()
            self.stop()
            raise ServerStartError(f"{where} exited right after starting\n{detail}")

    def running(self):
        return self.proc is not None and self.proc.poll() is None

    def read(self, path):
        try:
            with open(path, "rb") as f:
                return f.read().decode("utf-8", "replace")
        except OSError:
            return ""

    def log_text(self):
        """The server's request log so far."""
        return self.read(self.log)

    def diagnostics(self):
        text = self.read(os.path.join(self.dir, "output.txt")) + self.read(self.log)
        if self.kind == "squid":
            text += self.read(os.path.join(self.dir, "cache.log"))
        return text[-3000:]

    def stop(self, timeout=10.0):
        """Ends the server by its PID (SIGTERM, then SIGKILL); returns once it is gone. Keeps the
        folder until close(), so its logs can still be read."""
        if self.proc is not None and self.proc.poll() is None:
            os.kill(self.pid, signal.SIGTERM)
            try:
                self.proc.wait(timeout)
            except subprocess.TimeoutExpired:
                os.kill(self.pid, signal.SIGKILL)
                self.proc.wait()
        if getattr(self, "output", None):
            self.output.close()
            self.output = None

    def close(self):
        self.stop()
        self._remove_dir()

    def _remove_dir(self):
        shutil.rmtree(self.dir, ignore_errors=True)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()


def _workdir(kind, host, port, parent=None):
    d = tempfile.mkdtemp(prefix=f"{kind}-{host}-{port}-", dir=parent)
    # squid drops to the user proxy: its logs and pid file go in here too.
    os.chmod(d, 0o755)
    try:
        pw = pwd.getpwnam("proxy")
        os.chown(d, pw.pw_uid, pw.pw_gid)
    except KeyError:
        os.chmod(d, 0o777)
    return d


def _write(path, text):
    with open(path, "w", encoding="ascii") as f:
        f.write(text)
    os.chmod(path, 0o644)


def _squid_config(d, port_line, extra=""):
    return f"""{port_line}
pid_filename {d}/squid.pid
cache_log {d}/cache.log
access_log stdio:{d}/access.log
strip_query_terms off
cache_store_log none
coredump_dir {d}
netdb_filename none
pinger_enable off
# Memory only, and nothing kept: every request goes on to the server behind.
cache deny all
# Never leaves loopback for a name lookup (the tests use addresses only).
dns_nameservers 127.0.0.1
http_access allow all
visible_hostname {VIA_NAME['squid']}
shutdown_lifetime 0 seconds
{extra}"""


def _squid_service_name(host, port):
    # Letters and digits only; one per address, never "squid" (the system's own service).
    return "proxytooltest" + host.replace(".", "x") + "p" + str(port)


def squid(host, port=80, parent=None):
    """squid as a forward HTTP proxy on host:port."""
    d = _workdir("squid", host, port, parent)
    conf = os.path.join(d, "squid.conf")
    _write(conf, _squid_config(d, f"http_port {host}:{port}"))
    return RealServer("squid", host, port, [SQUID, "-N", "-n", _squid_service_name(host, port), "-f", conf], d,
                      os.path.join(d, "access.log"), via=VIA_NAME["squid"])


def squid_accelerator(host, port, origin_host, origin_port, parent=None):
    """squid as a reverse proxy (accelerator) on host:port in front of the web server at
    origin_host:origin_port: it keeps its clients' connections alive and frames the answers
    itself, whatever the server behind it does."""
    d = _workdir("squid", host, port, parent)
    conf = os.path.join(d, "squid.conf")
    extra = (f"cache_peer {origin_host} parent {origin_port} 0 no-query no-digest originserver name=origin\n"
             "cache_peer_access origin allow all\n"
             "never_direct allow all\n")
    _write(conf, _squid_config(d, f"http_port {host}:{port} accel defaultsite={host}:{port}", extra))
    return RealServer("squid", host, port, [SQUID, "-N", "-n", _squid_service_name(host, port), "-f", conf], d,
                      os.path.join(d, "access.log"), via=VIA_NAME["squid"])


def tinyproxy(host, port=80, parent=None):
    d = _workdir("tinyproxy", host, port, parent)
    conf = os.path.join(d, "tinyproxy.conf")
    log = os.path.join(d, "tinyproxy.log")
    _write(conf, f"""Port {port}
Listen {host}
Timeout 30
PidFile "{d}/tinyproxy.pid"
LogFile "{log}"
LogLevel Info
MaxClients 20
Allow 127.0.0.0/8
ViaProxyName "{VIA_NAME['tinyproxy']}"
""")
    return RealServer("tinyproxy", host, port, [TINYPROXY, "-d", "-c", conf], d, log, via=VIA_NAME["tinyproxy"])


def privoxy(host, port=80, parent=None):
    d = _workdir("privoxy", host, port, parent)
    conf = os.path.join(d, "privoxy.conf")
    # In the foreground privoxy logs to its standard error, which goes to output.txt.
    _write(conf, f"""confdir {d}
listen-address {host}:{port}
templdir /etc/privoxy/templates
# Its own name for its error pages, so that it never looks up the machine's name.
hostname proxytool-test-privoxy
# Requests, and each answered request in common log format.
debug 1
debug 512
toggle 1
enable-remote-toggle 0
enable-remote-http-toggle 0
enable-edit-actions 0
""")
    return RealServer("privoxy", host, port, [PRIVOXY, "--no-daemon", "--pidfile", os.path.join(d, "privoxy.pid"), conf],
                      d, os.path.join(d, "output.txt"))


STARTERS = {"squid": squid, "tinyproxy": tinyproxy, "privoxy": privoxy}


def start(kind, host, port=80, parent=None):
    """One of the three forward proxies by name."""
    return STARTERS[kind](host, port, parent)


def ask(host, port, payload, wait=1.0):
    """A plain socket client: connects, sends payload, waits up to `wait` seconds for any byte.
    Returns (first line of the reply or None, milliseconds from the send to the first bytes)."""
    with socket.create_connection((host, port), timeout=2) as s:
        start_t = time.perf_counter()
        s.sendall(payload)
        s.settimeout(wait)
        try:
            data = s.recv(4096)
        except socket.timeout:
            return None, None
        ms = (time.perf_counter() - start_t) * 1000
        if not data:
            return None, None
        return data.split(b"\r\n", 1)[0].decode("latin-1"), ms
