#!/usr/bin/env bash
# Builds the plug-in's third-party libraries from Debian's source packages
# as static libraries, for one of two targets, and installs them into a
# prefix that cmake/TavroDependencies.cmake reads:
#   windows  64-bit mingw-w64 (posix threads), for tavro.dll
#   linux    position-independent, with hidden symbols, for tavro.so: a host
#            that carries its own Lua, FreeType or libpng must never bind to
#            ours, nor ours to its
#
# Usage: scripts/build-deps.sh windows|linux [PREFIX_ROOT]
#   PREFIX_ROOT defaults to ${TAVRO_DEPS_CACHE:-$HOME/.cache/tavro}/TARGET-deps
#   (mingw-deps for windows).
# The prefix is PREFIX_ROOT/<key>, the key hashing this script, the target,
# the source versions and the compilers; a finished prefix is reused at once.
# The last line of stdout is the prefix; everything else goes to stderr.
set -euo pipefail

# Only the final prefix goes to the real stdout: callers take its last line.
exec 3>&1 1>&2

readonly packages=(zlib libpng1.6 freetype ftgl glew lua5.1 oscpack)
readonly apt_lock=(-o DPkg::Lock::Timeout=300)
readonly debsrc_file=/etc/apt/sources.list.d/tavro-deb-src

usage() {
  echo "usage: $0 windows|linux [PREFIX_ROOT]" >&2
  exit 2
}

[ $# -ge 1 ] || usage
readonly target=$1
case $target in
  windows)
    readonly host=x86_64-w64-mingw32
    # The unsuffixed driver names depend on update-alternatives.
    readonly cc=$host-gcc-posix cxx=$host-g++-posix ar=$host-ar ranlib=$host-ranlib
    readonly cflags=-O2 cxxflags=-O2
    readonly cache_name=mingw-deps
    ;;
  linux)
    readonly cc=gcc cxx=g++ ar=ar ranlib=ranlib
    # Everything goes into a shared object (tavro.so); hidden by default so
    # that nothing of ours is offered to the host process. Libraries that
    # mark their API visible (FreeType, GLEW) are hidden by the plug-in's
    # final link instead.
    readonly cflags="-O2 -fPIC -fvisibility=hidden"
    readonly cxxflags="$cflags -fvisibility-inlines-hidden"
    readonly cache_name=linux-deps
    ;;
  *) usage ;;
esac

log() { echo "build-deps $target: $*" >&2; }
warn() { echo "build-deps $target: warning: $*" >&2; }
die() {
  echo "build-deps $target: error: $*" >&2
  exit 1
}

as_root() {
  if [ "$(id -u)" -eq 0 ]; then
    "$@"
  elif command -v sudo >/dev/null; then
    sudo "$@"
  else
    die "need root (or sudo) for: $*"
  fi
}

# ---------------------------------------------------------------- sources

# Versions of a source package known to apt, newest first.
source_versions() {
  local v sorted=() i
  while read -r v; do
    [ -n "$v" ] || continue
    # Insertion sort: Debian version order needs dpkg, not sort -V.
    for ((i = 0; i < ${#sorted[@]}; i++)); do
      if dpkg --compare-versions "$v" gt "${sorted[i]}"; then
        break
      fi
    done
    sorted=("${sorted[@]:0:i}" "$v" "${sorted[@]:i}")
  done < <(apt-cache showsrc --only-source "$1" 2>/dev/null | sed -n 's/^Version: *//p' | sort -u)
  [ ${#sorted[@]} -eq 0 ] || printf '%s\n' "${sorted[@]}"
}

# Fills newest[PKG]; fails if apt lists no source for some package.
declare -A newest
all_sources_known() {
  local p
  for p in "${packages[@]}"; do
    newest[$p]=$(source_versions "$p" | head -n1)
    [ -n "${newest[$p]}" ] || return 1
  done
}

# apt only knows source packages with a deb-src entry. The entry is derived
# from the machine's own binary sources so that it names the same mirror.
add_deb_src() {
  local f deb822="" oneline=""
  for f in /etc/apt/sources.list.d/*.sources; do
    if [ ! -e "$f" ] || [ "$f" = "$debsrc_file.sources" ]; then continue; fi
    # Paragraph mode: one stanza per record; only "Types: deb" stanzas.
    deb822+=$(awk 'BEGIN { RS = ""; ORS = "\n\n" }
      /(^|\n)Types:[ \t]*deb[ \t]*(\n|$)/ { sub(/(^|\n)Types:[ \t]*deb/, "&-src"); print }' "$f")
    deb822+=$'\n\n'
  done
  if [ -f /etc/apt/sources.list ]; then
    oneline=$(sed -n 's/^[[:space:]]*deb\([[:space:]]\)/deb-src\1/p' /etc/apt/sources.list)
  fi
  if ! grep -q '[^[:space:]]' <<<"$deb822$oneline"; then
    die "no 'deb' entries in /etc/apt/sources.list(.d) to derive a deb-src entry from"
  fi
  if grep -q '[^[:space:]]' <<<"$deb822"; then
    log "adding $debsrc_file.sources"
    printf '%s\n' "$deb822" | as_root tee "$debsrc_file.sources" >/dev/null
  fi
  if [ -n "$oneline" ]; then
    log "adding $debsrc_file.list"
    printf '%s\n' "$oneline" | as_root tee "$debsrc_file.list" >/dev/null
  fi
  log "apt-get update"
  # A third-party repository without sources makes update fail; what counts
  # is whether Debian's source records arrived, checked below.
  as_root apt-get "${apt_lock[@]}" update -q >&2 || warn "apt-get update reported errors"
}

ensure_sources_known() {
  all_sources_known && return
  add_deb_src
  all_sources_known || die "apt still lists no source for some of: ${packages[*]}"
}

ensure_dpkg_source() {
  command -v dpkg-source >/dev/null || die "dpkg-source not found: run scripts/setup.sh (it installs dpkg-dev)"
}

# fetch PKG: downloads and unpacks PKG into $work/src/PKG/tree, with Debian's
# patches applied, and records the version used in $work/versions. The
# mirror sometimes lacks the newest revision's files: then an older listed
# version, and as a last resort the upstream tarball alone.
fetch() {
  local pkg=$1 dir=$work/src/$1 v up tarball versions
  mapfile -t versions < <(source_versions "$pkg")
  mkdir -p "$dir"
  for v in "${versions[@]}"; do
    if (cd "$dir" && apt-get source --download-only "$pkg=$v") >>"$dir/apt.log" 2>&1 &&
      dpkg-source --no-check -x "$dir/${pkg}_${v#*:}.dsc" "$dir/tree" >>"$dir/apt.log" 2>&1; then
      [ "$v" = "${versions[0]}" ] || warn "$pkg: using the older version $v"
      echo "$pkg $v" >>"$work/versions"
      return
    fi
    rm -rf "$dir/tree"
    warn "$pkg: could not fetch or unpack $v"
  done
  for v in "${versions[@]}"; do
    up=${v#*:}
    up=${up%-*}
    for tarball in "$dir/${pkg}_$up.orig.tar."*; do
      case $tarball in *.asc | *'*') continue ;; esac
      warn "$pkg: building the upstream tarball of $v without Debian's patches"
      mkdir -p "$dir/tree"
      tar -xf "$tarball" -C "$dir/tree" --strip-components=1
      echo "$pkg $v (upstream tarball only: Debian's files were not available)" >>"$work/versions"
      return
    done
  done
  tail -n 20 "$dir/apt.log" >&2
  die "$pkg: no version could be fetched"
}

# ---------------------------------------------------------------- helpers

# compile COMPILER OBJDIR FLAGS SOURCE...: two at a time, one object each.
compile() {
  local compiler=$1 objdir=$2 flags=$3
  shift 3
  mkdir -p "$objdir"
  # shellcheck disable=SC2016 # expanded by the inner sh
  printf '%s\n' "$@" |
    xargs -P2 -I{} sh -c 'set -x; $1 $2 -MD -c "$3" -o "$4/$(basename "$3").o"' sh \
      "$compiler" "$flags" {} "$objdir"
}

# archive LIB OBJDIR
archive() {
  rm -f "$1"
  "$ar" rc "$1" "$2"/*.o
  "$ranlib" "$1"
}

# cmake_build SRCDIR BUILDDIR STAGE ARGS...: configure, build and install one
# CMake project for the target into its own staging prefix.
cmake_build() {
  local src=$1 build=$2 stage=$3
  shift 3
  cmake -S "$src" -B "$build" -G "Unix Makefiles" \
    -DCMAKE_TOOLCHAIN_FILE="$work/toolchain.cmake" \
    -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_C_FLAGS_RELEASE="$cflags" -DCMAKE_CXX_FLAGS_RELEASE="$cxxflags" \
    -DCMAKE_INSTALL_PREFIX="$stage" -DCMAKE_INSTALL_LIBDIR=lib -DBUILD_SHARED_LIBS=OFF "$@"
  cmake --build "$build" -j2
  cmake --install "$build"
}

write_toolchain() {
  if [ "$target" = linux ]; then
    # Native: the system's OpenGL headers stay visible (FTGL wants them);
    # our own libraries are named explicitly where a project looks for one.
    cat >"$work/toolchain.cmake" <<EOF
set(CMAKE_C_COMPILER $cc)
set(CMAKE_CXX_COMPILER $cxx)
set(CMAKE_AR $(command -v "$ar") CACHE FILEPATH "")
set(CMAKE_RANLIB $(command -v "$ranlib") CACHE FILEPATH "")
set(CMAKE_PREFIX_PATH "$stage_prefix")
EOF
    return
  fi
  cat >"$work/toolchain.cmake" <<EOF
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER $cc)
set(CMAKE_CXX_COMPILER $cxx)
set(CMAKE_RC_COMPILER $host-windres)
set(CMAKE_AR $(command -v "$ar") CACHE FILEPATH "")
set(CMAKE_RANLIB $(command -v "$ranlib") CACHE FILEPATH "")
set(CMAKE_FIND_ROOT_PATH "$stage_prefix" /usr/$host)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
EOF
}

# ---------------------------------------------------------------- builds
# Each runs in $work/src/PKG/tree and installs into $stage_prefix.

build_zlib() {
  # ./configure refuses mingw and the Debian tarball has no win32 makefile;
  # on Linux the two defines are what ./configure would find.
  local flags=$cflags
  if [ "$target" = linux ]; then flags+=" -DHAVE_UNISTD_H -DHAVE_STDARG_H"; fi
  compile "$cc" obj "$flags" adler32.c compress.c crc32.c deflate.c gzclose.c gzlib.c \
    gzread.c gzwrite.c infback.c inffast.c inflate.c inftrees.c trees.c uncompr.c zutil.c
  archive "$stage_prefix/lib/libz.a" obj
  cp zlib.h zconf.h "$stage_prefix/include/"
}

build_libpng1_6() {
  cmake_build . build "$work/stage/png" \
    -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_TESTS=OFF -DPNG_EXECUTABLES=OFF \
    -DZLIB_LIBRARY="$stage_prefix/lib/libz.a" -DZLIB_INCLUDE_DIR="$stage_prefix/include"
  cp "$work/stage/png/lib/libpng16.a" "$stage_prefix/lib/"
  cp "$work/stage/png/include/libpng16/"{png.h,pngconf.h,pnglibconf.h} "$stage_prefix/include/"
}

build_freetype() {
  # With FreeType's bundled zlib, linking beside libz.a gives duplicate
  # symbols, hence the one just built.
  cmake_build . build "$work/stage/freetype" \
    -DFT_REQUIRE_ZLIB=ON -DFT_DISABLE_BZIP2=ON -DFT_DISABLE_PNG=ON \
    -DFT_DISABLE_HARFBUZZ=ON -DFT_DISABLE_BROTLI=ON \
    -DZLIB_LIBRARY="$stage_prefix/lib/libz.a" -DZLIB_INCLUDE_DIR="$stage_prefix/include"
  cp "$work/stage/freetype/lib/libfreetype.a" "$stage_prefix/lib/"
  cp -R "$work/stage/freetype/include/freetype2" "$stage_prefix/include/"
}

build_ftgl() {
  # 2.4.0 lists FTLibrary.h as a source beside the .cpp files, but the file
  # is under FTGL/ and CMake stops on the missing source.
  if [ ! -e src/FTLibrary.h ]; then
    sed -i '/^[[:space:]]*FTLibrary\.h[[:space:]]*$/d' src/CMakeLists.txt
  fi
  # FreeType 2.13.3 (Debian 13) made an outline's tags unsigned char; the
  # cast builds against both it and earlier releases.
  sed -i 's/char\* tagList = &outline\.tags\[startIndex\];/char* tagList = reinterpret_cast<char*>(\&outline.tags[startIndex]);/' \
    src/FTVectoriser.cpp
  grep -q 'reinterpret_cast<char\*>(&outline\.tags' src/FTVectoriser.cpp ||
    die "ftgl: could not patch src/FTVectoriser.cpp"
  # BUILD_SHARED_LIBS=OFF makes FTGL's CMake define FTGL_LIBRARY_STATIC.
  cmake_build . build "$work/stage/ftgl" \
    -DFREETYPE_LIBRARY="$stage_prefix/lib/libfreetype.a" \
    -DFREETYPE_LIBRARY_RELEASE="$stage_prefix/lib/libfreetype.a" \
    -DFREETYPE_INCLUDE_DIR_ft2build="$stage_prefix/include/freetype2" \
    -DFREETYPE_INCLUDE_DIR_freetype2="$stage_prefix/include/freetype2"
  grep -q 'FTGL_LIBRARY_STATIC' build/src/CMakeFiles/ftgl.dir/flags.make ||
    die "ftgl: not compiled with FTGL_LIBRARY_STATIC"
  cp "$work/stage/ftgl/lib/libftgl.a" "$stage_prefix/lib/"
  mkdir -p "$stage_prefix/include/FTGL"
  cp src/FTGL/*.h "$stage_prefix/include/FTGL/"
}

build_glew() {
  # The makefile always makes a dist folder with mktemp under /tmp, even for
  # a library build: keep it inside the work folder so it goes with it.
  sed -i "s#mktemp -d /tmp/glew\.XXXXXX#mktemp -d $work/glew.XXXXXX#" Makefile
  if grep -q 'mktemp -d /tmp/' Makefile; then
    warn "glew: its makefile will leave a folder in /tmp"
  fi
  # Windows: WGL, libglew32.a. Linux: GLX (SYSTEM=linux), libGLEW.a.
  local system=linux-mingw64 lib=libglew32.a window_header=wglew.h
  if [ "$target" = linux ]; then
    system=linux lib=libGLEW.a window_header=glxew.h
  fi
  make -j2 SYSTEM=$system CC="$cc" AR="$ar" STRIP= POPT="$cflags -MD" glew.lib.static
  cp "lib/$lib" "$stage_prefix/lib/"
  "$ranlib" "$stage_prefix/lib/$lib"
  mkdir -p "$stage_prefix/include/GL"
  cp include/GL/glew.h "include/GL/$window_header" "$stage_prefix/include/GL/"
}

build_lua5_1() {
  # As C, without the interpreter, the compiler and its printer, and not as
  # a DLL (no LUA_BUILD_AS_DLL). On Linux with the POSIX features of
  # Debian's build (io.popen, mkstemp) but not LUA_USE_LINUX's dlopen: a
  # C module expects lua_* in the process, where ours are hidden and a
  # host's own would run on our states; require then says plainly that C
  # modules cannot load.
  local sources=() f flags=$cflags
  for f in src/*.c; do
    case ${f#src/} in lua.c | luac.c | print.c) ;; *) sources+=("$f") ;; esac
  done
  if [ "$target" = linux ]; then flags+=" -DLUA_USE_POSIX"; fi
  # Debian's luaconf.h includes a header that Debian's own packaging writes
  # (and liblua5.1-0-dev installs): it names the multiarch folder in the
  # default C module path, which our Lua never searches.
  if grep -q '"lua5.1-deb-multiarch.h"' src/luaconf.h && [ ! -e src/lua5.1-deb-multiarch.h ]; then
    local multiarch
    multiarch=$("$cc" -print-multiarch 2>/dev/null || true)
    [ -n "$multiarch" ] || multiarch=$("$cc" -dumpmachine)
    printf '%s\n' '#ifndef _LUA_DEB_MULTIARCH_' '#define _LUA_DEB_MULTIARCH_' \
      "#define DEB_HOST_MULTIARCH \"$multiarch\"" '#endif' >src/lua5.1-deb-multiarch.h
  fi
  compile "$cc" obj "$flags" "${sources[@]}"
  archive "$stage_prefix/lib/liblua5.1.a" obj
  local inc=$stage_prefix/include/lua5.1
  mkdir -p "$inc"
  cp src/lua.h src/luaconf.h src/lualib.h src/lauxlib.h "$inc/"
  if [ -e src/lua5.1-deb-multiarch.h ]; then cp src/lua5.1-deb-multiarch.h "$inc/"; fi
  if [ -f etc/lua.hpp ]; then
    cp etc/lua.hpp "$inc/"
  else
    printf '%s\n' '// Lua header files for C++' 'extern "C" {' '#include "lua.h"' \
      '#include "lualib.h"' '#include "lauxlib.h"' '}' >"$inc/lua.hpp"
  fi
}

build_oscpack() {
  # osc/OscTypes.h makes int64 a long on every x86_64, but long has 32 bits
  # on 64-bit Windows: int64 arguments and time tags would lose their high
  # half. The file has CRLF line endings, which the pattern keeps.
  sed -i 's/^#elif defined(__x86_64__) || defined(_M_X64)\(\r\{0,1\}\)$/#elif (defined(__x86_64__) || defined(_M_X64)) \&\& !defined(_WIN32)\1/' \
    osc/OscTypes.h
  grep -q '!defined(_WIN32)' osc/OscTypes.h || die "oscpack: could not patch osc/OscTypes.h"
  local ip=win32
  if [ "$target" = linux ]; then ip=posix; fi
  compile "$cxx" obj "$cxxflags -I." ip/IpEndpointName.cpp ip/$ip/NetworkingUtils.cpp \
    ip/$ip/UdpSocket.cpp osc/*.cpp
  archive "$stage_prefix/lib/liboscpack.a" obj
  mkdir -p "$stage_prefix/include/oscpack/osc" "$stage_prefix/include/oscpack/ip"
  cp osc/*.h "$stage_prefix/include/oscpack/osc/"
  cp ip/*.h "$stage_prefix/include/oscpack/ip/"
}

# check_headers PKG: every header a build read comes from the sources here,
# the libraries built before it, the compiler and C library, or the system's
# GL. One from an installed -dev package of a library we build (Lua, zlib,
# libpng, FreeType, FTGL, GLEW, oscpack) is a fault: a fresh machine lacks it,
# and one that has it may hold another version than the one built. The
# compilers write the dependency files (-MD, and CMake's own) as they go.
check_headers() {
  local pkg=$1 tree=$work/src/$1/tree files foreign
  mapfile -t files < <(find "$tree" -name '*.d' -type f)
  [ ${#files[@]} -gt 0 ] || die "$pkg: the build wrote no dependency files to check"
  foreign=$(cat "${files[@]}" | tr -s ' \\\t' '\n' | sed -n 's/:$//; /^\//p' | sort -u |
    grep -v -e "^$work/" -e "^$root/" |
    grep -E '(lua|png|zlib\.h|zconf\.h|freetype|ft2build|FTGL|ftgl|/GL/(glew|glxew|wglew)\.h|oscpack|/osc/|/ip/)' || true)
  [ -z "$foreign" ] || die "$pkg: the build read headers installed on this machine, not its own:
$foreign"
}

# build PKG: runs build_PKG with its output in a log, shown only on failure.
build() {
  local pkg=$1 log=$work/logs/$1.log start=$SECONDS rc
  log "building $pkg"
  mkdir -p "$work/logs"
  # errexit must hold inside the builder, which it would not in an "if".
  set +e
  (
    set -e
    cd "$work/src/$pkg/tree"
    "build_${pkg//./_}"
  ) >"$log" 2>&1
  rc=$?
  set -e
  if [ $rc -ne 0 ]; then
    tail -n 60 "$log" >&2
    die "$pkg: build failed (full log above, last 60 lines)"
  fi
  check_headers "$pkg"
  log "built $pkg in $((SECONDS - start)) s"
}

# ---------------------------------------------------------------- main

root=${2:-${TAVRO_DEPS_CACHE:-$HOME/.cache/tavro}/$cache_name}
mkdir -p "$root"
root=$(cd "$root" && pwd -P)

for tool in "$cc" "$cxx" "$ar" "$ranlib" cmake make apt-get apt-cache dpkg sha256sum; do
  command -v "$tool" >/dev/null || die "$tool not found (scripts/setup.sh installs the toolchains)"
done

ensure_sources_known
key=$(
  {
    cat "${BASH_SOURCE[0]}"
    echo "target $target"
    for p in "${packages[@]}"; do echo "$p ${newest[$p]}"; done
    "$cc" --version | head -n1
    "$cxx" --version | head -n1
  } | sha256sum | cut -c1-12
)
prefix=$root/$key

if [ -f "$prefix/.complete" ]; then
  echo "$prefix" >&3
  exit 0
fi

# Two runs at once would build the same prefix: the second waits, then
# finds it complete. Holding the lock, any half-built prefix is left over
# from a killed run.
exec 4>"$root/.lock"
if command -v flock >/dev/null; then
  flock 4
  if [ -f "$prefix/.complete" ]; then
    echo "$prefix" >&3
    exit 0
  fi
  rm -rf "$root"/.building-*
fi

log "building into $prefix"
start=$SECONDS
work=""
stage_prefix=""
cleanup() {
  if [ -n "$work" ]; then rm -rf "$work"; fi
  if [ -n "$stage_prefix" ]; then rm -rf "$stage_prefix"; fi
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
work=$(mktemp -d "${TMPDIR:-/tmp}/tavro-$target-deps.XXXXXX")
# A half-built prefix must never look finished: build beside the final one
# and rename only at the end.
stage_prefix=$(mktemp -d "$root/.building-$key.XXXXXX")
chmod 755 "$stage_prefix"
mkdir -p "$stage_prefix/lib" "$stage_prefix/include"

ensure_dpkg_source
: >"$work/versions"
for p in "${packages[@]}"; do
  log "fetching $p"
  fetch "$p"
done
log "sources fetched in $((SECONDS - start)) s"

write_toolchain
for p in "${packages[@]}"; do
  build "$p"
done

{
  echo "# Debian source packages, built with $("$cc" --version | head -n1)"
  cat "$work/versions"
} >"$stage_prefix/VERSIONS"
touch "$stage_prefix/.complete"
rm -rf "$prefix"
mv -T "$stage_prefix" "$prefix"
log "done in $((SECONDS - start)) s"
echo "$prefix" >&3
