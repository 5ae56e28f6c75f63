# Shared by main.sh and test.sh: set-up, dependencies and builds.
# shellcheck shell=bash
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
JOBS="${JOBS:-$(nproc)}"

log() { echo "== $*" >&2; }

setup_machine() {
  log "checking system packages"
  "$ROOT/scripts/setup.sh"
}

# deps TARGET (windows or linux): builds the static third-party libraries of
# one target once (cached under ~/.cache/tavro) and exports their prefix as
# TAVRO_WINDOWS_DEPS_DIR or TAVRO_LINUX_DEPS_DIR for the presets.
deps() {
  local target="$1" var prefix
  var="TAVRO_${target^^}_DEPS_DIR"
  if [ -z "${!var:-}" ]; then
    log "building (or reusing) the $target dependencies"
    prefix="$("$ROOT/scripts/build-deps.sh" "$target" | tail -n1)"
    printf -v "$var" '%s' "$prefix"
  fi
  export "${var?}"
}

# build PRESET [TARGET...]: configure (once) and build one preset, or only
# some of its targets.
build() {
  local preset="$1"
  shift
  local targets=()
  if [ $# -gt 0 ]; then targets=(--target "$@"); fi
  log "building $preset${*:+ ($*)}"
  (cd "$ROOT" && cmake --preset "$preset" >/dev/null &&
    cmake --build --preset "$preset" -j "$JOBS" "${targets[@]}")
}

# Each run of Windows code gets a Wine prefix inside the build tree, so runs
# never share registry state with the user's own Wine.
wine_env() {
  export TAVRO_WINEPREFIX="$ROOT/build/windows/wineprefix"
}

wine_done() {
  WINEPREFIX="$TAVRO_WINEPREFIX" wineserver -w 2>/dev/null || true
}
