#!/bin/sh
# setup.sh - installs the Debian packages that building and testing need, when missing.
# Safe to run again and again: it asks apt-get only for what is not installed yet.
set -e
# linuxcnc-uspace brings rs274, the trusted interpreter that reads every program Kerfgen writes
# in the tests (tests/trusted/). dpkg-dev brings dpkg-shlibdeps, which works out the Debian
# package's dependencies. The mingw-w64 compilers build the Windows programs, which wine runs
# in the tests (tests/windows/). CPack's Debian generator runs file(1) on what it packs, and a
# minimal system has no file.
pkgs="g++ cmake make pkg-config libgtest-dev libgmock-dev libbenchmark-dev
      freeglut3-dev libglu1-mesa-dev libgl1-mesa-dri libpng-dev libx11-dev xvfb xauth
      clang libclang-rt-dev linuxcnc-uspace dpkg-dev file
      g++-mingw-w64-x86-64-posix wine wine64"
missing=""
for p in $pkgs; do
  dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -q 'ok installed' || missing="$missing $p"
done
[ -z "$missing" ] && exit 0
echo "Installing:$missing"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo=sudo
$sudo apt-get update
# shellcheck disable=SC2086
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends $missing </dev/null
