#!/usr/bin/env bash
# Builds the third-party libraries of the Windows builds: libpng and libjpeg-turbo as static
# libraries for mingw-w64, from Debian's source packages (so Debian's patches are applied).
#
#   scripts/build-win-deps.sh ARCH PREFIX_ROOT        ARCH: i686 or x86_64
#
# Installs PREFIX_ROOT/ARCH/{include,lib/libpng16.a,lib/libjpeg.a}. zlib is Debian's
# libz-mingw-w64-dev (static libz.a). Sources are fetched once into PREFIX_ROOT/src.
# A stamp records what the libraries were built from (this script, the toolchain file, the
# compiler, zlib's header, the source versions); when nothing changed a second run returns at once.
#
# The libraries are compiled with the default (win32 thread model) compilers and the
# compiler's default i686 architecture (no SSE), so they run on XP-era processors;
# libjpeg-turbo's SIMD code is chosen at run time from what the processor reports.
set -euo pipefail

usage() { echo "usage: $0 i686|x86_64 PREFIX_ROOT" >&2; exit 2; }
[ $# -eq 2 ] || usage
arch=$1
case $arch in
  i686) winver=0x0501 ;;
  x86_64) winver=0x0502 ;;
  *) usage ;;
esac
triple=$arch-w64-mingw32
here=$(cd "$(dirname "$0")" && pwd)
project=$(dirname "$here")
toolchain=$project/cmake/toolchain-$triple.cmake
mkdir -p "$2"
root=$(cd "$2" && pwd)
prefix=$root/$arch
src=$root/src
stamp=$prefix/.build-stamp
jobs=$(nproc)
sysroot=/usr/$triple

for tool in "$triple-gcc-win32" cmake ninja nasm dpkg-source apt-get flock; do
  command -v "$tool" >/dev/null || { echo "build-win-deps: $tool not found (run scripts/setup.sh)" >&2; exit 1; }
done
[ -f "$sysroot/lib/libz.a" ] || { echo "build-win-deps: $sysroot/lib/libz.a missing (libz-mingw-w64-dev)" >&2; exit 1; }

# Both architectures may run at once; they share the source folder.
exec 9>"$root/.lock"
flock 9

latest_dsc() { ls "$src"/"$1"_*.dsc 2>/dev/null | sort -V | tail -n 1; }

# fetch_one PACKAGE: its source package, the newest version the archive serves. An index can
# name a version whose files the mirror doesn't have yet (or any more): then the next older.
fetch_one() {
  local version
  [ -n "$(latest_dsc "$1")" ] && return
  for version in $(apt-cache showsrc "$1" 2>/dev/null | sed -n 's/^Version: //p' | sort -Vru); do
    (cd "$src" && apt-get source -qq --download-only -o APT::Sandbox::User=root \
        "$1=$version" >>"$src/fetch.log" 2>&1) && return
    rm -f "$src/$1"_*  # what a failed fetch left
    echo "build-win-deps: $1 $version could not be fetched; trying an older version" >&2
  done
  cat "$src/fetch.log" >&2
  echo "build-win-deps: apt-get source $1 failed (deb-src entries: run scripts/setup.sh)" >&2
  exit 1
}

fetch_sources() {
  mkdir -p "$src"
  : >"$src/fetch.log"
  fetch_one libpng1.6
  fetch_one libjpeg-turbo
}

# unpack DSC: prints the folder of the patched source tree (unpacked once per version).
unpack() {
  local dsc=$1 dir
  dir=$src/$(basename "$dsc" .dsc)
  if [ ! -f "$dir/.unpacked" ]; then
    rm -rf "$dir" "$dir.tmp"
    dpkg-source -x "$dsc" "$dir.tmp" >"$src/unpack.log" 2>&1 || { cat "$src/unpack.log" >&2; exit 1; }
    mv "$dir.tmp" "$dir"
    touch "$dir/.unpacked"
  fi
  echo "$dir"
}

fetch_sources
png_dsc=$(latest_dsc libpng1.6)
jpeg_dsc=$(latest_dsc libjpeg-turbo)

want=$( {
  sha256sum "$here/$(basename "$0")" "$toolchain" "$sysroot/include/zlib.h" | cut -d' ' -f1
  "$triple-gcc-win32" -v 2>&1 | tail -n 2
  nasm -v
  basename "$png_dsc"; basename "$jpeg_dsc"
} | sha256sum | cut -d' ' -f1)
if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$want" ] &&
   [ -f "$prefix/lib/libpng16.a" ] && [ -f "$prefix/lib/libjpeg.a" ]; then
  exit 0
fi

start=$(date +%s)
png_src=$(unpack "$png_dsc")
jpeg_src=$(unpack "$jpeg_dsc")
work=$root/work-$arch
stage=$root/$arch.new
rm -rf "$work" "$stage"
mkdir -p "$work" "$stage/lib" "$stage/include"
log=$work/build.log

run() {  # run COMMAND...: output goes to the log, shown only when the command fails
  if ! "$@" >>"$log" 2>&1; then
    tail -n 60 "$log" >&2
    echo "build-win-deps: failed: $*" >&2
    echo "build-win-deps: full log in $log" >&2
    exit 1
  fi
}

# The toolchain file supplies the architecture flags; CFLAGS adds to them.
export CFLAGS="-D_WIN32_WINNT=$winver -DWINVER=$winver"
common=(-G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release)

# libjpeg-turbo: only the static library target, so no tools or tests are compiled;
# its headers are copied by hand because its install rules want every program built.
run cmake -S "$jpeg_src" -B "$work/jpeg" "${common[@]}" \
  -DCMAKE_INSTALL_PREFIX="$stage" \
  -DENABLE_SHARED=OFF -DENABLE_STATIC=ON -DREQUIRE_SIMD=ON -DWITH_SIMD=ON \
  -DWITH_TURBOJPEG=OFF -DWITH_JAVA=OFF -DWITH_12BIT=OFF
run cmake --build "$work/jpeg" --target jpeg-static -j "$jobs"
cp "$work/jpeg/libjpeg.a" "$stage/lib/"
cp "$work/jpeg/jconfig.h" "$jpeg_src"/{jpeglib.h,jmorecfg.h,jerror.h} "$stage/include/"

# libpng: the library only (no programs, no tests), against the static zlib.
run cmake -S "$png_src" -B "$work/png" "${common[@]}" \
  -DCMAKE_INSTALL_PREFIX="$stage" \
  -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_EXECUTABLES=OFF -DPNG_TESTS=OFF \
  -DZLIB_LIBRARY="$sysroot/lib/libz.a" -DZLIB_INCLUDE_DIR="$sysroot/include" \
  -DSKIP_INSTALL_EXECUTABLES=ON -DSKIP_INSTALL_PROGRAMS=ON -DSKIP_INSTALL_FILES=ON
run cmake --build "$work/png" -j "$jobs"
run cmake --install "$work/png"

for f in lib/libpng16.a lib/libjpeg.a include/png.h include/pnglibconf.h include/jpeglib.h include/jconfig.h; do
  [ -f "$stage/$f" ] || { echo "build-win-deps: $f was not installed" >&2; exit 1; }
done

rm -rf "$prefix"
mv "$stage" "$prefix"
echo "$want" >"$stamp"
rm -rf "$work"
echo "build-win-deps: $arch libraries built in $(( $(date +%s) - start )) s ($(basename "$png_dsc" .dsc), $(basename "$jpeg_dsc" .dsc))"
