"""The test run's paths and Wine session, shared by the script tests, tools/run_main_job.py and
the benchmark scripts. Scripts find this folder by putting the repository's tests/support on
sys.path:

    sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))

Environment (set by ctest for script tests, read once at import): PROXYTOOL_RUN_DIR (the Wine
session: prefix and Xvfb display), PROXYTOOL_BUILD_DIR (build/win64), PROXYTOOL_SOURCE_DIR,
PROXYTOOL_GATEWAY_HOST (the build's gateway host:port: the program asks only there, so the
simulator must listen there), PROXYTOOL_LISTING_HOST.
"""

import os
import subprocess
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE_DIR = os.environ.get("PROXYTOOL_SOURCE_DIR") or os.path.abspath(os.path.join(HERE, "..", ".."))
BUILD_DIR = os.environ.get("PROXYTOOL_BUILD_DIR") or os.path.join(SOURCE_DIR, "build", "win64")
RUN_DIR = os.environ.get("PROXYTOOL_RUN_DIR") or os.path.join(BUILD_DIR, "testrun")
GATEWAY_HOST = os.environ.get("PROXYTOOL_GATEWAY_HOST") or "127.0.0.1:18931"
LISTING_HOST = os.environ.get("PROXYTOOL_LISTING_HOST") or "www.proxylisting.test"
WINE_RUN = os.path.join(SOURCE_DIR, "tools", "wine", "wine-run")


def tool_path(*parts):
    """A file under the repository's tools/."""
    return os.path.join(SOURCE_DIR, "tools", *parts)


def exe(rel):
    """A program of the build, by its path under the build folder."""
    return os.path.join(BUILD_DIR, rel)


def display():
    with open(os.path.join(RUN_DIR, "display")) as f:
        return f.read().strip()


def wine_env(extra=None):
    """The environment of a process in the session, with the session's X display."""
    env = dict(os.environ)
    env["PROXYTOOL_RUN_DIR"] = RUN_DIR
    env["DISPLAY"] = display()
    if extra:
        env.update(extra)
    return env


def wine(*args, timeout=60, winedebug=None):
    """Runs a program in the session to its end: CompletedProcess with stdout and stderr bytes.
    The output goes through files, not pipes: Wine's background processes (services, explorer)
    started by a call inherit its handles and would hold a pipe open long after the program has
    ended."""
    env = dict(os.environ, PROXYTOOL_RUN_DIR=RUN_DIR)
    if winedebug:
        env["PROXYTOOL_WINEDEBUG"] = winedebug
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        rc = subprocess.run([WINE_RUN, *args], stdout=out, stderr=err, stdin=subprocess.DEVNULL,
                            timeout=timeout, env=env).returncode
        out.seek(0)
        err.seek(0)
        return subprocess.CompletedProcess(args, rc, out.read(), err.read())


def wait_for(predicate, timeout=30.0, interval=0.1, what="condition"):
    """Polls predicate() until it returns a truthy value, which is returned; raises on timeout."""
    deadline = time.monotonic() + timeout
    last = None
    while True:
        last = predicate()
        if last:
            return last
        if time.monotonic() >= deadline:
            raise TimeoutError(f"timed out after {timeout:.0f} s waiting for {what} (last: {last!r})")
        time.sleep(interval)
