#!/bin/sh
# Wine prefixes for the Windows tests and for running setup32.exe.
#
#   prefix.sh template TEMPLATE       make a fresh 32-bit prefix once (kept while
#                                     the installed Wine stays the same)
#   prefix.sh setup DIR [TEMPLATE]    a prefix of its own in DIR/prefix (a copy of
#                                     TEMPLATE, or made fresh), HOME in DIR/home,
#                                     Xvfb when there is no DISPLAY (or when
#                                     YELK_XVFB=1), a persistent
#                                     wineserver; writes DIR/env for cmake/wine-run.sh
#   prefix.sh restart DIR             restarts the prefix's wineserver (after a
#                                     change that Wine reads only at its start)
#   prefix.sh cleanup DIR             stops the prefix's wineserver and its Xvfb
#
# Programs started with `. DIR/env; wine prog.exe` then run in that prefix.
set -eu

# Settings every Wine start of ours uses: a 32-bit prefix, no Mono or Gecko
# offers, no desktop-menu files written into the host's home, no debug output.
export WINEARCH=win32
export WINEDEBUG=-all
export WINEDLLOVERRIDES='mscoree,mshtml=;winemenubuilder.exe=d'

log() { echo "prefix.sh: $*" >&2; }

# The user folder inside a prefix (its name follows the host user).
user_dir() {
    for d in "$1"/drive_c/users/*; do
        case "$(basename "$d")" in Public) ;; *) echo "$d"; return ;; esac
    done
}

# Fresh prefix in $1 with HOME $2.
make_prefix() {
    prefix=$1
    home=$2
    rm -rf "$prefix"
    mkdir -p "$home"
    # wineboot needs no X server; keep it off any display.
    HOME=$home WINEPREFIX=$prefix DISPLAY= wineboot -i >/dev/null 2>&1 || true
    HOME=$home WINEPREFIX=$prefix DISPLAY= wine reg add 'HKCU\Software\Wine\X11 Driver' \
        /v Managed /d N /f >/dev/null 2>&1
    # Write the registry to disk before the prefix is copied or used.
    HOME=$home WINEPREFIX=$prefix wineserver -w
    [ -f "$prefix/system.reg" ] || { log "wineboot failed in $prefix"; exit 1; }
    real_shell_folders "$prefix"
}

# The shell folders of a new prefix link into the host's home; make them real
# folders so nothing a program saves there leaves the prefix.
real_shell_folders() {
    u=$(user_dir "$1")
    for f in Desktop Documents Downloads Music Pictures Videos; do
        if [ -L "$u/$f" ]; then
            rm -f "$u/$f"
        fi
        mkdir -p "$u/$f"
    done
}

# Copy of a template prefix: the system folders' binaries, which nothing of ours
# writes, are hard links; everything else is copied.
copy_prefix() {
    from=$1
    to=$2
    rm -rf "$to"
    mkdir -p "$to"
    for item in "$from"/* "$from"/.update-timestamp; do
        [ -e "$item" ] || [ -L "$item" ] || continue
        [ "$(basename "$item")" = drive_c ] && continue
        cp -a "$item" "$to/"
    done
    mkdir -p "$to/drive_c/windows"
    for item in "$from"/drive_c/*; do
        [ "$(basename "$item")" = windows ] && continue
        cp -a "$item" "$to/drive_c/"
    done
    for item in "$from"/drive_c/windows/*; do
        case "$(basename "$item")" in
        system32 | winsxs) cp -al "$item" "$to/drive_c/windows/" ;;
        *) cp -a "$item" "$to/drive_c/windows/" ;;
        esac
    done
    # A wineserver socket link is no part of a prefix.
    rm -f "$to/wineserver"
}

wine_stamp() { wine --version 2>/dev/null || echo unknown; }

cmd_template() {
    tpl=$1
    stamp="$tpl.stamp"
    if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$(wine_stamp)" ] && [ -f "$tpl/prefix/system.reg" ]; then
        return 0
    fi
    rm -f "$stamp"
    make_prefix "$tpl/prefix" "$tpl/home"
    wine_stamp >"$stamp"
}

# Starts Xvfb on a free display; prints the display number.
start_xvfb() {
    dir=$1
    rm -f "$dir/xvfb.display"
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$dir/xvfb.display" \
        </dev/null >"$dir/xvfb.log" 2>&1 &
    echo $! >"$dir/xvfb.pid"
    i=0
    while [ ! -s "$dir/xvfb.display" ]; do
        i=$((i + 1))
        if [ $i -gt 100 ] || ! kill -0 "$(cat "$dir/xvfb.pid")" 2>/dev/null; then
            log "Xvfb did not start (see $dir/xvfb.log)"
            exit 1
        fi
        sleep 0.1
    done
    tr -d '\n' <"$dir/xvfb.display"
}

cmd_setup() {
    dir=$1
    tpl=${2:-}
    [ -f "$dir/env" ] && cmd_cleanup "$dir" || true
    mkdir -p "$dir"
    dir=$(cd "$dir" && pwd)
    rm -rf "$dir/home"
    mkdir -p "$dir/home"
    if [ -n "$tpl" ]; then
        cmd_template "$tpl"
        copy_prefix "$tpl/prefix" "$dir/prefix"
    else
        make_prefix "$dir/prefix" "$dir/home"
    fi
    real_shell_folders "$dir/prefix"
    display=${DISPLAY:-}
    # Tests ask for a display of their own (YELK_XVFB=1) even on a desktop.
    [ "${YELK_XVFB:-0}" = 1 ] && display=
    if [ -z "$display" ]; then
        display=:$(start_xvfb "$dir")
    fi
    {
        echo "export WINEARCH=win32"
        echo "export WINEDEBUG=-all"
        echo "export WINEDLLOVERRIDES='$WINEDLLOVERRIDES'"
        echo "export WINEPREFIX='$dir/prefix'"
        echo "export HOME='$dir/home'"
        echo "export DISPLAY='$display'"
    } >"$dir/env"
    start_server "$dir"
}

# Keeps the prefix's server up between the many short test programs and starts
# its services now. Nothing started here may hold the caller's output open:
# CTest waits until every process that has its pipe is gone.
start_server() {
    (. "$1/env" && wineserver -p </dev/null >/dev/null 2>&1)
    (. "$1/env" && wine cmd /c exit </dev/null >/dev/null 2>&1) || true
}

# Restarts the server of a prefix made by setup, e.g. after a drive mapping
# changed (the mount manager reads them when the server starts).
cmd_restart() {
    dir=$1
    (. "$dir/env" && wineserver -k 2>/dev/null; wineserver -w 2>/dev/null) || true
    start_server "$dir"
}

cmd_cleanup() {
    dir=$1
    if [ -f "$dir/env" ]; then
        (. "$dir/env" && wineserver -k 2>/dev/null) || true
        rm -f "$dir/env"
    fi
    if [ -f "$dir/xvfb.pid" ]; then
        kill "$(cat "$dir/xvfb.pid")" 2>/dev/null || true
        rm -f "$dir/xvfb.pid"
    fi
}

case "${1:-}" in
template) cmd_template "$2" ;;
setup) cmd_setup "$2" "${3:-}" ;;
restart) cmd_restart "$2" ;;
cleanup) cmd_cleanup "$2" ;;
*)
    echo "usage: prefix.sh template TEMPLATE | setup DIR [TEMPLATE] | restart DIR | cleanup DIR" >&2
    exit 64
    ;;
esac
