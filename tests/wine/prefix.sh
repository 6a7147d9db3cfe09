#!/bin/sh
# Wine prefixes for the Windows tests and for running setup32.exe.
#
#   prefix.sh template TEMPLATE [ARCH]
#                                     make a fresh prefix once (kept while the
#                                     installed Wine stays the same); ARCH win32
#                                     or win64 (32-bit programs then run under
#                                     WoW64); the default follows the loader
#   prefix.sh setup DIR [TEMPLATE] [ARCH]
#                                     a prefix of its own in DIR/prefix (a copy of
#                                     TEMPLATE, made first if need be, or made
#                                     fresh; ARCH as above), HOME in DIR/home,
#                                     Xvfb when there is no DISPLAY (or when
#                                     YELK_XVFB=1), a persistent wineserver;
#                                     writes DIR/env for cmake/wine-run.sh;
#                                     with YELK_FOLDER_WINDOWS=0 (the test
#                                     fixtures) opening a folder starts no
#                                     folder window (see quiet_folders)
#
# A 64-bit prefix without wine64 installed: exit code 77 (skipped).
#   prefix.sh fonts DIR               puts Wine's own fonts into the prefix, so that
#                                     windows are drawn as on Windows
#   prefix.sh restart DIR             restarts the prefix's wineserver (after a
#                                     change that Wine reads only at its start)
#   prefix.sh cleanup DIR             stops the prefix's wineserver and its Xvfb
#
# Programs started with `. DIR/env; "$YELK_WINE_LOADER" prog.exe` then run in
# that prefix.
#
# YELK_WINE_LOADER names the program every Wine start goes through (the env
# file keeps it for the prefix's later users). Unset: Debian's `wine`, which
# takes the 32-bit loader whenever wine32 is installed, even on a machine that
# cannot run it. The x86_64 tree names the 64-bit loader itself
# (/usr/lib/wine/wine64); that loader makes only 64-bit prefixes, so they are
# its default.
set -eu

WINE=${YELK_WINE_LOADER:-wine}
case "$(basename "$WINE")" in
wine64) default_arch=win64 ;;
*) default_arch=win32 ;;
esac

# Settings every Wine start of ours uses: a 32-bit prefix unless a 64-bit one is
# asked for, no Mono or Gecko offers, no desktop-menu files written into the
# host's home, no debug output.
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

# Fresh prefix in $1 with HOME $2, architecture $3 (win32 or win64).
make_prefix() {
    prefix=$1
    home=$2
    WINEARCH=$3
    rm -rf "$prefix"
    mkdir -p "$home"
    # wineboot needs no X server; keep it off any display.
    HOME=$home WINEPREFIX=$prefix DISPLAY= "$WINE" wineboot -i >/dev/null 2>&1 || true
    HOME=$home WINEPREFIX=$prefix DISPLAY= "$WINE" reg add 'HKCU\Software\Wine\X11 Driver' \
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
        system32 | syswow64 | winsxs) cp -al "$item" "$to/drive_c/windows/" ;;
        *) cp -a "$item" "$to/drive_c/windows/" ;;
        esac
    done
    # A wineserver socket link is no part of a prefix.
    rm -f "$to/wineserver"
}

# The architecture a prefix was made for, from the header of its registry.
prefix_arch() {
    if grep -q '^#arch=win64' "$1/system.reg" 2>/dev/null; then echo win64; else echo win32; fi
}

check_arch() {
    case "$1" in
    win32 | win64) ;;
    *) log "unknown architecture '$1' (win32 or win64)"; exit 64 ;;
    esac
}

# A 64-bit prefix needs Wine's 64-bit loader (Debian's wine64 puts only that
# beside the 32-bit one). Without it the caller is told so and the command
# exits 77, which CTest counts as skipped. A loader named by YELK_WINE_LOADER
# must be there, and the 64-bit one makes no 32-bit prefix.
need_loader() {
    if [ "$WINE" != wine ] && ! command -v "$WINE" >/dev/null; then
        log "no Wine loader $WINE (YELK_WINE_LOADER)"
        exit 1
    fi
    if [ "$1" = win32 ] && [ "$default_arch" = win64 ]; then
        log "$WINE makes only 64-bit prefixes, not $1"
        exit 64
    fi
    if [ "$1" = win64 ] && [ ! -x /usr/lib/wine/wine64 ] && ! command -v wine64 >/dev/null; then
        log "skipped: a 64-bit prefix needs wine64, which is not installed (scripts/deps.sh installs it)"
        exit 77
    fi
}

wine_stamp() { echo "$("$WINE" --version 2>/dev/null || echo unknown) $1"; }

cmd_template() {
    tpl=$1
    arch=${2:-$default_arch}
    check_arch "$arch"
    # Wine wants an absolute WINEPREFIX.
    mkdir -p "$tpl"
    tpl=$(cd "$tpl" && pwd)
    stamp="$tpl.stamp"
    if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$(wine_stamp "$arch")" ] && [ -f "$tpl/prefix/system.reg" ]; then
        return 0
    fi
    rm -f "$stamp"
    need_loader "$arch"
    make_prefix "$tpl/prefix" "$tpl/home" "$arch"
    wine_stamp "$arch" >"$stamp"
}

# Starts Xvfb on a free display; prints the display number. Xvfb writes the
# number into a FIFO once it takes clients; the read ends empty-handed when
# Xvfb exits first. No deadline: a slow start only takes longer.
start_xvfb() {
    dir=$1
    rm -f "$dir/xvfb.display"
    mkfifo "$dir/xvfb.display"
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$dir/xvfb.display" \
        </dev/null >"$dir/xvfb.log" 2>&1 &
    echo $! >"$dir/xvfb.pid"
    number=
    read -r number <"$dir/xvfb.display" || true
    rm -f "$dir/xvfb.display"
    if [ -z "$number" ]; then
        log "Xvfb did not start (see $dir/xvfb.log)"
        exit 1
    fi
    echo "$number"
}

cmd_setup() {
    dir=$1
    tpl=${2:-}
    arch=${3:-$default_arch}
    check_arch "$arch"
    need_loader "$arch"
    [ -f "$dir/env" ] && cmd_cleanup "$dir" || true
    mkdir -p "$dir"
    dir=$(cd "$dir" && pwd)
    rm -rf "$dir/home"
    mkdir -p "$dir/home"
    if [ -n "$tpl" ]; then
        cmd_template "$tpl" "$arch"
        copy_prefix "$tpl/prefix" "$dir/prefix"
    else
        make_prefix "$dir/prefix" "$dir/home" "$arch"
    fi
    WINEARCH=$(prefix_arch "$dir/prefix")
    if [ "$WINEARCH" != "$arch" ]; then
        log "$dir/prefix is a $WINEARCH prefix, not $arch"
        exit 1
    fi
    real_shell_folders "$dir/prefix"
    display=${DISPLAY:-}
    # Tests ask for a display of their own (YELK_XVFB=1) even on a desktop.
    [ "${YELK_XVFB:-0}" = 1 ] && display=
    if [ -z "$display" ]; then
        display=:$(start_xvfb "$dir")
    fi
    {
        echo "export YELK_WINE_LOADER='$WINE'"
        echo "export WINEARCH=$WINEARCH"
        echo "export WINEDEBUG=-all"
        echo "export WINEDLLOVERRIDES='$WINEDLLOVERRIDES'"
        echo "export WINEPREFIX='$dir/prefix'"
        echo "export HOME='$dir/home'"
        echo "export DISPLAY='$display'"
    } >"$dir/env"
    start_server "$dir"
    [ "${YELK_FOLDER_WINDOWS:-1}" = 0 ] && quiet_folders "$dir"
    return 0
}

# Wine's Program Manager service opens every group it creates or shows in a
# folder window: inside the DDE transaction it starts an explorer process
# for it. Under emulation, and on a loaded machine, that start can outlast
# the installer's 5-second wait for the transaction, which then reports that
# the icons could not be added; and such explorers have been seen to hang on
# their way up and never show their window. The tests look at the group's
# folder and links, never at the window: in their prefixes opening a folder
# runs a program that is not there, so the service's ShellExecute fails at
# once and the group and links are made as before.
quiet_folders() {
    cat >"$1/quiet-folders.reg" <<'REG'
REGEDIT4

[-HKEY_CLASSES_ROOT\folder\shell\open\ddeexec]

[HKEY_CLASSES_ROOT\folder\shell\open\command]
@="c:\\windows\\system32\\no-folder-windows.exe \"%1\""
REG
    (. "$1/env" && "$YELK_WINE_LOADER" reg import "z:$1/quiet-folders.reg" \
        </dev/null >/dev/null 2>&1) || { log "cannot switch folder windows off in $1"; exit 1; }
}

# Keeps the prefix's server up between the many short test programs and starts
# its services now. Nothing started here may hold the caller's output open:
# CTest waits until every process that has its pipe is gone.
start_server() {
    (. "$1/env" && wineserver -p </dev/null >/dev/null 2>&1)
    (. "$1/env" && "$YELK_WINE_LOADER" cmd /c exit </dev/null >/dev/null 2>&1) || true
}

# Restarts the server of a prefix made by setup, e.g. after a drive mapping
# changed (the mount manager reads them when the server starts).
cmd_restart() {
    dir=$1
    (. "$dir/env" && wineserver -k 2>/dev/null; wineserver -w 2>/dev/null) || true
    start_server "$dir"
}

# Wine's own fonts (Debian's fonts-wine) are not found where this Wine looks;
# in the prefix's font folder they are, and "MS Sans Serif" is then the bitmap
# font the dialog templates were laid out for, and the caption buttons' glyphs
# come from Wine's "Marlett" instead of a letter of a stand-in font. The
# wineboot afterwards lets the running server take them up.
cmd_fonts() {
    dir=$1
    [ -f "$dir/env" ] || { log "no prefix in $dir (run setup first)"; exit 1; }
    if [ ! -d /usr/share/wine/fonts ]; then
        log "no /usr/share/wine/fonts (Debian's fonts-wine; scripts/deps.sh installs it)"
        exit 1
    fi
    (
        . "$dir/env"
        cp /usr/share/wine/fonts/* "$WINEPREFIX/drive_c/windows/Fonts/"
        "$YELK_WINE_LOADER" wineboot </dev/null >/dev/null 2>&1 || true
    )
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
template) cmd_template "$2" "${3:-$default_arch}" ;;
setup) cmd_setup "$2" "${3:-}" "${4:-$default_arch}" ;;
fonts) cmd_fonts "$2" ;;
restart) cmd_restart "$2" ;;
cleanup) cmd_cleanup "$2" ;;
*)
    echo "usage: prefix.sh template TEMPLATE [win32|win64] | setup DIR [TEMPLATE] [win32|win64] | fonts DIR | restart DIR | cleanup DIR" >&2
    exit 64
    ;;
esac
