#!/bin/sh
# Installs what building, running and testing setup32 needs on Debian 12, as
# root; does nothing when every package is there already. Called by run.sh and
# test.sh.
set -eu

PACKAGES="
    cmake make g++ python3
    g++-mingw-w64-i686 g++-mingw-w64-x86-64 g++-mingw-w64-x86-64-posix
    wine wine32:i386 wine64 fonts-wine xvfb xdotool imagemagick
    osslsigncode openssl
    googletest libgtest-dev libbenchmark-dev
    clang libclang-rt-14-dev valgrind lhasa
    osslsigncode openssl
"

missing=""
for p in $PACKAGES; do
    if ! dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing="$missing $p"
    fi
done
[ -z "$missing" ] && exit 0

echo "deps.sh: installing$missing" >&2
if [ "$(id -u)" -ne 0 ]; then
    echo "deps.sh: run as root to install them" >&2
    exit 1
fi
# Wine's 32-bit half comes from the i386 architecture.
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update
apt-get install -y $missing
