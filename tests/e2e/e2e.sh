#!/bin/bash
# End-to-end cases of setup32.exe under Wine: yelkdrive.exe drives the real
# installer through its controls; this script prepares the prefix, checks what
# the installer left in it (files, registry, Start Menu, desktop, settings) and
# keeps a picture of each case's last page.
#
#   e2e.sh GROUP      GROUP: install | win98 | abort | cancel | errors
#
# Environment (set by tests/e2e/CMakeLists.txt): YELK_WINE_DIR (a prefix made by
# tests/wine/prefix.sh setup), E2E_SETUP, E2E_DRIVER, E2E_CLIENT (stand-in client
# program), E2E_PAYLOAD_DIR (the packed client files), E2E_SHOTS (pictures).
set -u
group=${1:?usage: e2e.sh GROUP}
. "$YELK_WINE_DIR/env"

C=$WINEPREFIX/drive_c
for d in "$C"/users/*; do [ "$(basename "$d")" != Public ] && USERDIR=$d; done
PROGRAMS="$USERDIR/AppData/Roaming/Microsoft/Windows/Start Menu/Programs"
DESKTOP="$USERDIR/Desktop"
UNINSTALL='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Yelk'
MEMBERS="yelk32.exe yelk.hlp primer.hlp about.txt history.txt yelk.ini macros.ini menus.ini hosts.ini marks.ini"
IGNORE='*.exe,*.com,*.bat,*.dll,*.ini,*.yks,*.vbs,*.js,*.pif,*.scr,*.lnk,*.pl,*.shs,*.htm,*.html'
WORK=$YELK_WINE_DIR/e2e
mkdir -p "$WORK" "$E2E_SHOTS"
cp "$E2E_SETUP" "$C/setup32.exe"

failed=0
current=
log=

# ---- helpers ----

fail() {
    echo "FAIL $current: $*"
    failed=$((failed + 1))
}

# drive CASE KIND KEY=VALUE...: runs the driver; its output goes to $log.
drive() {
    current=$1
    shift
    log=$WORK/$current.log
    echo "== $current"
    # To a file, not a pipe: an installer left running would hold a pipe open.
    wine "$E2E_DRIVER" "$@" shot='c:\shot.bmp' >"$log.raw" 2>&1
    tr -d '\r' <"$log.raw" >"$log"
    sed 's/^/   /' "$log"
    if [ -f "$C/shot.bmp" ]; then
        convert "$C/shot.bmp" "$E2E_SHOTS/$current.png" 2>/dev/null || cp "$C/shot.bmp" "$E2E_SHOTS/$current.bmp"
        rm -f "$C/shot.bmp"
    fi
    grep -q '^fail ' "$log" && fail "driver: $(grep '^fail ' "$log")"
    return 0
}

# has LINE: the driver printed exactly this line.
has() {
    grep -qxF -- "$1" "$log" || fail "expected '$1'"
}
lacks() {
    if grep -q -- "$1" "$log"; then fail "unexpected '$1'"; fi
}

# same_files DIR [EXCEPT...]: the installed files against the packed originals.
same_files() {
    dir=$1
    shift
    for m in $MEMBERS; do
        case " $* " in *" $m "*) continue ;; esac
        cmp -s "$E2E_PAYLOAD_DIR/$m" "$dir/$m" || fail "$dir/$m differs from the client file"
    done
}

reg_value() {
    wine reg query "$UNINSTALL" /v "$1" 2>/dev/null | tr -d '\r' |
        sed -n "s/^ *$1 *REG_SZ *//p"
}

# link FILE: "target|working folder|icon file" of a shell link, lower case.
link() {
    wine "$E2E_DRIVER" readlink "$(winepath -w "$1" 2>/dev/null)" | tr -d '\r' | tr 'A-Z' 'a-z'
}

ini_ignore() {
    tr -d '\r' <"$1" | sed -n 's/^ignore=//p'
}

# The five items of the group, new-shell (icon "") or old-shell (write.exe).
check_group() {
    folder=$1 textIcon=$2
    [ -d "$PROGRAMS/Yelk" ] || { fail "no Yelk group"; return; }
    set -- "Yelk32:yelk32.exe:" "Yelk Help:yelk.hlp:" "Primer Guide:primer.hlp:" \
        "About.txt:about.txt:$textIcon" "History.txt:history.txt:$textIcon"
    for item in "$@"; do
        name=${item%%:*} rest=${item#*:}
        file=${rest%%:*} icon=${rest#*:}
        got=$(link "$PROGRAMS/Yelk/$name.lnk")
        [ "$got" = "$folder\\$file|$folder|$icon" ] || fail "group item $name: '$got'"
    done
}

check_desktop_link() {
    got=$(link "$DESKTOP/Yelk32.lnk")
    [ "$got" = "$1\\yelk32.exe|$1|" ] || fail "desktop link: '$got'"
}

# ---- groups ----

group_install() {
    # Windows 7 as Wine reports it by default: an old shell by the installer's rule.
    drive complete install
    has "page 4"
    has "exit 0"
    same_files "$C/Yelk" yelk.ini
    [ "$(ini_ignore "$C/Yelk/yelk.ini")" = "$IGNORE" ] || fail "ignore list in yelk.ini"
    check_group 'c:\yelk' 'write.exe'
    check_desktop_link 'c:\yelk'
    [ -z "$(reg_value DisplayName)" ] || fail "uninstall values on an old shell"
    [ ! -e "$C/Yelk/backup" ] || fail "a backup folder without anything to back up"

    # Second run, defaults: earlier files backed up, settings kept.
    printf 'changed by the user\r\n' >>"$C/Yelk/macros.ini"
    cp "$C/Yelk/macros.ini" "$WORK/macros.user"
    cp "$C/Yelk/yelk.ini" "$WORK/yelk.user"
    drive second-keep install
    has "exit 0"
    for m in yelk32.exe yelk.hlp primer.hlp about.txt history.txt; do
        cmp -s "$E2E_PAYLOAD_DIR/$m" "$C/Yelk/backup/$m" || fail "backup/$m is not the first run's file"
    done
    ls "$C/Yelk/backup" | grep -q '\.ini$' && fail "settings files were backed up"
    cmp -s "$WORK/macros.user" "$C/Yelk/macros.ini" || fail "macros.ini not kept"
    cmp -s "$WORK/yelk.user" "$C/Yelk/yelk.ini" || fail "yelk.ini not kept"
    same_files "$C/Yelk" yelk.ini macros.ini

    # Third run without keeping settings: they go into the backup too.
    drive second-replace install keep=0
    has "exit 0"
    cmp -s "$WORK/macros.user" "$C/Yelk/backup/macros.ini" || fail "backup/macros.ini"
    same_files "$C/Yelk" yelk.ini

    # Finish with the help file: the viewer is asked for yelk.hlp at topic 10.
    drive finish-help install help=1
    has 'help c:\Yelk\yelk.hlp 1 10'
    has "exit 0"

    # Finish with the client: it starts in its own folder.
    rm -f "$C/Yelk/started.txt"
    drive finish-launch install launch=1 swap="z:$E2E_CLIENT"
    has "exit 0"
    for i in $(seq 50); do [ -f "$C/Yelk/started.txt" ] && break; sleep 0.1; done
    [ "$(tr 'A-Z' 'a-z' <"$C/Yelk/started.txt" 2>/dev/null)" = 'c:\yelk' ] || fail "the client did not start in c:\\yelk"
    lacks '^help '

    # Without shortcut icons: no group, the finish page follows at once; the
    # desktop link is made all the same.
    rm -rf "$PROGRAMS/Yelk" "$DESKTOP/Yelk32.lnk"
    drive no-shortcuts install shortcuts=0 folder='c:\noicons'
    has 'folder c:\noicons'
    has "page 4"
    has "exit 0"
    lacks '^box '
    [ ! -e "$PROGRAMS/Yelk" ] || fail "a group was made"
    same_files "$C/noicons" yelk.ini
    check_desktop_link 'c:\noicons'
}

group_win98() {
    wine reg add 'HKCU\Software\Wine\AppDefaults\setup32.exe' /v Version /d win98 /f >/dev/null 2>&1
    drive win98 install
    has "exit 0"
    same_files "$C/Yelk" yelk.ini
    [ "$(reg_value DisplayName)" = "Yelk" ] || fail "DisplayName '$(reg_value DisplayName)'"
    [ "$(reg_value UninstallString)" = '"c:\Yelk\yelk32.exe" -uninstall' ] ||
        fail "UninstallString '$(reg_value UninstallString)'"
    check_group 'c:\yelk' ''
    check_desktop_link 'c:\yelk'
}

group_abort() {
    drive abort-no install abort=no folder='c:\abortno'
    has 'box Yelk Installation Warning|Are you sure you want to abort the installation?'
    has "page 4"
    has "exit 0"
    same_files "$C/abortno" yelk.ini

    # Yes once the first file is in: this run's files and folder go, the
    # options page is back as the user left it, and Install runs again.
    drive abort-yes install abort=yes folder='c:\abortyes' backups=0
    has 'after-abort page 2 folder absent'
    has 'options 0 1 1'
    has "page 4"
    has "exit 0"
    same_files "$C/abortyes" yelk.ini
}

group_cancel() {
    for c in "cancel-welcome page=0" "no-licence page=1" "cancel-options page=2" \
             "close-welcome page=0 close=1" "close-options page=2 close=1"; do
        set -- $c
        drive "$1" cancel "${@:2}"
        has "exit 0"
        lacks '^box '
        [ ! -e "$C/Yelk" ] || fail "c:\\Yelk was made"
        [ ! -e "$DESKTOP/Yelk32.lnk" ] || fail "desktop link made"
    done
    current=no-licence
    log=$WORK/no-licence.log
    has "caption &No"
}

group_errors() {
    # [1]: a folder whose parent is missing; the options page again, options kept.
    drive error-1 error folder='c:\missing\sub' backups=0
    has "box Yelk Installation Error [1]|There seems to be a problem creating the directory you specified.\\n\\nPlease try using a different directory name!"
    has "page 2"
    has "options 0 1 1"
    has 'folder c:\missing\sub'
    has "exit 0"
    [ ! -e "$C/missing" ] || fail "c:\\missing was made"

    # [10]: one byte of the payload changed; the wizard ends, nothing extracted
    # (the folder made for it stays, empty).
    cp "$E2E_SETUP" "$C/setup10.exe"
    perl -e '
        open F, "+<", $ARGV[0] or die; binmode F; local $/; $d = <F>;
        $at = index($d, "A" . "RNI") + 8; seek F, $at, 0; read F, $b, 1;
        seek F, $at, 0; print F ($b eq " " ? "!" : " ");' "$C/setup10.exe"
    drive error-10 error setup='c:\setup10.exe' folder='c:\corrupt'
    has "box Yelk Installation Error [10]|The installation file seems to be corrupt!\\n\\nPlease try running the installation program again or download a new version!"
    has "exit 0"
    [ -d "$C/corrupt" ] && [ -z "$(ls -A "$C/corrupt")" ] || fail "c:\\corrupt should be there, empty"

    # [2]: an installer without a single member marker: its checksum comes out 0.
    perl -0777 -pe '$m = "A" . "RNI"; s/$m/XRNI/g' "$E2E_SETUP" >"$C/setup2.exe"
    drive error-2 error setup='c:\setup2.exe' folder='c:\nomarker'
    has "box Yelk Installation Error [2]|There seems to be a problem reading the installation file.\\n\\nPlease try running the installation program again!"
    has "exit 0"
    [ -z "$(ls -A "$C/nomarker" 2>/dev/null)" ] || fail "files extracted without a marker"

    # [5] (or [4]): a destination file that is a link to /dev/full, backups
    # off; everything this run wrote is removed again.
    mkdir -p "$C/full"
    ln -sf /dev/full "$C/full/yelk.hlp"
    drive error-5 error folder='c:\full' backups=0
    grep -qE '^box Yelk Installation Error \[[45]\]\|There seems to be a problem copying files to their destination' "$log" ||
        fail "no error [5] or [4]"
    has "exit 0"
    [ ! -e "$C/full/yelk32.exe" ] || fail "yelk32.exe of the failed run stayed"
    [ ! -e "$DESKTOP/Yelk32.lnk" ] || fail "desktop link after a failed run"
}

case $group in
install | win98 | abort | cancel | errors) group_$group ;;
*) echo "e2e.sh: unknown group $group" >&2; exit 64 ;;
esac

if [ $failed -gt 0 ]; then
    echo "e2e $group: $failed check(s) failed"
    exit 1
fi
echo "e2e $group: all passed"
