#!/bin/sh
# Runs a Windows program under Wine: the cross tree's CMAKE_CROSSCOMPILING_EMULATOR.
# The prefix, HOME and display come from the env file that tests/wine/prefix.sh
# wrote into $YELK_WINE_DIR (a CTest fixture sets it for every Windows test), or
# from WINEPREFIX and DISPLAY when the caller set them up itself; the env file,
# or the caller, names the Wine loader in YELK_WINE_LOADER (Debian's `wine`
# when unset).
if [ -n "${YELK_WINE_DIR:-}" ]; then
    if [ ! -f "$YELK_WINE_DIR/env" ]; then
        echo "wine-run.sh: no prefix in $YELK_WINE_DIR (run tests/wine/prefix.sh setup first)" >&2
        exit 125
    fi
    . "$YELK_WINE_DIR/env"
elif [ -z "${WINEPREFIX:-}" ]; then
    echo "wine-run.sh: set YELK_WINE_DIR (tests/wine/prefix.sh setup DIR) or WINEPREFIX" >&2
    exit 125
fi
export WINEARCH=${WINEARCH:-win32}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-'mscoree,mshtml=;winemenubuilder.exe=d'}

# Wine's helper processes (services, devices, the desktop) outlive the program
# and inherit its output; CTest would wait for them to close its pipe. So the
# program writes into a file that is shown when it ends.
out=$(mktemp "${TMPDIR:-/tmp}/wine-run.XXXXXX")
"${YELK_WINE_LOADER:-wine}" "$@" </dev/null >"$out" 2>&1
rc=$?
cat "$out"
rm -f "$out"
exit $rc
