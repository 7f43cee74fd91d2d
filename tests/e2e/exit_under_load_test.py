"""End to end under Wine + Xvfb: Esc while the workers are busy, round after round.

The gateway simulator holds every answer until it gets SIGUSR1; the test lets all ten answers go
at one moment and presses Esc right then, or a little later, so that the process ends while the
workers read their pages, cut them and add their rows (the delay moves across that span from
round to round). The C runtime runs its exit-time work on that path while the workers still run.
Every round: exit code 0 within a second of the key, and no crash report from Wine.
"""

import os
import signal
import sys
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))

from program import App  # noqa: E402
from session import wait_for  # noqa: E402
from simulator import Simulator  # noqa: E402

ROUNDS = 12
CRASH_SIGNS = ("unhandled", "page fault", "backtrace", "exception")


class ExitUnderLoad(unittest.TestCase):
    def test_escape_while_every_part_is_answered(self):
        # Pages of about 1 MB: reading and cutting them takes the workers a while.
        scenario = {"pages": {}, "unlisted": "sample", "mode": "huge", "hold": True}
        worst = 0.0
        for round_ in range(ROUNDS):
            with self.subTest(round=round_):
                with Simulator(scenario, extra_args=("--huge-bytes", str(1 << 20))) as sim, App() as app:
                    app.wait_window()
                    wait_for(lambda: len(sim.requests()) >= 10, 20, what="ten first requests")
                    left, top, _, _ = app.ctrl_rect("list")
                    app.click_at(left + 40, top + 8)  # the column header: focuses the list, nothing else
                    sim.proc.send_signal(signal.SIGUSR1)
                    time.sleep((round_ % 6) * 0.04)
                    t0 = time.monotonic()
                    app.key("Escape")
                    code = app.wait_exit(15)
                    elapsed = time.monotonic() - t0
                    worst = max(worst, elapsed)
                    self.assertEqual(code, 0)
                    self.assertLess(elapsed, 1.0)
                    output = app.output().lower()
                    self.assertFalse(any(s in output for s in CRASH_SIGNS), output[-2000:])
        print(f"\n{ROUNDS} rounds: exit code 0 each time, slowest exit {worst * 1000:.0f} ms after Esc")


if __name__ == "__main__":
    unittest.main(verbosity=2)
