#!/usr/bin/env bash
# editor-beside-host-libraries.sh TAVRO_VIEW PLUGIN: opens the plug-in's
# editor in a process that has already loaded the system's shared copies of
# every library the editor is built on, as a host may have (its own Lua,
# FreeType, libpng, zlib, GLEW, FTGL, oscpack). The editor must still run on
# its own copies: it opens, its Lua layout builds the whole window, and two
# wheel notches on the Level knob reach the host as automation.
set -euo pipefail

view="$1"
plugin="$2"
here="$(cd "$(dirname "$0")" && pwd)"

preload=""
for name in liblua5.1.so.0 libfreetype.so.6 libpng16.so.16 libz.so.1 libGLEW.so.2.2 \
            libftgl.so.2 liboscpack.so.1; do
  # awk reads to the end: leaving early would kill ldconfig with SIGPIPE,
  # and pipefail would end the script without a word.
  path="$(ldconfig -p | awk -v n="$name" '$1 == n && !found { print $NF; found = 1 }')"
  if [ -z "$path" ]; then
    echo "the system has no $name (scripts/setup.sh installs it)" >&2
    exit 1
  fi
  preload="$preload${preload:+:}$path"
done

work="$(mktemp -d "${TMPDIR:-/tmp}/tavro-host-libs.XXXXXX")"
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/config" "$work/data"

# The Level knob's centre, in window points from the top left.
XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data" LD_PRELOAD="$preload" \
  "$here/../common/with-xvfb.sh" "$view" "$plugin" --wheel 33,385,-2 \
  --screenshot "$work/editor.png" --verbose > "$work/out.txt" 2>&1 || {
  cat "$work/out.txt" >&2
  exit 1
}

# The picture: a PNG of 1000 x 450 (IHDR width and height, big-endian).
size="$(od -An -tu1 -j16 -N8 "$work/editor.png" | tr -s ' ' | sed 's/^ //')"
if [ "$size" != "0 0 3 232 0 0 1 194" ]; then
  echo "the editor's picture is not 1000 x 450 (IHDR bytes: $size)" >&2
  exit 1
fi
# The knob the layout script made turned the parameter, 0.05 a notch.
if ! grep -q "^host: automate 0 0.900000" "$work/out.txt"; then
  cat "$work/out.txt" >&2
  exit 1
fi
echo "the editor opened beside the host's libraries: $preload"
