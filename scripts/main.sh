#!/usr/bin/env bash
# The main job: build the Linux and Windows plug-ins and have the host load
# each one through its entry point and print what it is.
source "$(dirname "$0")/common.sh"

setup_machine
windows_deps
build linux-release
build windows
wine_env

log "tavro.so"
"$ROOT/build/linux-release/tools/identify/tavro-identify" "$ROOT/build/linux-release/entry/tavro.so"
log "tavro.dll (under Wine)"
"$ROOT/scripts/wine-run.sh" "$ROOT/build/windows/tools/identify/tavro-identify.exe" "$ROOT/build/windows/entry/tavro.dll"
wine_done
