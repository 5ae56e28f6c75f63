#!/usr/bin/env bash
# Every test: formatting, the Linux build under the address and
# undefined-behaviour sanitizers, and the Windows build under Wine.
# Ends with one line "tests: N passed, M failed".
source "$(dirname "$0")/common.sh"

setup_machine
deps windows
deps linux

status=0
reports=()

log "checking formatting"
if ! "$ROOT/scripts/check-format.sh"; then
  status=1
fi

run_ctest() {
  local preset="$1"
  shift
  local dir="$ROOT/build/$preset"
  rm -rf "$dir/test-results"
  mkdir -p "$dir/test-results"
  log "running the $preset tests"
  if ! (cd "$dir" && ctest --output-on-failure --timeout 900 -j "$JOBS" \
          --output-junit "$dir/test-results/ctest.xml" "$@"); then
    status=1
  fi
  reports+=("$dir/test-results")
}

# Both systems first: some Linux tests talk to the Windows build.
build windows
(cd "$ROOT" && cmake --preset linux-debug -DTAVRO_WINDOWS_BUILD_DIR="$ROOT/build/windows" >/dev/null)
build linux-debug
build linux-tsan
wine_env

run_ctest linux-debug
# The threaded tests again under the thread sanitizer.
run_ctest linux-tsan -L threads
run_ctest windows
wine_done

python3 "$ROOT/scripts/summarize-tests.py" "${reports[@]}" || status=1
exit $status
