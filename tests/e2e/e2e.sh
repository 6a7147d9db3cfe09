#!/bin/bash
# End-to-end cases of setup32.exe under Wine: yelkdrive.exe drives the real
# installer through its controls; this script prepares the prefix, checks what
# the installer left in it (files, registry, Start Menu, desktop, settings) and
# keeps a picture of each case's last page.
#
#   e2e.sh GROUP      GROUP: install | win98 | abort | cancel | errors | hostile |
#                            win64 | versions | signed
#
# Environment (set by tests/e2e/CMakeLists.txt): YELK_WINE_DIR (a prefix made by
# tests/wine/prefix.sh setup), E2E_SETUP, E2E_DRIVER, E2E_CLIENT (stand-in client
# program), E2E_PAYLOAD_DIR (the packed client files), E2E_SHOTS (pictures);
# for the hostile and abort groups E2E_BIG_SETUP and E2E_BIG_CLIENT (an
# installer of the real-shaped client files, and those files); E2E_PROBE (versionprobe.exe) for
# versions, E2E_SIGNED_DIR (the signed installer and its CA, made by the
# release.sign test) for signed; E2E_ARCH, the installer's target (i686, or
# x86_64 for the test vehicle of machines that cannot run 32-bit programs).
#
# Exit code 0 when every case passed, 1 when one failed, 77 (skipped) when
# none failed but one could not be set up here (it says why).
set -u
group=${1:?usage: e2e.sh GROUP}

# ---- what only the 32-bit installer can show (exit 77: skipped) ----
if [ "${E2E_ARCH:-i686}" = x86_64 ]; then
    case $group in
    win64)
        echo "skipped: the win64 group shows the 32-bit installer under WoW64 (the registry's 32-bit view, Wow6432Node); this tree's installer is x86_64 and runs as a 64-bit program"
        exit 77
        ;;
    signed)
        echo "skipped: the signed installer is the shipped i686 setup32.exe, which this tree (x86_64) does not run; release.sign checks it without Wine in the win32 tree"
        exit 77
        ;;
    esac
fi

# ---- release groups: what the machine must have (exit 77: skipped) ----
case $group in
win64)
    if [ ! -f "$YELK_WINE_DIR/env" ] && [ ! -x /usr/lib/wine/wine64 ] && ! command -v wine64 >/dev/null; then
        echo "skipped: the 64-bit group needs wine64, which is not installed (scripts/deps.sh installs it)"
        exit 77
    fi
    ;;
signed)
    if [ -f "$E2E_SIGNED_DIR/skipped" ]; then
        echo "skipped: $(cat "$E2E_SIGNED_DIR/skipped")"
        exit 77
    fi
    ;;
esac
# ---- end of the release groups' requirements ----

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
skipped=
current=
log=

# ---- helpers ----

fail() {
    echo "FAIL $current: $*"
    failed=$((failed + 1))
}

# skip WHY: this case cannot run here; the group then ends as skipped, never
# as passed.
skip() {
    echo "SKIP $current: $*"
    skipped="$skipped $current"
}

# drive CASE KIND KEY=VALUE...: runs the driver; its output goes to $log.
drive() {
    current=$1
    shift
    log=$WORK/$current.log
    echo "== $current"
    # To a file, not a pipe: an installer left running would hold a pipe open.
    # Its lines are shown as they come, so that a case the group's timeout
    # ends shows how far it got.
    "$YELK_WINE_LOADER" "$E2E_DRIVER" "$@" shot='c:\shot.bmp' >"$log.raw" 2>&1 &
    driver=$!
    tail -s 0.1 -n +1 -f --pid=$driver "$log.raw" | sed -u 's/\r$//; s/^/   /'
    wait $driver
    tr -d '\r' <"$log.raw" >"$log"
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

# Every Wine program started costs a second or two natively and ten or more
# under qemu-i386: the checks read what they need with as few as they can.

# uninstall_values [VIEW]: sets DISPLAYNAME and UNINSTALLSTRING from the
# uninstall key (empty when missing), read by one reg query; VIEW 32 or 64
# reads that view of the registry.
uninstall_values() {
    local out
    out=$("$YELK_WINE_LOADER" reg query "$UNINSTALL" ${1:+"/reg:$1"} 2>/dev/null | tr -d '\r')
    DISPLAYNAME=$(sed -n 's/^ *DisplayName *REG_SZ *//p' <<<"$out")
    UNINSTALLSTRING=$(sed -n 's/^ *UninstallString *REG_SZ *//p' <<<"$out")
}

# winpath FILE: the Windows name of a file on the prefix's drive C.
winpath() {
    local p=${1#"$C"/}
    echo "c:\\${p//\//\\}"
}

# links FILE...: "target|working folder|icon file" of each shell link, lower
# case, a line each, read by one run of the driver.
links() {
    local f names=()
    for f; do names+=("$(winpath "$f")"); done
    "$YELK_WINE_LOADER" "$E2E_DRIVER" readlink "${names[@]}" | tr -d '\r' | tr 'A-Z' 'a-z'
}

ini_ignore() {
    tr -d '\r' <"$1" | sed -n 's/^ignore=//p'
}

# check_group FOLDER TEXTICON [DESKTOP]: the five items of the group,
# new-shell (TEXTICON "") or old-shell (write.exe), pointing into FOLDER;
# with DESKTOP, the desktop link too, pointing into that folder. TEXT_ICON is
# then the icon file of the About.txt item as read.
check_group() {
    local folder=$1 textIcon=$2 desktop=${3:-} item name rest file icon got i
    TEXT_ICON=
    [ -d "$PROGRAMS/Yelk" ] || { fail "no Yelk group"; return; }
    local items=("Yelk32:yelk32.exe:" "Yelk Help:yelk.hlp:" "Primer Guide:primer.hlp:"
        "About.txt:about.txt:$textIcon" "History.txt:history.txt:$textIcon")
    local files=()
    for item in "${items[@]}"; do files+=("$PROGRAMS/Yelk/${item%%:*}.lnk"); done
    [ -n "$desktop" ] && files+=("$DESKTOP/Yelk32.lnk")
    local read=()
    mapfile -t read < <(links "${files[@]}")
    for i in "${!items[@]}"; do
        item=${items[$i]}
        name=${item%%:*} rest=${item#*:}
        file=${rest%%:*} icon=${rest#*:}
        got=${read[$i]:-}
        [ "$name" = About.txt ] && TEXT_ICON=$(cut -d'|' -f3 <<<"$got")
        [ "$got" = "$folder\\$file|$folder|$icon" ] || fail "group item $name: '$got'"
    done
    if [ -n "$desktop" ]; then
        got=${read[5]:-}
        [ "$got" = "$desktop\\yelk32.exe|$desktop|" ] || fail "desktop link: '$got'"
    fi
}

check_desktop_link() {
    got=$(links "$DESKTOP/Yelk32.lnk")
    [ "$got" = "$1\\yelk32.exe|$1|" ] || fail "desktop link: '$got'"
}

# check_complete_install TEXTICON: what a complete install into c:\Yelk on an
# old shell leaves: the finish page, exit code 0, the files, the ignore list,
# the group (text items with icon TEXTICON) and the desktop link.
check_complete_install() {
    has "page 4"
    has "exit 0"
    same_files "$C/Yelk" yelk.ini
    [ "$(ini_ignore "$C/Yelk/yelk.ini")" = "$IGNORE" ] || fail "ignore list in yelk.ini"
    check_group 'c:\yelk' "$1" 'c:\yelk'
}

# ---- groups ----

group_install() {
    # Windows 7 as Wine reports it by default: an old shell by the installer's rule.
    drive complete install
    check_complete_install write.exe
    uninstall_values
    [ -z "$DISPLAYNAME$UNINSTALLSTRING" ] || fail "uninstall values on an old shell"
    [ ! -e "$C/Yelk/backup" ] || fail "a backup folder without anything to back up"

    # Second run, defaults: an earlier file that differs from its member is
    # backed up; those that are already the member stay as they are, without
    # a backup (an older backup of them would stay); settings kept.
    printf 'changed by the user\r\n' >>"$C/Yelk/macros.ini"
    printf 'changed by the user\r\n' >>"$C/Yelk/about.txt"
    cp "$C/Yelk/macros.ini" "$WORK/macros.user"
    cp "$C/Yelk/about.txt" "$WORK/about.user"
    cp "$C/Yelk/yelk.ini" "$WORK/yelk.user"
    drive second-keep install
    has "exit 0"
    cmp -s "$WORK/about.user" "$C/Yelk/backup/about.txt" || fail "backup/about.txt is not the user's file"
    for m in yelk32.exe yelk.hlp primer.hlp history.txt; do
        [ ! -e "$C/Yelk/backup/$m" ] || fail "backup/$m: a file that was already the member was backed up"
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

    # Finish with the client: it starts in its own folder (the driver waits
    # for the client's process to end).
    rm -f "$C/Yelk/started.txt"
    drive finish-launch install launch=1 swap="z:$E2E_CLIENT"
    has "exit 0"
    has "client ended"
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
    "$YELK_WINE_LOADER" reg add 'HKCU\Software\Wine\AppDefaults\setup32.exe' /v Version /d win98 /f >/dev/null 2>&1
    drive win98 install
    has "exit 0"
    same_files "$C/Yelk" yelk.ini
    uninstall_values
    [ "$DISPLAYNAME" = "Yelk" ] || fail "DisplayName '$DISPLAYNAME'"
    [ "$UNINSTALLSTRING" = '"c:\Yelk\yelk32.exe" -uninstall' ] ||
        fail "UninstallString '$UNINSTALLSTRING'"
    check_group 'c:\yelk' '' 'c:\yelk'

    # A second run over the first, without backups or kept settings: every
    # member replaces a file, which the 9x family (where MoveFileExA does not
    # work) does by renames.
    printf 'changed by the user\r\n' >>"$C/Yelk/about.txt"
    drive win98-again install backups=0 keep=0
    has "exit 0"
    same_files "$C/Yelk" yelk.ini
    [ ! -e "$C/Yelk/backup" ] || fail "a backup folder without backups"
    ! ls "$C/Yelk" | grep -qi '\.tmp$' || fail "a file set aside was left: $(ls "$C/Yelk" | grep -i '\.tmp$')"
}

# same_big DIR: the installed files against the real-shaped client's.
same_big() {
    for m in $MEMBERS; do
        [ "$m" = yelk.ini ] && continue
        cmp -s "$E2E_BIG_CLIENT/$m" "$1/$m" || fail "$1/$m differs from the client file"
    done
}

# Every abort comes once the first member has taken its name, with the
# real-shaped installer: its yelk32.exe ends slices before the last, so the
# question always comes while the run is under way, however fast or slow
# each side is (the sample installer does its whole run in one slice).
group_abort() {
    cp "$E2E_BIG_SETUP" "$C/setupbig.exe"

    # No: the question goes, the run completes.
    drive abort-no install abort=no setup='c:\setupbig.exe' folder='c:\abortno'
    grep -q '^abort after the first member: yelk32.exe [1-9]' "$log" || fail "the abort did not come after the first member"
    has 'box Yelk Installation Warning|Are you sure you want to abort the installation?'
    has "page 4"
    has "exit 0"
    same_big "$C/abortno"

    # Yes: this run's files and folder go, the options page is back as the
    # user left it, and Install runs again.
    drive abort-yes install abort=yes setup='c:\setupbig.exe' folder='c:\abortyes' backups=0
    grep -q '^abort after the first member: yelk32.exe [1-9]' "$log" || fail "the abort did not come after the first member"
    has 'after-abort page 2 folder absent'
    has 'options 0 1 1'
    has "page 4"
    has "exit 0"
    same_big "$C/abortyes"

    # Yes over an earlier installation, without backups and with: at the
    # options page the folder is as it was before Install, the earlier files
    # back under their names; then Install runs again to the end.
    for b in 0 1; do
        old="$C/abortover$b"
        mkdir -p "$old"
        for m in yelk32.exe yelk.hlp primer.hlp about.txt history.txt; do
            printf 'the earlier %s' "$m" >"$old/$m"
        done
        drive "abort-over-$b" install abort=yes setup='c:\setupbig.exe' folder="c:\\abortover$b" backups=$b
        grep -q '^abort after the first member: yelk32.exe [1-9]' "$log" || fail "the abort did not come after the first member"
        for m in yelk32.exe yelk.hlp primer.hlp about.txt history.txt; do
            has "after-abort file $m $((12 + ${#m}))"
        done
        has "page 4"
        has "exit 0"
        same_big "$old"
        if [ $b = 1 ]; then
            [ "$(cat "$old/backup/yelk32.exe")" = "the earlier yelk32.exe" ] ||
                fail "backup/yelk32.exe is not the earlier file"
        fi
    done
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

# ---- hostile: faults found by trying to break the installer ----

# listing DIR: the names in a folder, one a line.
listing() {
    ls -A "$1" 2>/dev/null
}

# Two installers at once: the second, started while the first waits on its
# options page, raises the first one's wizard and ends at once with exit code
# 0, having done nothing; the first then installs byte-identical files.
hostile_twice() {
    rm -rf "$C/Yelk" "$C/Yelk2"
    drive twice twice
    has "foreground before: other"
    has "second exit 0, no window of its own"
    has "wizards 1"
    has "foreground after: first installer"
    has "page 4"
    has "exit 0"
    same_files "$C/Yelk" yelk.ini
}

SMALL=$YELK_WINE_DIR/small-temp

unmount_small() {
    rm -f "$WINEPREFIX/dosdevices/t:"
    if mountpoint -q "$SMALL" 2>/dev/null; then
        umount "$SMALL" || umount -l "$SMALL"
    fi
}

# TEMP on a nearly full volume: a tmpfs mapped as drive t:, filled so that
# 4,096 bytes stay free. The temporary file of yelk32.exe (7,257 bytes of the
# sample payload) takes its first 4,096 bytes; only the flush at its close
# meets the full disk. That is error [11]: no "successful" over a cut member,
# and the clean-up leaves no member file behind.
hostile_small_temp() {
    current=small-temp
    unmount_small
    mkdir -p "$SMALL"
    if [ "$(id -u)" -ne 0 ]; then
        skip "mounting a small volume needs root (uid $(id -u))"
        return
    fi
    if ! out=$(mount -t tmpfs -o size=64k,mode=1777 yelk-small-temp "$SMALL" 2>&1); then
        skip "cannot mount a tmpfs: $out"
        return
    fi
    trap unmount_small EXIT
    ln -sfn "$SMALL" "$WINEPREFIX/dosdevices/t:"
    free=$(df -B1 --output=avail "$SMALL" | tail -1 | tr -d ' ')
    head -c $((free - 4096)) /dev/zero >"$SMALL/fill"
    free=$(df -B1 --output=avail "$SMALL" | tail -1 | tr -d ' ')
    if [ "$free" -ne 4096 ]; then
        fail "t: has $free bytes free, not 4096"
    else
        rm -rf "$C/Yelk"
        drive small-temp error temp='t:\'
        echo "   (TEMP on t:, 4096 bytes free)"
        has "box Yelk Installation Error [11]|There seems to be a problem extracting files from the installation file.\n\nPlease try running the installation program again!"
        lacks '^page 4'
        lacks 'successful'
        has "exit 0"
        if grep -q '^page 4' "$log"; then
            for m in $MEMBERS; do
                [ "$m" = yelk.ini ] && continue
                cmp -s "$E2E_PAYLOAD_DIR/$m" "$C/Yelk/$m" ||
                    echo "   $m: $(cmp -l "$E2E_PAYLOAD_DIR/$m" "$C/Yelk/$m" 2>/dev/null | wc -l) bytes differ from the client file"
            done
        fi
        [ -z "$(listing "$C/Yelk")" ] || fail "left in c:\\Yelk after [11]: $(listing "$C/Yelk" | tr '\n' ' ')"
        [ "$(listing "$SMALL")" = fill ] || fail "left on t: $(listing "$SMALL" | tr '\n' ' ')"
    fi
    unmount_small
    trap - EXIT
}

# kill_in_member PID DEST SIZE: waits until the installer has moved the
# user's yelk32.exe into DEST\backup and begun to write the new one (under
# its own name, or any new name in DEST), then kills its process with SIGKILL.
# Writes what it saw into $WORK/kill.note. Each wait ends on what it waits
# for or on the installer's end, never on time; the pauses between looks
# (a read on a FIFO that nobody writes, so no process is started) keep the
# loop from taking a core from the installer.
kill_in_member() {
    pid=$1 dest=$2 size=$3
    note=$WORK/kill.note
    : >"$note"
    rm -f "$WORK/never"
    mkfifo "$WORK/never"
    exec 9<>"$WORK/never"
    until [ -e "$dest/backup/yelk32.exe" ]; do
        if ! kill -0 "$pid" 2>/dev/null; then
            echo "the installer ended before its first backup" >>"$note"
            return 1
        fi
        read -r -t 0.01 -u 9 || true
    done
    # The member's decoding takes a tenth of a second or so natively, many
    # times that under emulation: short pauses now.
    writing=
    while [ -z "$writing" ]; do
        [ -s "$dest/yelk32.exe" ] && writing=yelk32.exe
        for f in "$dest"/*; do
            name=${f##*/}
            case " $MEMBERS backup yelkundo.jnl " in *" $name "*) continue ;; esac
            [ -s "$f" ] && writing=$name
        done
        if [ -z "$writing" ] && ! kill -0 "$pid" 2>/dev/null; then
            echo "the installer ended before it wrote yelk32.exe" >>"$note"
            return 1
        fi
        [ -n "$writing" ] || read -r -t 0.002 -u 9 || true
    done
    kill -9 "$pid"
    got=$(stat -c %s "$dest/$writing" 2>/dev/null || echo 0)
    echo "killed while writing $writing: $got of $size bytes" >>"$note"
    [ "$got" -lt "$size" ] || { echo "the kill came after the member was complete" >>"$note"; return 1; }
    return 0
}

# A run killed while it decodes yelk32.exe (the real-shaped installer: 1.6 MB
# to decode) into a folder that holds an earlier installation, backups on,
# settings not kept: every one of the user's files goes to backup. Then a
# whole run again: the backup folder still holds the user's original of every
# file, and the installed files are the client files.
hostile_killed() {
    current=killed
    dest=$C/Yelk
    rm -rf "$dest" "$WORK/originals"
    mkdir -p "$dest" "$WORK/originals"
    for m in $MEMBERS; do
        printf "The user's own %s from an earlier installation\r\n" "$m" >"$dest/$m"
        cp "$dest/$m" "$WORK/originals/$m"
    done
    cp "$E2E_BIG_SETUP" "$C/setupbig.exe"
    size=$(stat -c %s "$E2E_BIG_CLIENT/yelk32.exe")

    # Started from here, not by the driver, so that its process can be
    # killed; a subshell waits for it, so that no "Killed" note reaches the log.
    rm -f "$WORK/setup.pid"
    (
        "$YELK_WINE_LOADER" 'c:\setupbig.exe' </dev/null >/dev/null 2>&1 &
        echo $! >"$WORK/setup.pid"
        wait
    ) 2>/dev/null &
    holder=$!
    until [ -s "$WORK/setup.pid" ]; do sleep 0.05; done
    setup_pid=$(cat "$WORK/setup.pid")
    kill_in_member "$setup_pid" "$dest" "$size" &
    killer=$!
    drive killed-start start attach=1 keep=0
    has installing
    wait "$killer"
    killed=$?
    current=killed
    sed 's/^/   /' "$WORK/kill.note"
    if kill -0 "$setup_pid" 2>/dev/null; then
        kill -9 "$setup_pid"
    fi
    wait "$holder"
    if [ $killed -ne 0 ]; then
        fail "the run was not killed inside yelk32.exe: $(cat "$WORK/kill.note")"
        return
    fi
    cmp -s "$WORK/originals/yelk32.exe" "$dest/backup/yelk32.exe" ||
        fail "the killed run's backup of yelk32.exe is not the user's original"

    drive killed-again install setup='c:\setupbig.exe' keep=0
    has "page 4"
    has "exit 0"
    for m in $MEMBERS; do
        cmp -s "$WORK/originals/$m" "$dest/backup/$m" || fail "backup/$m is not the user's original"
    done
    for m in $MEMBERS; do
        [ "$m" = yelk.ini ] && continue
        cmp -s "$E2E_BIG_CLIENT/$m" "$dest/$m" || fail "$m differs from the client file"
    done
    extra=$(listing "$dest" | grep -vxF -e backup $(printf -- '-e %s ' $MEMBERS))
    [ -z "$extra" ] || fail "left in c:\\Yelk: $extra"
}

# long_folder N: a folder path of N characters, c:\hostile\<a...>\yelk (lower
# case, as the chooser gives it back), whose parent exists.
long_folder() {
    fill=$(($1 - ${#HOSTILE} - 1 - 5))
    segment=$(head -c "$fill" /dev/zero | tr '\0' a)
    mkdir -p "$C/hostile/$segment"
    echo "$HOSTILE\\$segment\\yelk"
}
HOSTILE='c:\hostile'

# unix_path WINDOWS-PATH: where a c:\ path lies in the prefix.
unix_path() {
    p=${1#c:\\}
    echo "$C/${p//\\//}"
}

# A folder the installer cannot use is refused with [1] on the options page:
# nothing written anywhere, no folder made, the options kept.
refused_folder() {
    name=$1 folder=$2
    before=$(listing "$C")
    drive "$name" error folder="$folder" cwd='c:\hoststart' keep=0
    has "box Yelk Installation Error [1]|There seems to be a problem creating the directory you specified.\n\nPlease try using a different directory name!"
    has "page 2"
    has "options 1 0 1"
    has "folder $folder"
    has "exit 0"
    lacks '^page 4'
    [ -z "$(listing "$C/hoststart")" ] || fail "written in the start folder: $(listing "$C/hoststart" | tr '\n' ' ')"
    [ "$(listing "$C")" = "$before" ] || fail "c:\\ changed: $(listing "$C" | tr '\n' ' ')"
    [ ! -e "$DESKTOP/Yelk32.lnk" ] || fail "desktop link made"
}

hostile_folders() {
    rm -rf "$C/hoststart" "$C/hostile" "$DESKTOP/Yelk32.lnk"
    mkdir -p "$C/hoststart"

    # 236 characters: the uninstall command "<dir>\yelk32.exe" -uninstall
    # would be 260 long, one more than the ANSI file API takes.
    folder=$(long_folder 236)
    refused_folder long-236 "$folder"
    [ ! -e "$(unix_path "$folder")" ] || fail "the 236-character folder was made"

    # Not a full path: it would land wherever the installer runs.
    refused_folder relative relyelk
    [ ! -e "$C/relyelk" ] && [ ! -e "$C/hoststart/relyelk" ] || fail "relyelk was made"

    # 235 characters: the longest folder that works, and does in full.
    rm -rf "$C/hostile"
    folder=$(long_folder 235)
    dir=$(unix_path "$folder")
    before=$(listing "$C")
    drive long-235 install folder="$folder" cwd='c:\hoststart'
    has "folder $folder"
    has "page 4"
    has "exit 0"
    same_files "$dir" yelk.ini
    [ "$(ini_ignore "$dir/yelk.ini")" = "$IGNORE" ] || fail "ignore list in yelk.ini"
    check_desktop_link "$folder"
    case "$got" in *'\yelk32.exe|'*) ;; *) fail "desktop link target not ...\\yelk32.exe" ;; esac
    [ -z "$(listing "$C/hoststart")" ] || fail "written in the start folder: $(listing "$C/hoststart" | tr '\n' ' ')"
    [ "$(listing "$C")" = "$before" ] || fail "c:\\ changed: $(listing "$C" | tr '\n' ' ')"
    rm -rf "$C/hostile"
}

# After [7] and after [6] the wizard is back on the options page with the
# options as the user left them, once the clean-up has removed what the run
# wrote (yelk32.exe, decoded before yelk.hlp met the backup fault); the
# user's yelk.hlp and the folder stay.
backup_fault() {
    name=$1 number=$2 text=$3 dir=$4
    printf "The user's own help\r\n" >"$C/$dir/yelk.hlp"
    cp "$C/$dir/yelk.hlp" "$WORK/$name.hlp"
    drive "$name" error folder="c:\\$dir" keep=0
    has "box Yelk Installation Error [$number]|$text"
    has "page 2"
    has "options 1 0 1"
    has "folder c:\\$dir"
    has "exit 0"
    [ ! -e "$C/$dir/yelk32.exe" ] || fail "yelk32.exe of the failed run stayed"
    cmp -s "$WORK/$name.hlp" "$C/$dir/yelk.hlp" || fail "the user's yelk.hlp changed"
}

hostile_backup_faults() {
    # [7]: a plain file named "backup" where the backup folder belongs.
    rm -rf "$C/bk7"
    mkdir -p "$C/bk7"
    printf 'a file, not a folder\r\n' >"$C/bk7/backup"
    backup_fault backup-7 7 'There seems to be a problem backing up your original files.\n\nPlease try installing to a different directory!' bk7
    [ "$(cat "$C/bk7/backup")" = "$(printf 'a file, not a folder\r')" ] || fail "the file named backup changed"

    # [6]: "backup" is a link to nowhere: the folder is not there, and it
    # cannot be made.
    rm -rf "$C/bk6"
    mkdir -p "$C/bk6"
    ln -s "$C/bk6/nowhere/backup" "$C/bk6/backup"
    backup_fault backup-6 6 'There seems to be a problem creating the backup directory.\n\nPlease try installing to a different directory!' bk6
    [ -L "$C/bk6/backup" ] && [ ! -e "$C/bk6/nowhere" ] || fail "the link named backup changed"
}

group_hostile() {
    hostile_twice
    hostile_small_temp
    hostile_killed
    hostile_folders
    hostile_backup_faults
}


# ---- release groups ----

# uninstall_keys: every key under HKLM\Software and HKCU\Software that holds
# the installer's uninstall values (DisplayName Yelk, or an UninstallString
# ending in -uninstall), read in the 64-bit view, which shows the 32-bit one
# under Wow6432Node: all of them, wherever they are.
uninstall_keys() {
    for root in 'HKLM\Software' 'HKCU\Software'; do
        "$YELK_WINE_LOADER" reg query "$root" /s /reg:64 2>/dev/null | tr -d '\r' | awk '
            /^HKEY_/ { key = $0 }
            /^ +DisplayName +REG_SZ +Yelk$/ || /^ +UninstallString +REG_SZ .*yelk32\.exe" -uninstall$/ {
                if (!(key in seen)) { seen[key] = 1; print key }
            }'
    done
}

# set_version NAME: the Windows version Wine reports to setup32.exe (empty:
# Wine's default, Windows 7).
set_version() {
    if [ -n "$1" ]; then
        "$YELK_WINE_LOADER" reg add 'HKCU\Software\Wine\AppDefaults\setup32.exe' /v Version /d "$1" /f >/dev/null 2>&1
    else
        "$YELK_WINE_LOADER" reg delete 'HKCU\Software\Wine\AppDefaults\setup32.exe' /v Version /f >/dev/null 2>&1
    fi
}

# No installation left from an earlier case: folder, group, desktop link and
# uninstall key (in both views of a 64-bit prefix; a 32-bit one has one).
forget_install() {
    local view views=32
    [ "$WINEARCH" = win64 ] && views="32 64"
    rm -rf "$C/$1" "$PROGRAMS/Yelk" "$DESKTOP/Yelk32.lnk"
    for view in $views; do
        "$YELK_WINE_LOADER" reg delete "$UNINSTALL" /f "/reg:$view" >/dev/null 2>&1
    done
}

# One complete installation with the defaults into c:\FOLDER, checked:
# files, ignore list, group (new-shell or old-shell text items), desktop
# link, exit code. complete_install CASE FOLDER NEWSHELL. FOLDER is Yelk (the
# default) or lower case: the folder chooser lower-cases what it is given.
complete_install() {
    local folder=$2 new=$3 lower
    lower=$(echo "$folder" | tr 'A-Z' 'a-z')
    # c:\Yelk is the installer's own default: no folder is typed then.
    if [ "$folder" = Yelk ]; then
        drive "$1" install
    else
        drive "$1" install folder="c:\\$folder"
    fi
    has "page 4"
    has "exit 0"
    same_files "$C/$folder" yelk.ini
    [ "$(ini_ignore "$C/$folder/yelk.ini")" = "$IGNORE" ] || fail "ignore list in yelk.ini"
    if [ "$new" = 1 ]; then
        check_group "c:\\$lower" '' "c:\\$lower"
    else
        check_group "c:\\$lower" 'write.exe' "c:\\$lower"
    fi
}

group_win64() {
    # A 64-bit prefix: the 32-bit installer runs under WoW64, and what it
    # writes under HKLM\Software goes to the registry's 32-bit view.
    [ "$WINEARCH" = win64 ] && grep -q '^#arch=win64' "$WINEPREFIX/system.reg" ||
        fail "not a 64-bit prefix"
    # Rows: case, AppDefaults version (empty: Wine's default), folder, newShell.
    for row in "win64-default::Yelk:0" "win64-win10:win10:yelk10:0" "win64-win98:win98:yelk98:1"; do
        IFS=: read -r name version where new <<<"$row"
        forget_install "$where"
        set_version "$version"
        complete_install "$name" "$where" "$new"
        if [ "$new" = 1 ]; then
            uninstall="\"c:\\$where\\yelk32.exe\" -uninstall"
            uninstall_values 32
            [ "$DISPLAYNAME" = Yelk ] || fail "DisplayName in the 32-bit view: '$DISPLAYNAME'"
            [ "$UNINSTALLSTRING" = "$uninstall" ] || fail "UninstallString in the 32-bit view: '$UNINSTALLSTRING'"
            "$YELK_WINE_LOADER" reg query "$UNINSTALL" /reg:64 >/dev/null 2>&1 && fail "an uninstall key in the 64-bit view"
            # Nowhere else: the only key with these values is the one under
            # Wow6432Node, the 32-bit view's.
            keys=$(uninstall_keys)
            [ "$keys" = 'HKEY_LOCAL_MACHINE\Software\Wow6432Node\Microsoft\Windows\CurrentVersion\Uninstall\Yelk' ] ||
                fail "uninstall values at: $keys"
            echo "   keys with the uninstall values: $keys"
        else
            for view in 32 64; do
                "$YELK_WINE_LOADER" reg query "$UNINSTALL" "/reg:$view" >/dev/null 2>&1 &&
                    fail "an uninstall key in the $view-bit view on an old shell"
            done
        fi
    done
}

# Reported Windows versions and what the installer decides for each. Rows:
# AppDefaults version, the version word the installer is told, newShell (the
# uninstall values and the new-shell group items follow it). The row printed
# for each is what was observed, for the README's table.
VERSION_ROWS='
win95:4.0 9x:1
win98:4.10 9x:1
winme:4.90 9x:1
nt40:4.0 nt:1
win2k:5.0 nt:0
winxp:5.1 nt:0
win7:6.1 nt:0
win10:10.0 nt:0'

group_versions() {
    mkdir -p "$C/probe"
    cp "$E2E_PROBE" "$C/probe/setup32.exe"
    table=
    while IFS=: read -r version word new; do
        [ -n "$version" ] || continue
        forget_install "$version"
        set_version "$version"
        "$YELK_WINE_LOADER" 'c:\probe\setup32.exe' >"$WORK/probe-$version.out" 2>"$WORK/probe-$version.err"
        status=$?
        told=$(tr -d '\r' <"$WORK/probe-$version.out")
        [ "$told" = "version $word" ] ||
            fail "$version: told '$told', expected 'version $word' (exit $status; stderr: $(head -c 400 "$WORK/probe-$version.err"))"
        complete_install "version-$version" "$version" "$new"
        uninstall_values
        name=$DISPLAYNAME uninstall=$UNINSTALLSTRING
        if [ "$new" = 1 ]; then
            [ "$name" = Yelk ] || fail "$version: DisplayName '$name'"
            [ "$uninstall" = "\"c:\\$version\\yelk32.exe\" -uninstall" ] || fail "$version: UninstallString '$uninstall'"
        else
            [ -z "$name$uninstall" ] || fail "$version: uninstall values on an old shell"
        fi
        icon=$TEXT_ICON
        table="$table
row $version | ${told#version } | newShell $new | uninstall ${uninstall:-none} | text items' icon ${icon:-none}"
    done <<<"$VERSION_ROWS"
    echo "$table"
}

# The signed installer (release.sign built it with a throwaway CA): it
# installs as the unsigned one does; with one payload byte changed, both the
# signature and the installer's own check fail, and nothing is installed.
group_signed() {
    cp "$E2E_SIGNED_DIR/setup32.exe" "$C/setup32.exe"
    forget_install Yelk
    drive signed install
    check_complete_install write.exe

    # One payload byte changed, as the errors group does to the unsigned file.
    cp "$E2E_SIGNED_DIR/setup32.exe" "$C/signed10.exe"
    perl -e '
        open F, "+<", $ARGV[0] or die; binmode F; local $/; $d = <F>;
        $at = index($d, "A" . "RNI") + 8; seek F, $at, 0; read F, $b, 1;
        seek F, $at, 0; print F ($b eq " " ? "!" : " ");' "$C/signed10.exe"
    cmp -s "$E2E_SIGNED_DIR/setup32.exe" "$C/signed10.exe" && fail "the copy was not changed"
    current=signed-changed-signature
    if osslsigncode verify -CAfile "$E2E_SIGNED_DIR/ca.pem" -in "$C/signed10.exe" >"$WORK/$current.log" 2>&1; then
        fail "osslsigncode accepts the changed file"
    fi
    grep -q 'Calculated message digest.*MISMATCH' "$WORK/$current.log" ||
        fail "osslsigncode did not report a digest mismatch"
    forget_install Yelk
    drive signed-changed error setup='c:\signed10.exe' folder='c:\signedbad'
    has "box Yelk Installation Error [10]|The installation file seems to be corrupt!\\n\\nPlease try running the installation program again or download a new version!"
    has "exit 0"
    [ -d "$C/signedbad" ] && [ -z "$(ls -A "$C/signedbad")" ] || fail "c:\\signedbad should be there, empty"
    [ ! -e "$DESKTOP/Yelk32.lnk" ] || fail "desktop link after the corrupt run"
    [ ! -e "$PROGRAMS/Yelk" ] || fail "a group after the corrupt run"
}

# ---- end of the release groups ----

case $group in
install | win98 | abort | cancel | errors | hostile | win64 | versions | signed) group_$group ;;
*) echo "e2e.sh: unknown group $group" >&2; exit 64 ;;
esac

if [ $failed -gt 0 ]; then
    echo "e2e $group: $failed check(s) failed"
    exit 1
fi
if [ -n "$skipped" ]; then
    echo "e2e $group: the cases run passed; skipped:$skipped"
    exit 77
fi
echo "e2e $group: all passed"
