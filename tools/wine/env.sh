# Sourced by the Wine helper scripts: the environment of one test run's Wine session.
#   PROXYTOOL_RUN_DIR  folder of the run (prefix, Xvfb display, pid files); default build/win64/testrun
_here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
PROXYTOOL_SOURCE_DIR=${PROXYTOOL_SOURCE_DIR:-$(cd "$_here/../.." && pwd)}
PROXYTOOL_RUN_DIR=${PROXYTOOL_RUN_DIR:-$PROXYTOOL_SOURCE_DIR/build/win64/testrun}
export PROXYTOOL_SOURCE_DIR PROXYTOOL_RUN_DIR
export WINEPREFIX="$PROXYTOOL_RUN_DIR/prefix"
# Quiet unless a test asks for a debug channel (PROXYTOOL_WINEDEBUG, e.g. trace+wininet).
export WINEDEBUG=${PROXYTOOL_WINEDEBUG:--all}
export WINEDLLOVERRIDES="mscoree,mshtml="
WINE=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver
if [ -f "$PROXYTOOL_RUN_DIR/display" ]; then
  export DISPLAY=$(cat "$PROXYTOOL_RUN_DIR/display")
fi
