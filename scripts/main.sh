#!/usr/bin/env bash
# The main job: build the Linux and Windows plug-ins, have the host load each
# one through its entry point, then play the example MIDI file through the
# Linux plug-in into a WAV file and decode that file back into MIDI.
source "$(dirname "$0")/common.sh"

setup_machine
deps windows
deps linux
# What a user runs: the two plug-ins and the tools. The tests are built by
# the test command.
build linux-release tavro tavro-render tavro-decode tavro-chunk tavro-identify tavro-view
build windows tavro tavro-chunk tavro-identify tavro-view
wine_env

bin="$ROOT/build/linux-release"
log "tavro.so"
"$bin/tools/identify/tavro-identify" "$bin/entry/tavro.so"
log "tavro.dll (under Wine)"
"$ROOT/scripts/wine-run.sh" "$ROOT/build/windows/tools/identify/tavro-identify.exe" "$ROOT/build/windows/entry/tavro.dll"
wine_done

out="$ROOT/build/example"
mkdir -p "$out"
log "rendering examples/example.mid to build/example/example.wav"
"$bin/tools/render/tavro-render" "$bin/entry/tavro.so" "$ROOT/examples/example.mid" \
  "$out/example.wav" --events "$out/events.tsv"
log "decoding build/example/example.wav"
"$bin/tools/decode/tavro-decode" "$out/example.wav" --plot "$out/example-start.svg" --to 300 |
  tail -n 12
"$bin/tools/decode/tavro-decode" "$out/example.wav" --format tsv > "$out/decoded.tsv"
python3 "$ROOT/scripts/roundtrip.py" "$out/events.tsv" "$out/decoded.tsv"
