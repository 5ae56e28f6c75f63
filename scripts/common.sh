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

windows_deps() {
  if [ -z "${TAVRO_WINDOWS_DEPS_DIR:-}" ]; then
    log "building (or reusing) the Windows dependencies"
    TAVRO_WINDOWS_DEPS_DIR="$("$ROOT/scripts/build-windows-deps.sh" | tail -n1)"
  fi
  export TAVRO_WINDOWS_DEPS_DIR
}

# build PRESET: configure (once) and build one preset.
build() {
  local preset="$1"
  log "building $preset"
  (cd "$ROOT" && cmake --preset "$preset" >/dev/null && cmake --build --preset "$preset" -j "$JOBS")
}

# Each run of Windows code gets a Wine prefix inside the build tree, so runs
# never share registry state with the user's own Wine.
wine_env() {
  export TAVRO_WINEPREFIX="$ROOT/build/windows/wineprefix"
}

wine_done() {
  WINEPREFIX="$TAVRO_WINEPREFIX" wineserver -w 2>/dev/null || true
}
