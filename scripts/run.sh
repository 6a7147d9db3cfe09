#!/bin/sh
# Builds setup32.exe (the win32 preset) and starts it under Wine in a prefix of
# its own, from the prefix's drive C. On $DISPLAY when there is one; otherwise on
# Xvfb, saving a screenshot of the first page to build/win32/setup32-first-page.png.
# YELK_PAYLOAD_DIR=/some/folder packs that folder instead of samples/client.
#
# The tier (scripts/windows-tier.sh; YELK_WINDOWS_TIER=i686|i686-qemu|x86_64
# forces it) decides how: i686 runs it directly; i686-qemu, on a machine that
# cannot run 32-bit programs itself, runs the same file with Wine's 32-bit
# loader under qemu-i386 in a namespace of its own
# (scripts/i386-namespace.sh); x86_64, where neither works, builds and runs
# the x86_64 build of the same sources (the x86_64 preset) under Wine's 64-bit
# loader in a 64-bit prefix instead, and says so; the screenshot is then
# build/x86_64/setup32-first-page.png.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

# The Wine half: run.sh __wine PRESET, in the namespace on the i686-qemu tier.
if [ "${1:-}" = __wine ]; then
    preset=$2
    build=$root/build/$preset
    # The tree's Wine loader (the x86_64 tree names the 64-bit one): prefix.sh
    # makes the prefix with it and keeps it in the env file.
    loader=$(sed -n 's/^YELK_WINE_LOADER:[A-Z]*=//p' "$build/CMakeCache.txt")
    export YELK_WINE_LOADER=${loader:-wine}
    dir=$build/wine/run
    shot=$build/setup32-first-page.png
    user_display=${DISPLAY:-}
    "$root/tests/wine/prefix.sh" setup "$dir" "$build/wine/template"
    trap '"$root/tests/wine/prefix.sh" cleanup "$dir"' EXIT
    # Wine's own fonts, so that the window is drawn as on Windows (the close box
    # shows its cross, not the letter "r" of a stand-in font).
    "$root/tests/wine/prefix.sh" fonts "$dir"
    . "$dir/env"

    # From drive C the installer's default folder is c:\Yelk inside the prefix;
    # started from the host's file system it would be z:\Yelk, the host's root.
    cp "$build/setup32.exe" "$WINEPREFIX/drive_c/setup32.exe"
    cd "$WINEPREFIX/drive_c"

    if [ -n "$user_display" ]; then
        echo "run.sh: starting C:\\setup32.exe on $DISPLAY (prefix $WINEPREFIX)"
        "$YELK_WINE_LOADER" 'C:\setup32.exe'
        echo "run.sh: setup32.exe ended; the prefix stays in $WINEPREFIX"
        exit 0
    fi
    echo "run.sh: no DISPLAY; starting C:\\setup32.exe on Xvfb $DISPLAY"
    "$YELK_WINE_LOADER" 'C:\setup32.exe' </dev/null >"$dir/setup32.log" 2>&1 &
    installer=$!
    # Waits until the wizard is painted (its window, the largest of those
    # with the installer's caption, shows more than a few colours; the main
    # window has no size) and the screen is the same in two looks in a row.
    previous= now=
    while :; do
        kill -0 $installer 2>/dev/null || { echo "run.sh: setup32.exe ended before its first page was painted (see $dir/setup32.log)" >&2; exit 1; }
        colours=0
        for window in $(xdotool search --onlyvisible --name '^Yelk v5\.9' 2>/dev/null); do
            k=$(import -window "$window" miff:- 2>/dev/null | identify -format '%k' - 2>/dev/null) || k=0
            [ "${k:-0}" -gt "$colours" ] && colours=$k
        done
        if [ "$colours" -gt 8 ]; then
            import -window root "$dir/look.png"
            now=$(identify -format '%#' "$dir/look.png")
            [ "$now" = "$previous" ] && break
            previous=$now
        fi
        sleep 0.5
    done
    mv "$dir/look.png" "$shot"
    echo "run.sh: screenshot of the first page: $shot"
    # Closing the prefix's server ends the installer with it.
    exit 0
fi

"$root/scripts/deps.sh"
tier=$("$root/scripts/windows-tier.sh")
case $tier in
i686 | i686-qemu) preset=win32 ;;
*)
    preset=x86_64
    if [ -n "${YELK_WINDOWS_TIER:-}" ]; then why="YELK_WINDOWS_TIER=x86_64"; else why="this machine cannot run 32-bit programs"; fi
    echo "run.sh: running the x86_64 build of setup32.exe (same sources; a test vehicle, not the shipped file) in a 64-bit Wine prefix: $why"
    ;;
esac
if [ -n "${YELK_PAYLOAD_DIR:-}" ]; then
    cmake --preset $preset -DYELK_PAYLOAD_DIR="$(cd "$YELK_PAYLOAD_DIR" && pwd)"
else
    cmake --preset $preset
fi
cmake --build --preset $preset --target setup32

if [ "$tier" = i686-qemu ]; then
    if [ -n "${YELK_WINDOWS_TIER:-}" ]; then why="YELK_WINDOWS_TIER=i686-qemu"; else why="this machine cannot run 32-bit programs"; fi
    echo "run.sh: Wine's 32-bit loader runs under qemu-i386 in a namespace of its own: $why"
    exec "$root/scripts/i386-namespace.sh" run "$root/scripts/run.sh" __wine $preset
fi
exec "$root/scripts/run.sh" __wine $preset
