"""The gateway simulator (tools/gateway_sim) on the build's gateway host, as a handle with its
request log; `gateway_sim` is the simulator's own module, for tests that work out what it serves.

    with Simulator(scenario={"pages": {"3": {"mode": "fail"}}}) as sim:
        ...
        assert len(sim.requests()) == 20
"""

import json
import os
import shutil
import subprocess
import sys
import tempfile

from session import GATEWAY_HOST, LISTING_HOST, tool_path, wait_for

SIMULATOR = tool_path("gateway_sim", "gateway_sim.py")
sys.path.insert(0, os.path.dirname(SIMULATOR))
import gateway_sim  # noqa: E402,F401


def is_quad(text):
    """What starts a row: four pieces on splitting on "." (a trailing dot adds no piece)."""
    pieces = text.split(".")
    if pieces and pieces[-1] == "":
        pieces.pop()
    return len(pieces) == 4


def expected_rows(texts):
    """The rows one worker's collected texts give: an address starts a row, the texts behind it fill
    columns 1, 3 and 4; texts before the first address are dropped."""
    rows = []
    col = None
    for t in texts:
        if is_quad(t):
            rows.append([t, "", "", "", ""])
            col = 1
        elif col is not None:
            if col in (1, 3, 4):
                rows[-1][col] = t
            col += 1
    return rows


def page_rows(scenario, n, parts=(1, 2)):
    """The rows page n of the scenario gives from the given parts (an empty span ends a part)."""
    texts = []
    for i, part in enumerate(gateway_sim.served_texts(scenario, n), start=1):
        if i in parts:
            for t in part:
                if t == "":
                    break
                texts.append(t)
    return expected_rows(texts)


class Simulator:
    """The gateway simulator on the build's gateway host (or `listen`), with a scenario (a dict, a
    JSON file path, or None for the embedded sample) and a request log."""

    def __init__(self, scenario=None, listen=None, listing_host=None, extra_args=()):
        self.dir = tempfile.mkdtemp(prefix="gwsim-")
        self.log_path = os.path.join(self.dir, "requests.jsonl")
        cmd = ["python3", SIMULATOR, "--listen", listen or GATEWAY_HOST, "--log", self.log_path,
               "--listing-host", listing_host or LISTING_HOST, *extra_args]
        if isinstance(scenario, dict):
            path = os.path.join(self.dir, "scenario.json")
            with open(path, "w", encoding="utf-8") as f:
                json.dump(scenario, f, ensure_ascii=False)
            cmd += ["--scenario", path]
        elif scenario:
            cmd += ["--scenario", scenario]
        self.proc = subprocess.Popen(cmd, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        line = self.proc.stdout.readline()
        if not line.startswith("READY "):
            err = self.proc.stderr.read() if self.proc.poll() is not None else ""
            self.stop()
            raise RuntimeError(f"gateway simulator did not start: {line!r} {err}")
        self.address = line.split()[1]

    def events(self):
        """Every log record so far: requests and answer ends (see gateway_sim.py --log)."""
        if not os.path.exists(self.log_path):
            return []
        with open(self.log_path, encoding="utf-8") as f:
            return [json.loads(l) for l in f if l.strip()]

    def requests(self):
        """Every request so far, in arrival order (dicts: method, path, raw, page, part, mode, t)."""
        return [e for e in self.events() if e.get("event") == "request"]

    def answered(self):
        """How many requests have been answered completely (or reset) so far."""
        return sum(1 for e in self.events() if e.get("event") in ("sent", "send_failed", "reset"))

    def wait_answered(self, count, timeout=60.0):
        """Waits until `count` requests have been answered."""
        wait_for(lambda: self.answered() >= count, timeout, what=f"{count} answered requests")

    def stop(self):
        if self.proc and self.proc.poll() is None:
            self.proc.terminate()
            try:
                self.proc.wait(5)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()
        for stream in (self.proc.stdout, self.proc.stderr):
            if stream:
                stream.close()
        shutil.rmtree(self.dir, ignore_errors=True)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.stop()
