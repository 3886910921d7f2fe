#!/usr/bin/env bash
# Installs everything the builds and tests need on a fresh Debian 12 machine.
# Safe to run again: apt skips what is already there.
set -euo pipefail

need_root() { if [ "$(id -u)" -ne 0 ]; then echo "setup: run as root (apt installs)" >&2; exit 1; fi; }

PACKAGES=(
  # native toolchain and libraries
  build-essential cmake ninja-build pkg-config clang libclang-rt-14-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  zlib1g-dev libpng-dev libjpeg62-turbo-dev libboost-dev
  # Windows cross builds
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64 libz-mingw-w64-dev nasm dpkg-dev
  # running the Windows program
  wine64 fonts-wine xvfb imagemagick xdotool locales fonts-ipafont-gothic
  libxrender1 libxrandr2 libxcursor1 libxi6 libxcomposite1 libxinerama1 libxfixes3
  # peers for benchmarks and independent readers in tests
  libmagickcore-6.q16-dev libpixman-1-dev python3
)

need_root
export DEBIAN_FRONTEND=noninteractive

# Source packages (libpng, libjpeg-turbo for Windows): deb-src twins of the machine's own
# entries for its release, so they come from the same place as its binary packages.
src_list=/etc/apt/sources.list.d/debian-src.sources
if [ ! -f "$src_list" ]; then
  codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
  [ -n "$codename" ] || { echo "setup: /etc/os-release names no release" >&2; exit 1; }
  shopt -s nullglob
  entries=$(bash "$(dirname "$0")/deb-src-entries.sh" "$codename" /etc/apt/sources.list \
    /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources)
  shopt -u nullglob
  [ -n "$entries" ] || { echo "setup: no apt entries for $codename to copy as deb-src" >&2; exit 1; }
  printf '%s\n' "$entries" > "$src_list"
  stamp_update=1
fi

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ] || [ -n "${stamp_update:-}" ]; then
  apt-get update -qq
fi
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# The locales the Wine runs use: Japanese (code page 932), and English and Korean (1252,
# 949) for the launcher on a system whose code page is not 932.
generate=0
for loc in ja_JP en_US ko_KR; do
  if ! locale -a 2>/dev/null | grep -qi "^$loc.utf8$"; then
    sed -i "s/^# *$loc.UTF-8 UTF-8/$loc.UTF-8 UTF-8/" /etc/locale.gen
    grep -q "^$loc.UTF-8 UTF-8" /etc/locale.gen || echo "$loc.UTF-8 UTF-8" >> /etc/locale.gen
    generate=1
  fi
done
[ "$generate" = 0 ] || locale-gen >/dev/null
echo "setup: done"
