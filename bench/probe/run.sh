#!/usr/bin/env bash
# Builds and runs the probe benchmark under Wine beside the loopback fake proxies (127.0.0.20-39).
# Usage: bench/probe/run.sh   (from anywhere; uses build/win64 and its test-run Wine session)
set -euo pipefail
src=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build=$src/build/win64
export PROXYTOOL_SOURCE_DIR=$src PROXYTOOL_RUN_DIR=${PROXYTOOL_RUN_DIR:-$build/testrun}
[ -d "$build" ] || cmake --preset win64 -S "$src" >/dev/null
cmake --build "$build" --target probe_bench -j2 >/dev/null
own=0
if [ ! -f "$PROXYTOOL_RUN_DIR/display" ]; then
  "$src/tools/wine/session" start "$PROXYTOOL_RUN_DIR"
  own=1
fi
status=0
python3 "$src/tests/support/run_with_fake_proxies.py" "$build/bench/probe/probe_bench.exe" || status=$?
# A session this script started ends with it.
[ $own -eq 1 ] && "$src/tools/wine/session" stop "$PROXYTOOL_RUN_DIR" >/dev/null
exit $status
