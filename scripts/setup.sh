#!/bin/sh
# Installs what building and testing Quillet needs, from Debian's packages.
# Safe to run again: apt-get leaves installed packages alone.
set -e
packages="cmake ninja-build g++ zlib1g-dev googletest libgtest-dev libx11-dev libxtst-dev nlohmann-json3-dev
  g++-mingw-w64-x86-64-posix libz-mingw-w64-dev wine64 xvfb xauth
  unzip zip python3 libarchive-tools imagemagick x11-utils ansible-core
  clang libclang-rt-dev"
missing=""
for p in $packages; do
  dpkg -s "$p" >/dev/null 2>&1 || missing="$missing $p"
done
if [ -n "$missing" ]; then
  [ "$(id -u)" = 0 ] && sudo="" || sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq $missing
fi
