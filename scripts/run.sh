#!/bin/sh
# Builds setup32.exe (the win32 preset) and starts it under Wine in a prefix of
# its own, from the prefix's drive C. On $DISPLAY when there is one; otherwise on
# Xvfb, saving a screenshot of the first page to build/win32/setup32-first-page.png.
# YELK_PAYLOAD_DIR=/some/folder packs that folder instead of samples/client.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
"$root/scripts/deps.sh"

if [ -n "${YELK_PAYLOAD_DIR:-}" ]; then
    cmake --preset win32 -DYELK_PAYLOAD_DIR="$(cd "$YELK_PAYLOAD_DIR" && pwd)"
else
    cmake --preset win32
fi
cmake --build --preset win32 --target setup32

build=$root/build/win32
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
else
    echo "run.sh: no DISPLAY; starting C:\\setup32.exe on Xvfb $DISPLAY"
    "$YELK_WINE_LOADER" 'C:\setup32.exe' </dev/null >"$dir/setup32.log" 2>&1 &
    # Wait for its window, then give it a moment to paint.
    if ! timeout 60 xdotool search --sync --onlyvisible --name 'Yelk' >/dev/null; then
        echo "run.sh: no window of setup32.exe appeared within 60 s" >&2
        exit 1
    fi
    sleep 2
    import -window root "$shot"
    echo "run.sh: screenshot of the first page: $shot"
    # Closing the prefix's server ends the installer with it.
fi
