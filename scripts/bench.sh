#!/usr/bin/env bash
# Benchmarks of the audio path (release build). Extra arguments go to
# Google Benchmark, e.g. --benchmark_filter=Encoder.
source "$(dirname "$0")/common.sh"

setup_machine
deps linux
build linux-release
"$ROOT/build/linux-release/bench/tavro_bench" "$@"
