#!/usr/bin/env bash
# Registration as a Linux desktop meets it: --install publishes the script types to the
# freedesktop databases of a scratch XDG data folder (machine-wide when run as root), where
# xdg-mime finds their MIME types and default application, and xdg-open hands a script to the
# transmitter, which delivers it to orvane-sim; --uninstall withdraws every trace.
# desktop_test.sh TRANSMITTER ORVANE_SIM SHARE_FOLDER
set -uo pipefail
TRANSMITTER=$1
SIM=$2
SHARE=$3
WORK=$(mktemp -d /tmp/transmitter-desktop-XXXXXX)
trap 'rm -rf "$WORK"' EXIT
source "$(dirname "$0")/../support/checks.sh"

export HOME=$WORK/home XDG_CONFIG_HOME=$WORK/home/.config XDG_DATA_HOME=$WORK/home/.local/share
export XDG_DATA_DIRS=$WORK/machine XDG_CONFIG_DIRS=$WORK/machine-config
# gio (GNOME's road) reads the shared-mime-info database, where the generic road asks file(1).
export XDG_CURRENT_DESKTOP=GNOME
mkdir -p "$HOME" "$XDG_DATA_DIRS" "$WORK/scripts"
[ "$(id -u)" = 0 ] && DATA=$XDG_DATA_DIRS || DATA=$XDG_DATA_HOME
SIM_PID=""
check_cleanup() { [ -z "$SIM_PID" ] || kill "$SIM_PID" 2>/dev/null; }

install_publishes_types() {
    "$TRANSMITTER" "--install=$SHARE/file-types.xml" || fail "install status $?"
    [ -f "$DATA/mime/packages/orvane-transmitter.xml" ] || fail "no MIME package in $DATA"
    local file type
    for file in show.qvtrx show.qvtrx-RDS show.qvtrxc show.qvtrxc-preset; do
        echo 'RDS.PS=MORNING' >"$WORK/scripts/$file"
        type=$(xdg-mime query filetype "$WORK/scripts/$file")
        [ "$type" = "application/x-${file#show.}" ] ||
            [ "$type" = "application/x-$(echo "${file#show.}" | tr A-Z a-z)" ] ||
            fail "$file is $type"
    done
    [ -f "$DATA/icons/hicolor/scalable/mimetypes/orvane-transmitter-x-qvtrx-rds.svg" ] ||
        fail "no icon for .qvtrx-RDS"
}

default_application_opens_and_enciphers() {
    local plain enciphered
    plain=$(xdg-mime query default application/x-qvtrx)
    enciphered=$(xdg-mime query default application/x-qvtrxc)
    [ -n "$plain" ] && [ -n "$enciphered" ] || fail "no default application"
    grep -qx "Exec=$TRANSMITTER %f" "$DATA/applications/$plain" || fail "open command"
    grep -qx "Exec=$TRANSMITTER -c %f" "$DATA/applications/$plain" || fail "no encipher action"
    grep -qx "Name=Tessaly File Crypt" "$DATA/applications/$plain" || fail "action name"
    ! grep -q '^Actions=' "$DATA/applications/$enciphered" ||
        fail "enciphered scripts are enciphered again"
}

received_is() {
    [ "$(cat "$WORK/received/conn-1.bin" 2>/dev/null)" = "$1" ] && grep -qx 'closed 1' "$WORK/sim.out"
}

opening_a_script_sends_it() {
    mkdir -p "$WORK/received"
    "$SIM" --port=0 "--record=$WORK/received" >"$WORK/sim.out" &
    SIM_PID=$!
    wait_until 10 test -s "$WORK/sim.out" || fail "orvane-sim did not start"
    printf '*host=127.0.0.1\n*port=%s\nRDS.PS=OPENED\n' "$(head -n 1 "$WORK/sim.out")" \
        >"$WORK/scripts/opened.qvtrx"
    timeout 20 xdg-open "$WORK/scripts/opened.qvtrx" || fail "xdg-open status $?"
    wait_until 15 received_is $'FORCEREPLY\nRDS.PS=OPENED' ||
        fail "received: $(cat "$WORK/received/conn-1.bin" 2>/dev/null)"
}

uninstall_leaves_nothing() {
    "$TRANSMITTER" "--uninstall=$SHARE/file-types.xml" || fail "uninstall status $?"
    local left
    # gio keeps a cache and a configuration of its own in the home folder.
    left=$(find "$WORK/machine" "$WORK/home" -mindepth 1 -not -path "$HOME/.c*" | head -n 3)
    [ -z "$left" ] || fail "left behind: $left"
    [ "$(xdg-mime query filetype "$WORK/scripts/show.qvtrx")" != application/x-qvtrx ] ||
        fail "the type is still known"
}

check install_publishes_types
check default_application_opens_and_enciphers
check opening_a_script_sends_it
check uninstall_leaves_nothing
finish_checks desktop
