#!/usr/bin/env bash
# End-to-end checks of the Windows executable under Wine, next to the Linux build: output of a
# windowed program on a console, the log in Wine's all-users folder, and commands to the Linux
# orvane-sim on 127.0.0.1. Registration, enciphering and the default mode are met through the
# installed product (installer_test.sh).
#
# Usage: end_to_end.sh TESTED_EXE PRODUCT_EXE LINUX_BUILD_DIR
#   TESTED_EXE   the transmitter.exe that Wine runs here
#   PRODUCT_EXE  the 32-bit transmitter.exe that is shipped (checked for its form only when
#                Wine cannot run it)
#   LINUX_BUILD_DIR  a Linux build tree with src/transmitter and sim/orvane-sim
set -uo pipefail
cd "$(dirname "$0")/../.."
REPO=$(pwd)
EXE=$(realpath "$1")
PRODUCT=$(realpath "$2")
LINUX=$(realpath "$3")
WINE="$REPO/scripts/wine-run"
CACHE=${TRANSMITTER_DEPS_CACHE:-~/.cache/transmitter-mingw}
export WINEPREFIX=${WINEPREFIX:-$CACHE/wine}
LOG_FILE="$WINEPREFIX/drive_c/ProgramData/Orvane/Tessaly/Dudiradaroz/transmitter.log"
WORK=$(mktemp -d "$(dirname "$EXE")/e2e-XXXXXX")
SIM_PID=""
trap 'stop_sim; rm -rf "$WORK"' EXIT

source tests/support/checks.sh
check_cleanup() { stop_sim; }

# The transmitter under Wine, with a deadline of its own; `wine_exe ARGS...`.
wine_exe() {
    timeout 60 "$WINE" "$EXE" "$@"
}

# The text without the CR of each CRLF line end (a text stream on Windows).
lf() {
    tr -d '\r'
}

# --- the executable -------------------------------------------------------------------------

# One file that needs only DLLs of Windows itself; a windowed (GUI) program.
imports_only_system_dlls() {
    local exe=$1 format=$2 headers dlls
    headers=$(objdump -f -p "$exe") || fail "objdump cannot read $exe"
    grep -q "file format $format" <<<"$headers" || fail "$exe is not $format"
    grep -Eq 'Subsystem[[:space:]]+0+2[[:space:]]' <<<"$headers" ||
        fail "$exe is not a windowed (GUI) program"
    dlls=$(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$headers" | tr 'a-z' 'A-Z' | sort -u)
    for dll in $dlls; do
        case $dll in
            KERNEL32.DLL | MSVCRT.DLL | USER32.DLL | GDI32.DLL | ADVAPI32.DLL | SHELL32.DLL | \
                WS2_32.DLL | WSOCK32.DLL | CRYPT32.DLL | OLE32.DLL) ;;
            *) fail "$exe needs $dll beside it" ;;
        esac
    done
}

product_is_a_static_32_bit_windowed_exe() {
    imports_only_system_dlls "$PRODUCT" pei-i386
}

tested_exe_is_static_and_windowed() {
    local format
    format=$(objdump -f "$EXE" | sed -n 's/.*file format //p')
    imports_only_system_dlls "$EXE" "$format"
}

# --- console output of a windowed program ---------------------------------------------------

version_reaches_a_redirected_file() {
    wine_exe --version >"$WORK/version.txt" || fail "exit status $?"
    [ "$(lf <"$WORK/version.txt")" = "1.0.15" ] || fail "got '$(cat -A "$WORK/version.txt")'"
}

version_reaches_a_pipe() {
    wine_exe -V | lf >"$WORK/version-pipe.txt"
    local status=${PIPESTATUS[0]}
    [ "$status" = 0 ] || fail "exit status $status"
    [ "$(cat "$WORK/version-pipe.txt")" = "1.0.15" ] || fail "got '$(cat "$WORK/version-pipe.txt")'"
}

help_equals_the_linux_build_help() {
    wine_exe --help | lf >"$WORK/help-windows.txt"
    (exec -a transmitter.exe "$LINUX/src/transmitter" --help) >"$WORK/help-linux.txt"
    cmp "$WORK/help-windows.txt" "$WORK/help-linux.txt" ||
        fail "$(diff "$WORK/help-windows.txt" "$WORK/help-linux.txt" | head -5)"
    [ -s "$WORK/help-linux.txt" ] || fail "empty help"
}

# A failure goes to standard error and to the log in Wine's C:\ProgramData.
failure_is_logged_in_the_all_users_folder() {
    local before=0 err status
    [ -f "$LOG_FILE" ] && before=$(wc -l <"$LOG_FILE")
    wine_exe --check-full "Z:$WORK\\absent.qvtrx" 2>&1 >/dev/null | lf >"$WORK/absent.err"
    status=${PIPESTATUS[0]}
    err=$(cat "$WORK/absent.err")
    [ "$status" = 1 ] || fail "exit status $status"
    local expected="Z:$WORK\\absent.qvtrx: Failed to Preprocess file Z:$WORK\\absent.qvtrx"
    [[ "$err" == *" : $expected" ]] || fail "standard error: $err"
    [ -f "$LOG_FILE" ] || fail "no $LOG_FILE"
    tail -n +"$((before + 1))" "$LOG_FILE" | lf | grep -qF " : $expected" ||
        fail "not in the log: $expected"
}

# --- commands to the Linux orvane-sim --------------------------------------------------------

# Starts the Linux orvane-sim on a port the system picks (SIM_PORT), recording what every
# connection receives in a folder of its own (SIM_RECORD).
start_sim() {
    SIM_RECORD=$(mktemp -d "$WORK/sim-XXXXXX")
    coproc SIM { exec "$LINUX/sim/orvane-sim" --port=0 --record="$SIM_RECORD" "$@"; }
    SIM_PID=$SIM_PID
    read -r -t 10 SIM_PORT <&"${SIM[0]}" || return 1
    [[ "$SIM_PORT" =~ ^[0-9]+$ ]]
}

stop_sim() {
    if [ -n "$SIM_PID" ]; then
        kill "$SIM_PID" 2>/dev/null
        wait "$SIM_PID" 2>/dev/null
        SIM_PID=""
    fi
}

# Waits until the sim has seen connection N end ("closed N"); the path of its bytes.
sim_connection() {
    local number=$1 deadline=$((SECONDS + 30)) line
    while [ ! -f "$SIM_RECORD/closed-$number" ] && [ $SECONDS -lt $deadline ]; do
        if read -r -t 1 line <&"${SIM[0]}" && [[ "$line" == closed* ]]; then
            touch "$SIM_RECORD/closed-${line#closed }"
        fi
    done
    [ -f "$SIM_RECORD/closed-$number" ] || fail "the sim saw no end of connection $number"
    echo "$SIM_RECORD/conn-$number.bin"
}

# The same command list from both builds: the same bytes on the wire, the same answer printed.
command_list_reaches_the_linux_sim() {
    start_sim || fail "orvane-sim did not start"
    local options=(--host=127.0.0.1 --port="$SIM_PORT" "--cmd=SET A 1^GET A?")
    wine_exe "${options[@]}" | lf >"$WORK/cmd-windows.out"
    local status=${PIPESTATUS[0]}
    [ "$status" = 0 ] || fail "exit status $status"
    local windows linux
    windows=$(sim_connection 1) || fail "$windows"
    printf 'FORCEREPLY\nSET A 1\nGET A? \n' >"$WORK/cmd-expected.bin"
    cmp "$windows" "$WORK/cmd-expected.bin" || fail "the sim received '$(cat -A "$windows")'"
    timeout 60 "$LINUX/src/transmitter" "${options[@]}" >"$WORK/cmd-linux.out" ||
        fail "Linux exit status $?"
    linux=$(sim_connection 2) || fail "$linux"
    cmp "$windows" "$linux" || fail "the builds sent different bytes"
    [ -s "$WORK/cmd-linux.out" ] || fail "the Linux build printed no answer"
    cmp "$WORK/cmd-windows.out" "$WORK/cmd-linux.out" ||
        fail "answers printed: '$(cat "$WORK/cmd-windows.out")' and '$(cat "$WORK/cmd-linux.out")'"
}

# A script with what a show uses (an include, a loaded file, several hosts at once with their
# LOGIN lines, an event, a rendezvous point and a value passed by savenext and a template):
# the same bytes from both builds on every connection, the same answers, the same status.
show_script_sends_what_the_linux_build_sends() {
    start_sim --value=TITLE=News || fail "orvane-sim did not start"
    mkdir -p "$WORK/show"
    printf 'MUTE=0\r\n' >"$WORK/show/common.qvtrx"
    printf '\x01\xAB' >"$WORK/show/logo.bin"
    cat >"$WORK/show/show.qvtrx" <<SCRIPT
*host=127.0.0.1
*port=$SIM_PORT
*include=common.qvtrx
*loadfile=logo,logo.bin
\$LOGO=\$logo\$
*savenext=title
TITLE?
*event=ready
*rendezvous=all
*multihost=127.0.0.1:$SIM_PORT,desk,secret
*multihost=127.0.0.1:$SIM_PORT,prefix,studio,pw
*waitfor=ready
\$RDS.RT=\$title\$
*rendezvous=all
SCRIPT
    (cd "$WORK/show" && wine_exe --check-full show.qvtrx) | lf >"$WORK/show-windows.out"
    local windows_status=${PIPESTATUS[0]}
    (cd "$WORK/show" && timeout 60 "$LINUX/src/transmitter" --check-full show.qvtrx) \
        >"$WORK/show-linux.out"
    local linux_status=$?
    [ "$windows_status" = "$linux_status" ] ||
        fail "status $windows_status under Wine, $linux_status on Linux"
    cmp "$WORK/show-windows.out" "$WORK/show-linux.out" || fail "the answers printed differ"
    local number path
    for number in 1 2 3 4 5 6; do
        path=$(sim_connection $number) || fail "$path"
    done
    # The hosts connect in any order: the connections are compared as sets.
    [ "$(for number in 1 2 3; do base64 -w0 "$SIM_RECORD/conn-$number.bin"; echo; done | sort)" = \
        "$(for number in 4 5 6; do base64 -w0 "$SIM_RECORD/conn-$number.bin"; echo; done | sort)" ] ||
        fail "the builds sent different bytes"
    [ "$(cat "$SIM_RECORD"/conn-[123].bin | grep -c '^RDS.RT=TITLE=News$')" = 2 ] ||
        fail "the title did not pass from one host to the others"
}

check product_is_a_static_32_bit_windowed_exe
check tested_exe_is_static_and_windowed
check version_reaches_a_redirected_file
check version_reaches_a_pipe
check help_equals_the_linux_build_help
check failure_is_logged_in_the_all_users_folder
check command_list_reaches_the_linux_sim
check show_script_sends_what_the_linux_build_sends

finish_checks wine-end-to-end
