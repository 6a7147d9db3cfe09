#!/bin/sh
# Builds both trees (native and win32 presets) and runs every test of both,
# the Windows ones under Wine on Xvfb. Exits non-zero when anything fails.
#
# Which Windows tier runs (scripts/windows-tier.sh finds out;
# YELK_WINDOWS_TIER=i686|i686-qemu|x86_64 forces it):
#   i686       the win32 tree's whole suite against the shipped setup32.exe;
#   i686-qemu  the same suite, on a machine that cannot run 32-bit programs,
#              with every i386 program under qemu-i386 in a namespace of its
#              own (scripts/i386-namespace.sh) and timeouts that fit it;
#   x86_64     where neither works: the win32 tree is still built, which
#              verifies setup32.exe and checks its size, and runs its checks
#              that need no Wine (reproducibility, signing, imports); the
#              Windows unit programs and end-to-end groups then run in the
#              x86_64 tree, an x86_64 build of the same sources, under Wine's
#              64-bit loader.
# The last line says which tier ran.
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
"$root/scripts/deps.sh" || exit 1
tier=$("$root/scripts/windows-tier.sh") || exit 1
if [ "$tier" = i686-qemu ]; then emulated=ON; else emulated=OFF; fi

cmake --preset native && cmake --build --preset native || exit 1
cmake --preset win32 -DYELK_WINE_EMULATED=$emulated && cmake --build --preset win32 || exit 1

status=0
ctest --preset native --output-on-failure -j2 || status=1
case $tier in
i686)
    ctest --preset win32 --output-on-failure -j2 || status=1
    ran="i686, the shipped setup32.exe"
    ;;
i686-qemu)
    "$root/scripts/i386-namespace.sh" run ctest --preset win32 --output-on-failure -j2 || status=1
    if [ -n "${YELK_WINDOWS_TIER:-}" ]; then
        why="YELK_WINDOWS_TIER=i686-qemu"
    else
        why="this machine cannot run 32-bit programs"
    fi
    ran="i686 under qemu-i386, the shipped setup32.exe ($why; $("$root/scripts/i386-namespace.sh" emulator 2>/dev/null | sed 's/^/qemu /'))"
    ;;
*)
    ctest --preset win32 --output-on-failure -j2 -L wine-free || status=1
    if cmake --preset x86_64 && cmake --build --preset x86_64; then
        ctest --preset x86_64 --output-on-failure -j2 || status=1
    else
        status=1
    fi
    if [ -n "${YELK_WINDOWS_TIER:-}" ]; then
        why="YELK_WINDOWS_TIER=x86_64"
    else
        why="this machine cannot run 32-bit programs, not even under qemu-i386"
    fi
    ran="x86_64 build of the same sources ($why; setup32.exe was built and checked but not run)"
    ;;
esac
if [ $status -ne 0 ]; then
    echo "test.sh: some tests failed" >&2
fi
echo "Windows tests: $ran"
exit $status
