#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need. Idempotent:
# installs only what is missing, and asks apt nothing when nothing is.
set -euo pipefail

packages=(
  # toolchain
  build-essential cmake ninja-build pkg-config clang-format python3
  # system libraries of the Linux build (Lua, oscpack, FreeType, FTGL, libpng,
  # zlib and GLEW are built from their source packages by build-deps.sh)
  libsndfile1-dev libasound2-dev libx11-dev libgl-dev libglu1-mesa-dev
  libxtst-dev
  # sources of the static libraries
  dpkg-dev
  # tests and benchmarks; a host test embeds a Lua of its own
  googletest libgtest-dev libgmock-dev libbenchmark-dev liblo-tools liblua5.4-dev
  # Windows cross build, and Wine to run it
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  wine wine64 xvfb xauth
  # the editor's tests: software GL under Xvfb, fonts, synthesised input;
  # OSMesa gives Wine GL on bitmaps (the editor's offscreen fallback)
  libgl1-mesa-dri libglx-mesa0 fonts-dejavu-core xdotool x11-apps libosmesa6
  # a host's own copies of the editor's libraries, loaded beside the plug-in
  liblua5.1-0 libfreetype6 libpng16-16 zlib1g libglew2.2 libftgl2 liboscpack1
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q '^install ok installed$'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "setup: need root (or sudo) to install: ${missing[*]}" >&2; exit 1; }
  sudo="sudo"
fi
echo "setup: installing ${missing[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get -o DPkg::Lock::Timeout=300 update -q >&2
$sudo apt-get -o DPkg::Lock::Timeout=300 install -y -q --no-install-recommends "${missing[@]}" >&2
