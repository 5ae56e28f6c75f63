#!/bin/sh
# Runs a Windows program under Wine with the project's own prefix, quietly,
# and without the prompts to install Mono or Gecko.
export WINEPREFIX="${TAVRO_WINEPREFIX:-$HOME/.cache/tavro/wineprefix}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
mkdir -p "$WINEPREFIX"
exec wine "$@"
