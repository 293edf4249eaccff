#!/bin/sh
# Installs what building and testing Quillet needs, from Debian's packages.
# Safe to run again: apt-get leaves installed packages alone.
set -e
packages="cmake ninja-build g++ zlib1g-dev googletest libgtest-dev libx11-dev libxtst-dev nlohmann-json3-dev
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-win32 libz-mingw-w64-dev wine64 xvfb xauth
  unzip zip python3 libarchive-tools imagemagick x11-utils ansible-core
  clang libclang-rt-dev"
missing=""
for p in $packages; do
  dpkg -s "$p" >/dev/null 2>&1 || missing="$missing $p"
done
[ "$(id -u)" = 0 ] && sudo="" || sudo="sudo"
# Wine's 32-bit part, which runs the 32-bit release programs, comes from
# Debian's i386 architecture: apt must know that before installing it.
if ! dpkg -s wine32:i386 >/dev/null 2>&1; then
  missing="$missing wine32:i386"
  dpkg --print-foreign-architectures | grep -qx i386 || $sudo dpkg --add-architecture i386
fi
if [ -n "$missing" ]; then
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq $missing
fi
