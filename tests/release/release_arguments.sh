#!/usr/bin/env bash
# ./release takes exactly a gateway host[:port] and a listing host. Missing ones, a loopback
# gateway (the bundled simulator) and malformed names are refused with exit 2 and a message that
# names both settings, before anything is installed, configured or built: cmake, git, dpkg-query
# and apt-get are replaced by stand-ins that record a call, and a refused run must make none.
# Accepted arguments must get past the checks (the first stand-in call is recorded). A checkout
# with changes to tracked files is refused too, before cmake runs.
#   release_arguments.sh <source dir>
set -uo pipefail
src=$1
shims=$(mktemp -d)
trap 'rm -rf "$shims"' EXIT
for tool in cmake git dpkg-query apt-get; do
  printf '#!/bin/sh\necho "%s $*" >> "%s/calls"\nexit 1\n' "$tool" "$shims" > "$shims/$tool"
  chmod +x "$shims/$tool"
done

fails=0
run() {  # run <expect: refused|accepted> <what the message must say, or -> [args...]
  local expect=$1 says=$2; shift 2
  rm -f "$shims/calls"
  local out rc
  out=$(PATH="$shims:$PATH" "$src/release" "$@" 2>&1); rc=$?
  local calls=""; [ -f "$shims/calls" ] && calls=$(head -1 "$shims/calls")
  local why=""
  if [ "$expect" = refused ]; then
    [ $rc -eq 2 ] || why="exit $rc, expected 2"
    [[ $out == *GATEWAY_HOST* && $out == *LISTING_HOST* ]] || why="$why; message does not name GATEWAY_HOST and LISTING_HOST"
    [[ $out == *"$says"* ]] || why="$why; message does not say '$says'"
    [ -z "$calls" ] || why="$why; ran '$calls' before refusing"
  else
    [ $rc -ne 2 ] && [ -n "$calls" ] || why="refused (exit $rc): $out"
  fi
  if [ -n "$why" ]; then
    echo "FAIL ./release $*: ${why#; }"; fails=$((fails + 1))
  else
    echo "ok   ./release $* -> $expect"
  fi
}

run refused "both required"           
run refused "both required"           gateway.example.test
run refused "both required"           gateway.example.test www.proxylisting.test extra
run refused "both required"           "" ""
run refused "loopback"                127.0.0.1:18931 www.proxylisting.test
run refused "loopback"                127.0.0.1 list.example.test
run refused "loopback"                127.4.5.6:80 list.example.test
run refused "loopback"                localhost:18931 www.proxylisting.test
run refused "loopback"                LOCALHOST list.example.test
run refused "loopback"                gw.localhost list.example.test
run refused "port must be"            gateway.example.test:0 list.example.test
run refused "port must be"            gateway.example.test:65536 list.example.test
run refused "port must be"            gateway.example.test: list.example.test
run refused "not a host name"         "[::1]:18931" list.example.test
run refused "not a host name"         'gw"x.test' list.example.test
run refused "not a host name"         gateway.example.test 'list.example.test/x'
run refused "not a host name"         gateway.example.test list.example.test:80
run refused "not a host name"         -gw.example.test list.example.test
run accepted -                        gateway.example.test:8080 www.proxylisting.test
run accepted -                        203.0.113.7 list.example.test
run accepted -                        GW-1.Example.test:65535 a.b

# Good arguments, but a clone with a change to a tracked file: refused before cmake runs.
clone="$shims/clone"
git clone -q --no-local "$src" "$clone" && git -C "$clone" checkout -q --detach "$(git -C "$src" rev-parse HEAD)"
echo "# changed" >> "$clone/README.md"
rm -f "$shims/calls"
mkdir "$shims/only" && cp "$shims/cmake" "$shims/apt-get" "$shims/only/"  # the real git and dpkg-query
out=$(PATH="$shims/only:$PATH" "$clone/release" gateway.example.test www.proxylisting.test 2>&1); rc=$?
if [ $rc -eq 1 ] && [[ $out == *"uncommitted changes"*README.md* ]] && [ ! -f "$shims/calls" ]; then
  echo "ok   ./release in a checkout with a changed README.md -> refused"
else
  echo "FAIL ./release in a checkout with a changed README.md: exit $rc, cmake calls: $(cat "$shims/calls" 2>/dev/null), output: $out"
  fails=$((fails + 1))
fi

[ $fails -eq 0 ] || { echo "$fails case(s) failed"; exit 1; }
