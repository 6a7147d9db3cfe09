#!/bin/sh
# Builds both trees (native and win32 presets) and runs every test of both,
# the Windows ones under Wine on Xvfb. Exits non-zero when anything fails.
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
"$root/scripts/deps.sh" || exit 1

cmake --preset native && cmake --build --preset native || exit 1
cmake --preset win32 && cmake --build --preset win32 || exit 1

status=0
ctest --preset native --output-on-failure -j2 || status=1
ctest --preset win32 --output-on-failure -j2 || status=1
if [ $status -ne 0 ]; then
    echo "test.sh: some tests failed" >&2
fi
exit $status
