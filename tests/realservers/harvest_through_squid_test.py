#!/usr/bin/env python3
"""End to end under Wine + Xvfb: the harvest through a real HTTP/1.1 server. Debian's squid, our own
instance as a reverse proxy (accelerator) on the build's gateway address, stands in front of the
gateway simulator on a port of its own, so WinInet meets squid's keep-alive and framing instead of
the simulator's one-answer-per-connection. Every row and the label must be the same as with the
simulator answering on the gateway address itself."""

import http.client
import json
import os
import sys
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "support"))

import real_servers  # noqa: E402
from program import App, LABEL_PREFIX, LABEL_SUFFIX  # noqa: E402
from session import GATEWAY_HOST, LISTING_HOST  # noqa: E402
from simulator import Simulator, gateway_sim  # noqa: E402

# The embedded sample (GBK and UTF-8 pages, an entry cut across two parts, ...), with page 5 behind
# about 4 MB of filler, so that one answer streams through squid in many pieces.
SCENARIO = json.loads(json.dumps(gateway_sim.SAMPLE))
SCENARIO["pages"]["5"]["mode"] = "huge"


def harvest(sim):
    """Runs proxytool.exe until its list settles (all 20 answers out, three equal dumps over a
    second); returns (rows, label)."""
    with App() as app:
        app.wait_window()
        sim.wait_answered(20, timeout=90)
        seen = []
        deadline = time.monotonic() + 60
        while time.monotonic() < deadline:
            d = app.dump()
            seen = (seen + [(d["rows"], d["label"])])[-3:]
            if len(seen) == 3 and all(s == seen[0] for s in seen) and d["label"].endswith(LABEL_SUFFIX):
                app.close()
                app.wait_exit(15)
                return d["rows"], d["label"]
            time.sleep(0.5)
    raise TimeoutError("the list did not settle")


def two_requests_on_one_connection(host, port):
    """Two GETs of page 1 on one connection: [(status, Connection header)] of each answer."""
    conn = http.client.HTTPConnection(host, port, timeout=10)
    out = []
    try:
        for _ in range(2):
            conn.request("GET", "/tc" + gateway_sim.page_query(LISTING_HOST, 1))
            r = conn.getresponse()
            r.read()
            out.append((r.status, (r.getheader("Connection") or "").lower()))
    finally:
        conn.close()
    return out


class HarvestThroughSquid(unittest.TestCase):
    def test_rows_and_label_are_the_same_through_squid(self):
        with Simulator(scenario=SCENARIO) as sim:
            direct_rows, direct_label = harvest(sim)
        self.assertGreater(len(direct_rows), 40, "the sample fills the list")
        self.assertEqual(direct_label, f"{LABEL_PREFIX}{len(direct_rows)}{LABEL_SUFFIX}")

        host, port = gateway_sim.split_hostport(GATEWAY_HOST)
        with Simulator(scenario=SCENARIO, listen="127.0.0.1:0") as sim:
            origin_host, origin_port = gateway_sim.split_hostport(sim.address)
            with real_servers.squid_accelerator(host, port, origin_host, origin_port) as squid:
                rows, label = harvest(sim)
                requests = sim.requests()
                access = [l for l in squid.log_text().splitlines() if " GET " in l]
                kept_alive = two_requests_on_one_connection(host, port)

        print(f"direct: {len(direct_rows)} rows, label {direct_label}; through squid: {len(rows)} rows, "
              f"label {label}", flush=True)
        # Workers append in the order their answers come in: the same rows, in any order.
        self.assertEqual(sorted(rows), sorted(direct_rows))
        self.assertEqual(label, direct_label)

        # Every request went through squid to the simulator and came back whole.
        self.assertEqual(len(requests), 20)
        self.assertEqual(sorted((r["page"], r["part"]) for r in requests),
                         sorted((n, p) for n in range(1, 11) for p in (1, 2)))
        for r in requests:
            self.assertIn(f"\r\nVia: 1.1 {real_servers.VIA_NAME['squid']} (squid/", r["raw"])
        self.assertEqual(len(access), 20, access)
        for line in access:
            self.assertIn("/200 ", line)  # e.g. TCP_MISS/200
            self.assertIn(f"GET http://{GATEWAY_HOST}/tc?", line)
        # What WinInet met: HTTP/1.1 answers framed by length on a connection that stays open,
        # where the simulator itself closes after each answer.
        self.assertEqual(kept_alive, [(200, "keep-alive"), (200, "keep-alive")])


if __name__ == "__main__":
    unittest.main(verbosity=2)
