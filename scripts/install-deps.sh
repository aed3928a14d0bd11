#!/usr/bin/env bash
# Installs every package the builds and the tests need, on a fresh Debian machine.
# Safe to run again: apt-get skips what is already there.
# With --if-missing it returns at once when the tools are already there.
set -euo pipefail

if [ "${1:-}" = "--if-missing" ] && command -v x86_64-w64-mingw32-g++-posix >/dev/null &&
   command -v i686-w64-mingw32-g++-posix >/dev/null && command -v ninja >/dev/null &&
   [ -x /usr/lib/wine/wine64 ] && [ -f /usr/src/googletest/CMakeLists.txt ] &&
   [ -f /usr/x86_64-w64-mingw32/lib/libz.a ] && [ -f /usr/i686-w64-mingw32/lib/libz.a ] &&
   dpkg -s libdivsufsort-dev libdeflate-dev libclang-rt-14-dev >/dev/null 2>&1 &&
   command -v clang++-14 >/dev/null &&
   command -v Xvfb >/dev/null && command -v osslsigncode >/dev/null && locale -a 2>/dev/null | grep -qi '^zh_TW\.utf8$'; then
  exit 0
fi

export DEBIAN_FRONTEND=noninteractive
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends \
  cmake ninja-build g++ make pkg-config \
  zlib1g-dev googletest libdivsufsort-dev libdeflate-dev nlohmann-json3-dev \
  g++-mingw-w64-x86-64 g++-mingw-w64-i686 mingw-w64-tools libz-mingw-w64-dev \
  wine64 xvfb xauth locales fonts-arphic-uming osslsigncode openssl \
  binutils-mingw-w64-x86-64 binutils-mingw-w64-i686 \
  clang-14 libclang-rt-14-dev >/dev/null

# Big5 under Wine needs the zh_TW.UTF-8 locale (code page 950).
if ! locale -a 2>/dev/null | grep -qi '^zh_TW\.utf8$'; then
  $SUDO sed -i 's/^# *\(zh_TW\.UTF-8 UTF-8\)/\1/' /etc/locale.gen
  grep -q '^zh_TW.UTF-8 UTF-8' /etc/locale.gen || echo 'zh_TW.UTF-8 UTF-8' | $SUDO tee -a /etc/locale.gen >/dev/null
  $SUDO locale-gen >/dev/null
fi
