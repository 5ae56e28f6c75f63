#!/usr/bin/env bash
# Benchmarks of the audio path (release build). Extra arguments go to
# Google Benchmark, e.g. --benchmark_filter=Encoder.
source "$(dirname "$0")/common.sh"

setup_machine
deps linux
build linux-release
"$ROOT/build/linux-release/bench/tavro_bench" "$@"
# The editor's cost on software GL, with a display of its own and a
# preference file of its own (the benchmark switches constant redraw).
if [ -x "$ROOT/build/linux-release/bench/tavro_editor_bench" ]; then
  XDG_CONFIG_HOME="$(mktemp -d)" "$ROOT/tests/common/with-xvfb.sh" \
    "$ROOT/build/linux-release/bench/tavro_editor_bench" "$@"
fi
if [ -x "$ROOT/build/linux-release/bench/tavro_layout_bench" ]; then
  XDG_CONFIG_HOME="$(mktemp -d)" XDG_DATA_HOME="$(mktemp -d)" "$ROOT/tests/common/with-xvfb.sh" \
    "$ROOT/build/linux-release/bench/tavro_layout_bench" "$@"
fi
