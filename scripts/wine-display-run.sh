#!/bin/sh
# Runs a Windows program under Wine on a private virtual X display, for
# programs that open windows and OpenGL contexts.
#
# The Wine prefix is TAVRO_WINE_DISPLAY_PREFIX (else the plain runs' prefix
# with "-display" appended). A wineserver remembers the display it started
# with, and a wineserver started without one leaves later programs without
# GL: so this prefix is never shared with display-less runs, one program at a
# time uses it (a lock beside it), and its wineserver is stopped before the
# display goes.
set -u

prefix="${TAVRO_WINE_DISPLAY_PREFIX:-${TAVRO_WINEPREFIX:-$HOME/.cache/tavro/wineprefix}-display}"
mkdir -p "$prefix"
export WINEPREFIX="$prefix"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
# Mesa's software renderer, single-threaded, for the same pictures each run.
export LIBGL_ALWAYS_SOFTWARE=1 GALLIUM_DRIVER=llvmpipe LP_NUM_THREADS=1

exec 8>"$prefix.lock"
flock 8

work="$(mktemp -d)"
xvfb_pid=""
cleanup() {
  wineserver -k 2>/dev/null
  wineserver -w 2>/dev/null
  if [ -n "$xvfb_pid" ]; then
    kill "$xvfb_pid" 2>/dev/null
    wait "$xvfb_pid" 2>/dev/null
  fi
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# A server left behind by an interrupted run holds the old display.
wineserver -k 2>/dev/null
wineserver -w 2>/dev/null

# Xvfb picks a free display itself and writes its number (no race with other
# Xvfb servers starting at the same time).
Xvfb -displayfd 9 -screen 0 1280x800x24 -nolisten tcp 9>"$work/display" 2>"$work/xvfb.log" 8>&- &
xvfb_pid=$!
tries=0
while [ ! -s "$work/display" ]; do
  if ! kill -0 "$xvfb_pid" 2>/dev/null || [ "$tries" -ge 100 ]; then
    echo "wine-display-run: Xvfb did not start:" >&2
    cat "$work/xvfb.log" >&2
    exit 1
  fi
  tries=$((tries + 1))
  sleep 0.1
done
DISPLAY=":$(head -n1 "$work/display")"
export DISPLAY

# No window manager runs on the virtual display: Wine would wait two seconds
# for one to withdraw every top-level window it hides or destroys.
if [ ! -e "$prefix/.tavro-unmanaged" ]; then
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 8>&- &&
    touch "$prefix/.tavro-unmanaged"
fi

# Neither the program nor the wineserver it starts may hold the lock.
status=0
wine "$@" 8>&- || status=$?
exit "$status"
