#!/bin/sh
# Runs a test program on a private Xvfb screen with Mesa's software
# renderer, so that its GL tests have a context; without Xvfb the program
# runs as it is and skips them.
if ! command -v Xvfb >/dev/null 2>&1; then
  echo "with-xvfb: no Xvfb, GL tests will be skipped" >&2
  exec "$@"
fi
folder=$(mktemp -d) || exit 1
# -displayfd: Xvfb picks a free display and writes its number when ready.
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$folder/display" 2>"$folder/log" &
server=$!
tries=0
while [ ! -s "$folder/display" ] && [ $tries -lt 200 ] && kill -0 $server 2>/dev/null; do
  sleep 0.05
  tries=$((tries + 1))
done
if [ -s "$folder/display" ]; then
  DISPLAY=":$(cat "$folder/display")"
  export DISPLAY
else
  echo "with-xvfb: Xvfb did not start:" >&2
  cat "$folder/log" >&2
  unset DISPLAY
fi
LIBGL_ALWAYS_SOFTWARE=1 GALLIUM_DRIVER=llvmpipe LP_NUM_THREADS=1 "$@"
status=$?
kill $server 2>/dev/null
wait $server 2>/dev/null
rm -rf "$folder"
exit $status
