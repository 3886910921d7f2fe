#!/usr/bin/env bash
# Builds the three builds and runs every test: native unit tests, fuzz runs under ASan and
# UBSan, and the checks of the Windows programs and release packages (the native build comes
# first: the Windows tools are compared with its Linux ones). Usage: scripts/test-all.sh
set -uo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
jobs=$(nproc)

bash scripts/setup.sh || exit 1

failed=0 passed=0
run_step() {  # run_step NAME COMMAND...
  local name=$1; shift
  echo "=== $name"
  if "$@"; then passed=$((passed + 1)); else echo "*** $name failed"; failed=$((failed + 1)); fi
}
ctest_dir() { ctest --test-dir "$1" --output-on-failure -j "$jobs" --timeout 900; }

native() {
  cmake -S . -B build/native -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null &&
    ninja -C build/native && ctest_dir build/native
}
fuzz() {
  CC=clang CXX=clang++ cmake -S . -B build/fuzz -G Ninja -DLAUNCHER_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null &&
    ninja -C build/fuzz && ctest_dir build/fuzz
}
windows() {  # windows ARCH
  local arch=$1 dir=build/win-$1
  bash scripts/build-win-deps.sh "$arch" "$root/build/deps" &&
    cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-$arch-w64-mingw32.cmake" \
      -DWIN_DEPS_PREFIX="$root/build/deps/$arch" >/dev/null &&
    ninja -C "$dir" && ninja -C "$dir" package >/dev/null && ctest_dir "$dir"
}

run_step "native build and tests" native
run_step "fuzz targets under ASan and UBSan" fuzz
run_step "Windows i686 build and checks" windows i686
run_step "Windows x86_64 build and checks" windows x86_64

echo
echo "steps: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
