#!/usr/bin/env bash
# The Windows road as a station's engineer walks it, under Wine, on the 32-bit product (or, where
# Wine runs no 32-bit programs, on the 64-bit build and its own installer): the
# installer installed silently into a fresh Wine prefix, the files, the script types and the
# Add/Remove Programs entry it leaves, scripts opened through the shell (ShellExecute, as a
# double click does) delivering their commands to the Linux orvane-sim, the encipher verb,
# registering again from cmd by a bare program name, and a silent uninstall that leaves no
# key and no file of ours.
#
# Usage: installer_test.sh SETUP_EXE LINUX_BUILD_DIR
set -uo pipefail
cd "$(dirname "$0")/../.."
REPO=$(pwd)
SETUP=$(realpath "$1")
LINUX=$(realpath "$2")
WORK=$(mktemp -d "$(dirname "$SETUP")/installer-XXXXXX")
export WINEPREFIX="$WORK/prefix" WINEARCH=win64 WINEDEBUG=-all
# No Mono or Gecko dialogs, and no desktop entries or MIME types of the prefix's programs
# written into the home folder of the machine that runs the test.
export WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe="
unset DISPLAY WAYLAND_DISPLAY
# A 32-bit installer puts the program where 64-bit Windows keeps 32-bit programs, and its keys
# in the 32-bit view of the registry; a 64-bit one in the native places.
PROGRAM_FILES='Program Files (x86)' VIEW=32 CC=i686-w64-mingw32-gcc
pe_offset=$(od -An -tu4 -j60 -N4 "$SETUP" | tr -d ' ')
if [ "$(od -An -tx2 -j$((pe_offset + 4)) -N2 "$SETUP" | tr -d ' ')" = 8664 ]; then
    PROGRAM_FILES='Program Files' VIEW=64 CC=x86_64-w64-mingw32-gcc
fi
INSTALLED="$WINEPREFIX/drive_c/$PROGRAM_FILES/Orvane/Tessaly transmitter"
FOLDER="C:\\$PROGRAM_FILES\\Orvane\\Tessaly transmitter"
PROGRAM="$FOLDER\\transmitter.exe"
UNINSTALL_KEY='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Orvane Tessaly transmitter'
LOG_FILE="$WINEPREFIX/drive_c/ProgramData/Orvane/Tessaly/Dudiradaroz/transmitter.log"
APP_PATHS_KEY='HKLM\Software\Microsoft\Windows\CurrentVersion\App Paths\transmitter.exe'
ENVIRONMENT_KEY='HKLM\SYSTEM\CurrentControlSet\Control\Session Manager\Environment'
START_MENU="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Orvane Tessaly transmitter"
EVENT_SOURCE_KEY='HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application\transmitter'
TYPES=(qvtrx qvtrx-preset qvtrx-inputs qvtrx-Outputs qvtrx-stereogenerator qvtrx-RDS
    qvtrx-Process qvtrx-Group qvtrx-IP)
SIM_PID=""
trap 'stop_sim; wineserver -k >/dev/null 2>&1; rm -rf "$WORK"' EXIT

source tests/support/checks.sh
check_cleanup() { stop_sim; }

lf() { tr -d '\r'; }
# `wine reg` now and then ends with status 1 and no message on a key that is there (the keys
# read just before and after it were there too): a query that fails is asked again, twice at
# most, and each failed attempt is told on stderr.
reg_value() { # KEY [VALUE]: the value's data, or the default value's
    local key=$1 value=${2:-} attempt output query=(/ve) shown='(Default) *REG_SZ'
    if [ -n "$value" ]; then
        query=(/v "$value" /reg:$VIEW) shown="$value *REG_[A-Z_]*"
    fi
    for attempt in 1 2 3; do
        output=$(timeout 60 wine reg query "$key" "${query[@]}" 2>/dev/null) && break
        echo "reg query $key ${value:-(default)}: attempt $attempt failed" >&2
        output=""
        sleep 0.5
    done
    lf <<<"$output" | sed -n "s/^ *$shown *//p"
}
key_exists() { timeout 60 wine reg query "$1" /reg:$VIEW >/dev/null 2>&1; }
# Waits until COMMAND succeeds, for at most 60 s.
eventually() {
    local deadline=$((SECONDS + 60))
    until "$@"; do
        [ $SECONDS -lt $deadline ] || return 1
        sleep 0.5
    done
}

start_sim() {
    SIM_RECORD=$(mktemp -d "$WORK/sim-XXXXXX")
    coproc SIM { exec "$LINUX/sim/orvane-sim" --port=0 --record="$SIM_RECORD" --value=A=7 "$@"; }
    SIM_PID=$SIM_PID
    read -r -t 10 SIM_PORT <&"${SIM[0]}" && [[ "$SIM_PORT" =~ ^[0-9]+$ ]]
}
stop_sim() {
    [ -z "$SIM_PID" ] || { kill "$SIM_PID" 2>/dev/null; wait "$SIM_PID" 2>/dev/null; SIM_PID=""; }
}
# The bytes connection N received, once it has ended.
sim_connection() {
    local number=$1 deadline=$((SECONDS + 60)) line
    while [ ! -f "$SIM_RECORD/closed-$number" ] && [ $SECONDS -lt $deadline ]; do
        if read -r -t 1 line <&"${SIM[0]}" && [[ "$line" == closed* ]]; then
            touch "$SIM_RECORD/closed-${line#closed }"
        fi
    done
    [ -f "$SIM_RECORD/closed-$number" ] || fail "the sim saw no end of connection $number"
    cat "$SIM_RECORD/conn-$number.bin"
}

# --- checks, in the order a user meets them --------------------------------------------------

installs_silently_into_a_fresh_prefix() {
    timeout 300 wine wineboot --init >/dev/null 2>&1
    timeout 120 wineserver --wait
    reg_value "$ENVIRONMENT_KEY" Path >"$WORK/path-before"
    timeout 120 wine "$SETUP" /S || fail "setup exit status $?"
    for file in transmitter.exe qvtrxResources.dll file-types.xml uninstall.exe licence.txt \
        orvane-sim.exe report.schema.json stream.schema.json; do
        [ -f "$INSTALLED/$file" ] || fail "$file is not installed"
    done
    /usr/bin/python3 tests/wine/guide_matches.py docs/guide.md "$INSTALLED/guide.html" ||
        fail "the installed guide is not the whole guide"
    [ "$(reg_value "$APP_PATHS_KEY")" = "$PROGRAM" ] || fail "no App Paths entry"
    for link in "Transmitter guide" "Transmitter log" "Licence" "Uninstall the transmitter"; do
        [ -f "$START_MENU/$link.lnk" ] || fail "no Start menu entry '$link'"
    done
    [ "$(reg_value "$ENVIRONMENT_KEY" Path)" = "$(cat "$WORK/path-before")" ] ||
        fail "PATH changed unasked"
    [ -f "$LOG_FILE" ] || fail "no log"
    [ "$(reg_value "$EVENT_SOURCE_KEY" EventMessageFile)" = "$PROGRAM" ] ||
        fail "no event source: '$(reg_value "$EVENT_SOURCE_KEY" EventMessageFile)'"
}

registers_the_nine_types_and_their_enciphered_twins() {
    local index=0 type twin
    for type in "${TYPES[@]}"; do
        twin=${type/qvtrx/qvtrxc}
        [ "$(reg_value "HKCR\\.$type")" = "${type}file" ] || fail ".$type"
        [ "$(reg_value "HKCR\\.$twin")" = "${twin}file" ] || fail ".$twin"
        [ "$(reg_value "HKCR\\${type}file\\shell\\open\\command")" = "\"$PROGRAM\" \"%1\"" ] ||
            fail "open command of $type"
        [ "$(reg_value "HKCR\\${twin}file\\shell\\open\\command")" = "\"$PROGRAM\" \"%1\"" ] ||
            fail "open command of $twin"
        [ "$(reg_value "HKCR\\${type}file\\shell\\Tessaly File Crypt\\command")" = \
            "\"$PROGRAM\" -c \"%1\"" ] || fail "encipher verb of $type"
        ! key_exists "HKCR\\${twin}file\\shell\\Tessaly File Crypt" || fail "$twin enciphers"
        [ "$(reg_value "HKCR\\${type}file\\DefaultIcon")" = \
            "$FOLDER\\qvtrxResources.dll,$index" ] || fail "icon of $type"
        [ "$(reg_value "HKCR\\${twin}file\\DefaultIcon")" = \
            "$FOLDER\\qvtrxResources.dll,$((index + 9))" ] || fail "icon of $twin"
        index=$((index + 1))
    done
}

# One icon per type in the resource library, in the order of the icon indices.
resource_library_holds_eighteen_icons() {
    wrestool --list --type=14 "$INSTALLED/qvtrxResources.dll" >"$WORK/groups.txt" 2>/dev/null ||
        fail "wrestool cannot read the resource library"
    [ "$(wc -l <"$WORK/groups.txt")" = 18 ] || fail "$(wc -l <"$WORK/groups.txt") icon groups"
    wrestool --list --type=14 "$INSTALLED/transmitter.exe" | grep -q . || fail "exe has no icon"
    wrestool --list --type=16 "$INSTALLED/transmitter.exe" | grep -q . ||
        fail "exe has no version information"
    wrestool --list --type=24 "$INSTALLED/transmitter.exe" | grep -q . || fail "exe has no manifest"
    wrestool --list --type=11 "$INSTALLED/transmitter.exe" | grep -q . ||
        fail "exe has no message table for the Event Log"
    strings -el "$INSTALLED/transmitter.exe" | grep -qx '1.0.15' || fail "version is not 1.0.15"
}

appears_in_add_remove_programs() {
    [ "$(reg_value "$UNINSTALL_KEY" DisplayName)" = "Orvane Tessaly transmitter" ] ||
        fail "DisplayName"
    [ "$(reg_value "$UNINSTALL_KEY" DisplayVersion)" = "1.0.15" ] || fail "DisplayVersion"
    [ "$(reg_value "$UNINSTALL_KEY" QuietUninstallString)" = \
        "\"$FOLDER\\uninstall.exe\" /S _?=$FOLDER" ] || fail "QuietUninstallString"
    [ "$(reg_value "$UNINSTALL_KEY" HelpLink)" = "$FOLDER\\guide.html" ] || fail "HelpLink"
    local size
    size=$(reg_value "$UNINSTALL_KEY" EstimatedSize)
    [ -n "$size" ] && [ $((size)) -gt 100 ] || fail "EstimatedSize '$size'"
}

# Opened through the shell the script runs in the default mode: the shell's program returns
# at once, and its background copy sends the commands.
opening_scripts_sends_their_commands() {
    start_sim || fail "orvane-sim did not start"
    mkdir -p "$WORK/scripts"
    printf '*host=127.0.0.1\r\n*port=%s\r\nSET A 1\r\n  #PRESET.LOAD=7\r\nGET A?\r\n' \
        "$SIM_PORT" >"$WORK/scripts/show.qvtrx"
    printf '*host=127.0.0.1\n*port=%s\nRDS.PS=MyRadio\n' "$SIM_PORT" \
        >"$WORK/scripts/news.qvtrx-RDS"
    "$LINUX/src/transmitter" -c "$WORK/scripts/news.qvtrx-RDS" || fail "Linux -c failed"
    rm "$WORK/scripts/news.qvtrx-RDS"
    timeout 60 wine start /unix "$WORK/scripts/show.qvtrx" || fail "start exit status $?"
    [ "$(sim_connection 1)" = $'FORCEREPLY\nSET A 1\n#PRESET.LOAD=7\nGET A?' ] ||
        fail "show.qvtrx sent '$(sim_connection 1 | cat -A)'"
    timeout 60 wine start /unix "$WORK/scripts/news.qvtrxc-RDS" || fail "start exit status $?"
    [ "$(sim_connection 2)" = $'FORCEREPLY\nRDS.PS=MyRadio' ] ||
        fail "news.qvtrxc-RDS sent '$(sim_connection 2 | cat -A)'"
    eventually grep -q 'Background launch: User: .* File: .*news.qvtrxc-RDS' "$LOG_FILE" ||
        fail "no launch record in the log"
    # A folder named outside the ANSI code page, and a script saved in ANSI (Windows-1252) that
    # includes a file by an accented name.
    mkdir -p "$WORK/scripts/Утро эфир"
    printf '*host=127.0.0.1\r\n*port=%s\r\n*include=G\xe9n\xe9rique.qvtrx\r\n' "$SIM_PORT" \
        >"$WORK/scripts/Утро эфир/morning.qvtrx"
    printf 'RDS.PS=Morning\r\n' >"$WORK/scripts/Утро эфир/Générique.qvtrx"
    timeout 60 wine start /unix "$WORK/scripts/Утро эфир/morning.qvtrx" || fail "start status $?"
    [ "$(sim_connection 3)" = $'FORCEREPLY\nRDS.PS=Morning' ] ||
        fail "morning.qvtrx sent '$(sim_connection 3 | cat -A)'"
    ! grep -q 'Error' "$LOG_FILE" || fail "errors in the log: $(grep Error "$LOG_FILE")"
    # Each background copy deleted its temporary copy of the plain script once it had read it.
    local left
    left=$(find "$WINEPREFIX/drive_c/users" -iname 'kqt*.tmp' 2>/dev/null)
    [ -z "$left" ] || fail "temporary copies left: $left"
    # A background run that fails tells the Event Log (Wine traces what it is given).
    printf '*host=127.0.0.1\n*port=1\nPING\n' >"$WORK/scripts/down.qvtrx"
    WINEDEBUG=+eventlog,+win timeout 60 wine start /unix "$WORK/scripts/down.qvtrx" \
        2>"$WORK/eventlog.txt" || fail "start exit status $?"
    eventually grep -q 'down.qvtrx run by .*: 0 of 1 targets succeeded' "$WORK/eventlog.txt" ||
        fail "no failure in the Event Log: $(grep -i eventlog "$WORK/eventlog.txt" | head -5)"
    # ... and offers the desktop a balloon, from a window of its own (with no display here, the
    # taskbar refuses it, and nothing waits).
    eventually grep -q 'WIN_CreateWindowEx "transmitter" L"STATIC"' "$WORK/eventlog.txt" ||
        fail "no notification window"
}

encipher_verb_writes_the_enciphered_twin() {
    mkdir -p "$WORK/verb" "$WORK/verb-linux"
    printf '*host=127.0.0.1\nSET GAIN 1 -3.5\n' >"$WORK/verb/desk.qvtrx-preset"
    cp "$WORK/verb/desk.qvtrx-preset" "$WORK/verb-linux/"
    "$CC" -O2 -o "$WORK/shell_verb.exe" tests/wine/shell_verb.c -lshell32 ||
        fail "cannot build shell_verb.exe"
    timeout 60 wine "$WORK/shell_verb.exe" "Tessaly File Crypt" "Z:$WORK/verb/desk.qvtrx-preset" ||
        fail "the shell found no encipher verb"
    eventually test -s "$WORK/verb/desk.qvtrxc-preset" || fail "no desk.qvtrxc-preset"
    "$LINUX/src/transmitter" -c "$WORK/verb-linux/desk.qvtrx-preset"
    cmp "$WORK/verb/desk.qvtrxc-preset" "$WORK/verb-linux/desk.qvtrxc-preset" ||
        fail "the enciphered files differ"
}

# A show running in the background holds the program: a silent upgrade and a silent uninstall
# then fail with status 2 and change nothing, and go through once the show is over. An older
# version is refused over a newer one (status 3).
a_running_show_keeps_the_installation_whole() {
    start_sim || fail "orvane-sim did not start"
    mkdir -p "$WORK/running"
    printf '*host=127.0.0.1\n*port=%s\n*wait=8s\nPING\n' "$SIM_PORT" >"$WORK/running/long.qvtrx"
    timeout 60 wine start /unix "$WORK/running/long.qvtrx" || fail "start exit status $?"
    eventually test -f "$SIM_RECORD/conn-1.bin" || fail "the show did not start"
    local status
    timeout 120 wine "$SETUP" /S
    status=$?
    [ "$status" = 2 ] || fail "setup over a running show: status $status"
    # As a deployment tool runs it: the registered silent uninstall, whose status is the
    # uninstaller's own.
    run_batch "$(reg_value "$UNINSTALL_KEY" QuietUninstallString)" 'exit /b %errorlevel%'
    status=$?
    [ "$status" = 2 ] || fail "uninstall under a running show: status $status"
    [ -f "$INSTALLED/transmitter.exe" ] && [ -n "$(reg_value "$UNINSTALL_KEY" DisplayName)" ] &&
        [ -n "$(reg_value 'HKCR\.qvtrx')" ] || fail "the installation is not whole"
    [ "$(sim_connection 1)" = $'FORCEREPLY\nPING' ] || fail "the show did not go on"
    eventually timeout 120 wine "$SETUP" /S || fail "no setup after the show"
    timeout 60 wine reg add "$UNINSTALL_KEY" /v DisplayVersion /d 9.9.9 /f /reg:$VIEW >/dev/null
    timeout 120 wine "$SETUP" /S
    status=$?
    timeout 60 wine reg add "$UNINSTALL_KEY" /v DisplayVersion /d 1.0.15 /f /reg:$VIEW >/dev/null
    [ "$status" = 3 ] || fail "older over newer: status $status"
}

# From any folder: "start" finds the program by its App Paths entry; asked for, the folder
# goes on PATH, and leaves it with the uninstaller.
finding_the_program_by_its_name() {
    timeout 60 wine cmd /c 'cd /d C:\ && start "" /wait transmitter.exe -V' >/dev/null 2>&1 ||
        fail "start finds no transmitter.exe"
    timeout 120 wine "$SETUP" /S /ADDTOPATH || fail "setup /ADDTOPATH exit status $?"
    reg_value "$ENVIRONMENT_KEY" Path | grep -qF ";$FOLDER" || fail "the folder is not on PATH"
}

# From a batch file in the program's folder, by its bare name: the shell still finds the
# program afterwards.
run_batch() { # LINES...: a batch file run by cmd, which waits for each program in it
    printf '%s\r\n' "$@" >"$WORK/run.bat"
    timeout 60 wine cmd /c "Z:$WORK/run.bat" >/dev/null
}

registering_by_a_bare_name_keeps_the_full_path() {
    start_sim || fail "orvane-sim did not start"
    run_batch "cd /d \"$FOLDER\"" "transmitter --uninstall=file-types.xml" ||
        fail "--uninstall from cmd"
    ! key_exists 'HKCR\.qvtrx' || fail "--uninstall from cmd left .qvtrx"
    run_batch "cd /d \"$FOLDER\"" "transmitter --install=file-types.xml" ||
        fail "--install from cmd"
    [ "$(reg_value 'HKCR\qvtrxfile\shell\open\command')" = "\"$PROGRAM\" \"%1\"" ] ||
        fail "open command '$(reg_value 'HKCR\qvtrxfile\shell\open\command')'"
    [ "$(reg_value 'HKCR\qvtrxfile\DefaultIcon')" = "$FOLDER\\qvtrxResources.dll,0" ] ||
        fail "icon '$(reg_value 'HKCR\qvtrxfile\DefaultIcon')'"
    mkdir -p "$WORK/again"
    printf '*host=127.0.0.1\n*port=%s\nPING\n' "$SIM_PORT" >"$WORK/again/again.qvtrx"
    timeout 60 wine start /unix "$WORK/again/again.qvtrx" || fail "start exit status $?"
    [ "$(sim_connection 1)" = $'FORCEREPLY\nPING' ] || fail "again.qvtrx did not run"
}

# "taskkill" without /F asks a background show to close, as the guide says to stop one: it
# writes its interrupted summary, and a report of what the attempt at work did, before it ends.
taskkill_stops_a_background_show_with_its_summary() {
    # Without a display Wine makes no window unless told to use its null driver (a desktop
    # session has a display); its programs take it from their next start.
    timeout 60 wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
    timeout 60 wineserver -k
    timeout 60 wineserver --wait
    start_sim || fail "orvane-sim did not start"
    mkdir -p "$WORK/stopped"
    printf '*host=127.0.0.1\n*port=%s\nPING\n*wait=30s\nPONG\n' "$SIM_PORT" >"$WORK/stopped/long.qvtrx"
    (cd "$WORK/stopped" && timeout 60 wine "$PROGRAM" --report=r.json long.qvtrx) ||
        fail "launch exit status $?"
    eventually test -s "$SIM_RECORD/conn-1.bin" || fail "the show did not start"
    timeout 60 wine taskkill /IM transmitter.exe >/dev/null 2>&1
    eventually grep -q "long.qvtrx: 127.0.0.1:$SIM_PORT was interrupted" "$LOG_FILE" ||
        fail "no interrupted summary: $(tail -n 3 "$LOG_FILE")"
    # Written with the summary: the notice at the desktop waits for nobody.
    wait_until 3 test -s "$WORK/stopped/r.json" || fail "no report with the summary"
    python3 -c 'import json, sys; r = json.load(open(sys.argv[1])); t = r["targets"][0]
print(r["status"], t["commandsSent"], t["address"], [a["reason"] for a in t["attempts"]])' \
        "$WORK/stopped/r.json" >"$WORK/stopped/seen"
    [ "$(cat "$WORK/stopped/seen")" = "143 1 127.0.0.1 ['interrupted at work']" ] ||
        fail "report: $(cat "$WORK/stopped/seen")"
}

# The guide's batch recipe, as it stands there, tells each kind of failure from success.
guide_batch_recipe_catches_every_failure() {
    sed -n '/^```bat file=onair.bat/,/^```$/p' docs/guide.md | sed '1d;$d' | sed 's/$/\r/' |
        sed "s/Program Files (x86)/$PROGRAM_FILES/" >"$WORK/onair.bat"
    grep -q transmitter.exe "$WORK/onair.bat" || fail "no batch recipe in the guide"
    local port answer
    for port in good refused down; do
        case $port in
        good) start_sim || fail "orvane-sim did not start"; answer="on air" ;;
        refused) start_sim --refuse=PRESET || fail "orvane-sim did not start"
            answer="call the engineer (status 255)" ;;
        down) SIM_PORT=1; answer="call the engineer (status 1)" ;;
        esac
        printf '*host=127.0.0.1\n*port=%s\nPRESET.ONAIR=Evening\n' "$SIM_PORT" >"$WORK/$port.qvtrx"
        [ "$(timeout 60 wine cmd /c "Z:$WORK/onair.bat" "Z:$WORK/$port.qvtrx" 2>/dev/null | lf)" = \
            "$answer" ] || fail "$port: not '$answer'"
        stop_sim
    done
}

# A log that another account owns is not written, and the run says so. Wine reports a file of
# another Unix user as Anonymous Logon's: giving it to one takes root.
a_log_of_another_user_is_refused() {
    cp "$LOG_FILE" "$WORK/log-before" && chown 65534 "$LOG_FILE" || fail "cannot give the log away"
    timeout 60 wine "$PROGRAM" --host=127.0.0.1 --port=1 --cmd=A --attempts=1 2>"$WORK/refusal"
    chown 0 "$LOG_FILE"
    grep -q 'transmitter.log belongs to another user (S-1-5-7): nothing is written' \
        "$WORK/refusal" || fail "no refusal: $(head -1 "$WORK/refusal")"
    cmp -s "$LOG_FILE" "$WORK/log-before" || fail "the log of another user was written"
}

uninstalls_silently_and_leaves_nothing() {
    # As a deployment tool runs it: the registered quiet uninstall runs in place, and what it
    # cannot remove while it runs (itself, its folder, the Orvane folder above) goes at the
    # next start.
    run_batch "$(reg_value "$UNINSTALL_KEY" QuietUninstallString)" 'exit /b %errorlevel%' ||
        fail "uninstall exit status $?"
    local pending
    # A folder is put down with a trailing backslash, as NSIS does on Windows too.
    pending=$(timeout 60 wine reg query 'HKLM\SYSTEM\CurrentControlSet\Control\Session Manager' \
        /v PendingFileRenameOperations 2>/dev/null | lf | sed 's/\\\\0/\\0/g')
    for left in 'Orvane\Tessaly transmitter\uninstall.exe' 'Orvane\Tessaly transmitter' 'Orvane'; do
        grep -qiF "$PROGRAM_FILES\\$left\\0" <<<"$pending\\0" ||
            fail "not put down for the next start: $left (${pending:-nothing pending})"
    done
    [ "$(ls "$INSTALLED")" = uninstall.exe ] || fail "left: $(ls "$INSTALLED")"
    local type
    for type in "${TYPES[@]}"; do
        for name in "$type" "${type/qvtrx/qvtrxc}"; do
            ! key_exists "HKCR\\.$name" || fail "key .$name left"
            ! key_exists "HKCR\\${name}file" || fail "key ${name}file left"
        done
    done
    ! key_exists "$UNINSTALL_KEY" || fail "Add/Remove Programs entry left"
    ! key_exists "$EVENT_SOURCE_KEY" || fail "event source left"
    ! key_exists "$APP_PATHS_KEY" || fail "App Paths entry left"
    [ ! -e "$START_MENU" ] || fail "Start menu folder left"
    [ "$(reg_value "$ENVIRONMENT_KEY" Path)" = "$(cat "$WORK/path-before")" ] ||
        fail "PATH is '$(reg_value "$ENVIRONMENT_KEY" Path)', not '$(cat "$WORK/path-before")'"
    # The next start carries out what was put down: nothing of the program is left.
    timeout 120 wine wineboot --restart >/dev/null 2>&1
    [ ! -e "$(dirname "$INSTALLED")" ] || fail "left after a restart: $(find "$(dirname "$INSTALLED")")"
}

check installs_silently_into_a_fresh_prefix
check registers_the_nine_types_and_their_enciphered_twins
check resource_library_holds_eighteen_icons
check appears_in_add_remove_programs
check opening_scripts_sends_their_commands
check encipher_verb_writes_the_enciphered_twin
check a_running_show_keeps_the_installation_whole
check finding_the_program_by_its_name
check registering_by_a_bare_name_keeps_the_full_path
check guide_batch_recipe_catches_every_failure
check taskkill_stops_a_background_show_with_its_summary
if [ "$(id -u)" = 0 ]; then check a_log_of_another_user_is_refused
else echo "SKIP    a_log_of_another_user_is_refused (only root can give the log away)"; fi
check uninstalls_silently_and_leaves_nothing

finish_checks wine-installer
