#!/usr/bin/env bash
# Shows tavro's editor with a skin, without installing the skin or touching
# your own settings:
#
#   examples/preview-skin.sh examples/skins/Midnight            # a window
#   examples/preview-skin.sh examples/skins/Midnight out.png    # a picture
#
# The plug-in and the viewer are taken from build/linux-release (set
# TAVRO_PLUGIN and TAVRO_VIEW to use others). Further arguments go to
# tavro-view (--click X,Y, --after MS, ...).
set -euo pipefail

if [ $# -lt 1 ]; then
  echo "usage: $0 SKIN_FOLDER [OUT.png] [tavro-view options...]" >&2
  exit 2
fi
skin="$(cd "$1" && pwd)"
shift
name="$(basename "$skin")"
name="${name%.bundle}"
root="$(cd "$(dirname "$0")/.." && pwd)"
plugin="${TAVRO_PLUGIN:-$root/build/linux-release/entry/tavro.so}"
view="${TAVRO_VIEW:-$root/build/linux-release/tools/view/tavro-view}"

# A home of its own: the skins folder and the preference file the plug-in
# reads live below these.
home="$(mktemp -d "${TMPDIR:-/tmp}/tavro-skin.XXXXXX")"
trap 'rm -rf "$home"' EXIT
export XDG_DATA_HOME="$home/data" XDG_CONFIG_HOME="$home/config"
mkdir -p "$XDG_DATA_HOME/Vantrell/tavro/Skins" "$XDG_CONFIG_HOME/Vantrell"
cp -R "$skin" "$XDG_DATA_HOME/Vantrell/tavro/Skins/$name"
printf 'Skin=%s\n' "$name" >"$XDG_CONFIG_HOME/Vantrell/com.vantrell.tavro"

if [ $# -ge 1 ] && [[ "$1" != --* ]]; then
  out="$1"
  shift
  set -- --screenshot "$out" "$@"
fi
"$view" "$plugin" "$@"
