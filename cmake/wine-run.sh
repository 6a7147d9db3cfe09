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
# The test programs exit 0 or 1: a status above 128 is the Unix signal that
# ended Wine's loader. On a loaded machine the 32-bit loader has died by
# SIGSEGV as a process ended, after the test program had printed its verdict
# (seen once in CI). When that verdict is complete and nothing in it failed,
# it stands, and stderr says what happened; a signal before it, or with a
# failure in it, fails the test as before.
if [ "$rc" -gt 128 ] && grep -q '^\[  PASSED  \]' "$out" && ! grep -q '^\[  FAILED  \]' "$out"; then
    echo "wine-run.sh: every test above passed; then Wine's loader died by signal $((rc - 128)) as the process ended" >&2
    rc=0
fi
rm -f "$out"
exit $rc
