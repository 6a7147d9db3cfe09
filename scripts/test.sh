#!/bin/sh
# Builds both trees (native and win32 presets) and runs every test of both,
# the Windows ones under Wine on Xvfb. Exits non-zero when anything fails.
#
# On a machine that cannot run 32-bit programs (scripts/windows-tier.sh finds
# out; YELK_WINDOWS_TIER=i686|x86_64 forces the choice) the win32 tree is still
# built, which verifies setup32.exe and checks its size, and its checks that
# need no Wine run (reproducibility, signing); the Windows unit programs and
# end-to-end groups then run in the x86_64 tree, an x86_64 build of the same
# sources, under Wine's 64-bit loader. The last line says which tier ran.
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
"$root/scripts/deps.sh" || exit 1
tier=$("$root/scripts/windows-tier.sh") || exit 1

cmake --preset native && cmake --build --preset native || exit 1
cmake --preset win32 && cmake --build --preset win32 || exit 1

status=0
ctest --preset native --output-on-failure -j2 || status=1
if [ "$tier" = i686 ]; then
    ctest --preset win32 --output-on-failure -j2 || status=1
    ran="i686, the shipped setup32.exe"
else
    ctest --preset win32 --output-on-failure -j2 -L wine-free || status=1
    if cmake --preset x86_64 && cmake --build --preset x86_64; then
        ctest --preset x86_64 --output-on-failure -j2 || status=1
    else
        status=1
    fi
    if [ -n "${YELK_WINDOWS_TIER:-}" ]; then
        why="YELK_WINDOWS_TIER=x86_64"
    else
        why="this machine cannot run 32-bit programs"
    fi
    ran="x86_64 build of the same sources ($why; setup32.exe was built and checked but not run)"
fi
if [ $status -ne 0 ]; then
    echo "test.sh: some tests failed" >&2
fi
echo "Windows tests: $ran"
exit $status
