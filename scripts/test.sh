#!/usr/bin/env bash
# Every test: formatting, the Linux build under the address and
# undefined-behaviour sanitizers (the threaded tests also under the thread
# sanitizer), the release tavro.so's linkage, and the Windows build under
# Wine.
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
# The product as users get it: the sanitizer builds keep the C++ runtime
# shared, so what the release tavro.so needs and exports, and whether a host
# with its own Lua (or its own copies of the editor's libraries) can load it,
# is checked on the release build itself.
build linux-release tavro own_lua_host_tests tavro-view
wine_env

run_ctest linux-debug
# The threaded tests again under the thread sanitizer.
run_ctest linux-tsan -L threads
run_ctest linux-release -L product
run_ctest windows
wine_done

python3 "$ROOT/scripts/summarize-tests.py" "${reports[@]}" || status=1
exit $status
