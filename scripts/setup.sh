#!/usr/bin/env bash
# The one place that installs what the build and the tests need, on Debian 12
# (bookworm) and Debian 13 (trixie). Idempotent: installs only what is
# missing, and asks apt nothing when nothing is.
#
# An entry "a|b" is one need met by either package: the first that is
# installed counts, otherwise the first that apt offers is installed (Debian
# 13 renamed some libraries in its 64-bit time transition).
set -euo pipefail

packages=(
  # The toolchain: compilers, CMake with Ninja, the formatting check, and
  # python3 for the scripts that compare and summarise results.
  build-essential cmake ninja-build pkg-config clang-format python3

  # System libraries the Linux build links as they are: WAV files for the
  # tools, ALSA for the MIDI input, X11 and GL for the editor, XTEST for the
  # editor tests' synthesised input. Lua, oscpack, FreeType, FTGL, libpng,
  # zlib and GLEW are not among them: build-deps.sh builds those from their
  # source packages, without their -dev packages.
  libsndfile1-dev libasound2-dev libx11-dev libgl-dev libglu1-mesa-dev libxtst-dev

  # dpkg-source, which unpacks those source packages with Debian's patches.
  dpkg-dev

  # Tests and benchmarks. liblo-tools is an OSC peer written by others;
  # liblua5.4-dev is the Lua of a test host that carries its own.
  googletest libgtest-dev libgmock-dev libbenchmark-dev liblo-tools liblua5.4-dev

  # The Windows cross build (posix threads), and Wine with a virtual display
  # to run it.
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  wine wine64 xvfb xauth

  # The editor's tests: software GL under Xvfb, a font, synthesised input and
  # window dumps; OSMesa gives Wine GL on bitmaps (the offscreen fallback).
  libgl1-mesa-dri libglx-mesa0 fonts-dejavu-core xdotool x11-apps libosmesa6

  # A host's own shared copies of the editor's libraries, loaded beside the
  # plug-in by a test that checks the two never bind to each other.
  liblua5.1-0 libfreetype6 "libpng16-16t64|libpng16-16" zlib1g
  libglew2.2 libftgl2 liboscpack1

  # Locale data: tests run the plug-in in a host that set a German locale.
  locales
)

# The locale those tests need, generated once.
readonly test_locale=de_DE.UTF-8

is_installed() {
  dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q '^install ok installed$'
}

has_candidate() {
  local candidate
  candidate=$(apt-cache policy "$1" 2>/dev/null | sed -n 's/^ *Candidate: *//p')
  [ -n "$candidate" ] && [ "$candidate" != "(none)" ]
}

has_locale() {
  locale -a 2>/dev/null | grep -qix "${test_locale/UTF-8/utf8}"
}

# Needs not yet met, one entry each.
unmet=()
for entry in "${packages[@]}"; do
  met=0
  IFS='|' read -r -a alternatives <<<"$entry"
  for p in "${alternatives[@]}"; do
    if is_installed "$p"; then met=1 && break; fi
  done
  [ $met -eq 1 ] || unmet+=("$entry")
done
[ ${#unmet[@]} -eq 0 ] && has_locale && exit 0

sudo=""
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "setup: need root (or sudo) to install: ${unmet[*]} $test_locale" >&2; exit 1; }
  sudo="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
readonly apt_lock=(-o DPkg::Lock::Timeout=300)

if [ ${#unmet[@]} -gt 0 ]; then
  echo "setup: installing ${unmet[*]}" >&2
  $sudo apt-get "${apt_lock[@]}" update -q >&2
  missing=()
  for entry in "${unmet[@]}"; do
    IFS='|' read -r -a alternatives <<<"$entry"
    chosen=""
    for p in "${alternatives[@]}"; do
      if has_candidate "$p"; then chosen=$p && break; fi
    done
    [ -n "$chosen" ] || { echo "setup: apt offers none of: ${alternatives[*]}" >&2; exit 1; }
    missing+=("$chosen")
  done
  $sudo apt-get "${apt_lock[@]}" install -y -q --no-install-recommends "${missing[@]}" >&2
fi

if ! has_locale; then
  echo "setup: generating the $test_locale locale" >&2
  $sudo localedef -i "${test_locale%%.*}" -c -f "${test_locale#*.}" "$test_locale"
fi
