#!/usr/bin/env bash
# with-xvfb.sh COMMAND [ARGS...]: runs COMMAND against an X server of its
# own (Xvfb on a free display number the server picks itself, so that tests
# run in parallel), with Mesa's software rasteriser in one thread for
# pictures that do not vary. Ends the server by its process id and exits
# with the command's status.
set -u

# The server's stderr goes to a file: shown only when it fails to start.
work="$(mktemp -d "${TMPDIR:-/tmp}/tavro-xvfb.XXXXXX")"
server=""
finish() {
  if [ -n "$server" ]; then
    kill "$server" 2>/dev/null
    wait "$server" 2>/dev/null
  fi
  rm -rf "$work"
}
trap finish EXIT
trap 'exit 129' HUP
trap 'exit 130' INT
trap 'exit 143' TERM

: >"$work/display"
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp -noreset \
  3>"$work/display" 2>"$work/xvfb.log" &
server=$!

display=""
for _ in $(seq 1 200); do
  display="$(tr -d '[:space:]' <"$work/display")"
  [ -n "$display" ] && break
  if ! kill -0 "$server" 2>/dev/null; then
    break
  fi
  sleep 0.05
done
if [ -z "$display" ]; then
  echo "with-xvfb.sh: Xvfb did not start:" >&2
  cat "$work/xvfb.log" >&2
  exit 125
fi

export DISPLAY=":$display"
export LIBGL_ALWAYS_SOFTWARE=1 GALLIUM_DRIVER=llvmpipe LP_NUM_THREADS=1
"$@"
