#!/bin/sh
# Rebuilds the sample client program samples/client/yelk32.exe from yelk32.cpp.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
i686-w64-mingw32-g++-posix -Os -s -mwindows -static \
    -o "$here/../client/yelk32.exe" "$here/yelk32.cpp"
