#!/usr/bin/env bash
# End-to-end checks of the Windows executable under Wine: its form, output of a windowed
# program through a pipe, and the log in Wine's all-users folder. What it prints into a file
# and sends is checked by the scenarios and the guide's examples, which scripts/run-windows-tests
# plays with it; registration, enciphering and the default mode through the shell are met with
# the installed product (installer_test.sh).
#
# Usage: end_to_end.sh TESTED_EXE PRODUCT_EXE
#   TESTED_EXE   the transmitter.exe that Wine runs here
#   PRODUCT_EXE  the 32-bit transmitter.exe that is shipped (checked for its form only when
#                Wine cannot run it)
set -uo pipefail
cd "$(dirname "$0")/../.."
REPO=$(pwd)
EXE=$(realpath "$1")
PRODUCT=$(realpath "$2")
WINE="$REPO/scripts/wine-run"
CACHE=${TRANSMITTER_DEPS_CACHE:-~/.cache/transmitter-mingw}
export WINEPREFIX=${WINEPREFIX:-$CACHE/wine}
LOG_FILE="$WINEPREFIX/drive_c/ProgramData/Orvane/Tessaly/Dudiradaroz/transmitter.log"
WORK=$(mktemp -d "$(dirname "$EXE")/e2e-XXXXXX")
trap 'rm -rf "$WORK"' EXIT

source tests/support/checks.sh

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

version_reaches_a_pipe() {
    wine_exe -V | lf >"$WORK/version-pipe.txt"
    local status=${PIPESTATUS[0]}
    [ "$status" = 0 ] || fail "exit status $status"
    [ "$(cat "$WORK/version-pipe.txt")" = "1.0.15" ] || fail "got '$(cat "$WORK/version-pipe.txt")'"
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

# At a cmd prompt, as the guide teaches: the program reaches the prompt's console, answers and
# errors alike.
output_reaches_the_console_of_start_wait() {
    local windows_exe="Z:${EXE//\//\\}"
    timeout 60 python3 tests/support/on_terminal.py "$WORK/console.txt" "$WINE" cmd /c \
        "start \"\" /wait $windows_exe -V & start \"\" /wait $windows_exe --cmd=A --port=0"
    [ $? = 1 ] || fail "the status of the refused run did not reach the prompt"
    # What the terminal shows, without the sequences that Wine's console draws it with.
    sed 's/\x1b\[[0-9;?]*[A-Za-z]//g' "$WORK/console.txt" >"$WORK/shown.txt"
    grep -q '^1\.0\.15' "$WORK/shown.txt" || fail "no version on the console"
    grep -q -- '--port=0: ' "$WORK/shown.txt" || fail "no error on the console"
}

check product_is_a_static_32_bit_windowed_exe
check tested_exe_is_static_and_windowed
check version_reaches_a_pipe
check failure_is_logged_in_the_all_users_folder
check output_reaches_the_console_of_start_wait

finish_checks wine-end-to-end
