#!/usr/bin/env bash
# The Debian package as a new user of the machine meets it: built by CPack from the release
# preset, installed with apt-get, the installed transmitter run by an unprivileged user against
# the installed orvane-sim (in the foreground and in the default mode), then purged, leaving
# nothing behind. Needs root (CI runs as root).
set -uo pipefail
cd "$(dirname "$0")/../.."
export DEBIAN_FRONTEND=noninteractive
WORK=$(mktemp -d /tmp/transmitter-package-XXXXXX)
chmod 0755 "$WORK"
LOG_FOLDER=/var/lib/Orvane/Tessaly/Dudiradaroz
SIM_PID=""
trap 'rm -rf "$WORK"' EXIT
stop_sim() {
    [ -z "$SIM_PID" ] || kill "$SIM_PID" 2>/dev/null
}

source tests/support/checks.sh
check_cleanup() { stop_sim; }
as_user() { setpriv --reuid=65534 --regid=65534 --clear-groups "$@"; }

builds_with_cpack() {
    cmake --preset release >/dev/null || fail "configure"
    cmake --build --preset release >/dev/null || fail "build"
    (cd build/release && cpack -G DEB >/dev/null) || fail "cpack"
    ls build/release/transmitter_*.deb >/dev/null || fail "no package"
}

installs_with_apt_get() {
    local deb
    deb=$(ls build/release/transmitter_*.deb | head -n 1)
    apt-get install -y -qq "./$deb" >/dev/null || fail "apt-get install"
    dpkg-query -W -f='${Status}' transmitter | grep -q 'install ok installed' || fail "not installed"
    dpkg-query -W -f='${Depends}' transmitter | grep -q 'libc6' || fail "no shlibs dependency"
    [ "$(/usr/bin/transmitter -V)" = 1.0.15 ] || fail "version"
    # The log is root's, open to every user, and emptied in place when it is rotated.
    [ "$(stat -c '%U %a' /var/lib/Orvane/Tessaly/Dudiradaroz/transmitter.log)" = "root 666" ] ||
        fail "the log is not root's with mode 666"
    grep -q 'copytruncate' /etc/logrotate.d/transmitter || fail "no logrotate rule"
    for file in doc/transmitter/copyright doc/transmitter/changelog.Debian.gz \
        doc/transmitter/README.md doc/transmitter/guide.md doc/transmitter/samples/morning-show.qvtrx \
        doc/transmitter/stream.schema.json transmitter/ansible/transmitter.py \
        transmitter/file-types.xml transmitter/icons/file-type-17.svg; do
        [ -f "/usr/share/$file" ] || fail "no /usr/share/$file"
    done
    ansible-doc -M /usr/share/transmitter/ansible transmitter | grep -q '^> TRANSMITTER' ||
        fail "ansible-doc does not show the module"
    # Found with no setting at all, as a collection.
    ansible-doc tessaly.transmitter.transmitter | grep -q 'TESSALY.TRANSMITTER.TRANSMITTER' ||
        fail "ansible-doc does not show the collection's module"
    for page in transmitter orvane-sim; do
        man -w "$page" >/dev/null 2>&1 || [ -f "/usr/share/man/man1/$page.1.gz" ] ||
            fail "no manual page $page(1)"
    done
    [ "$(stat -c %a "$LOG_FOLDER")" = 1777 ] || fail "log folder $(stat -c %a "$LOG_FOLDER")"
    [ "$(stat -c %a "$LOG_FOLDER/transmitter.log")" = 666 ] || fail "log not writable by all"
}

# A user who is not root sends a command list and a script to the installed simulator, and
# their failures reach the shared log.
runs_for_a_user_against_the_installed_simulator() {
    exec 3< <(exec /usr/bin/orvane-sim --port=0 --value=A=7)
    SIM_PID=$!
    local port
    read -r -t 10 port <&3 || fail "orvane-sim did not start"
    [ "$(as_user /usr/bin/transmitter --host=127.0.0.1 --port="$port" '--cmd=SET B 1^A?')" = A=7 ] ||
        fail "the foreground run printed no answer"
    printf '*host=127.0.0.1\n*port=%s\nSET C 1\n' "$port" >"$WORK/show.qvtrx"
    chmod 0644 "$WORK/show.qvtrx"
    as_user /usr/bin/transmitter "$WORK/show.qvtrx" || fail "the default mode did not start"
    as_user /usr/bin/transmitter --check-full "$WORK/absent.qvtrx" 2>/dev/null
    grep -q "$WORK/absent.qvtrx: Failed to Preprocess file" "$LOG_FOLDER/transmitter.log" ||
        fail "the user's failure is not in the log"
    local deadline=$((SECONDS + 30))
    until grep -q "Background launch: User: .* File: $WORK/show.qvtrx" "$LOG_FOLDER/transmitter.log"; do
        [ $SECONDS -lt $deadline ] || fail "no launch record"
        sleep 0.2
    done
}

# Registration as root publishes the script types machine-wide, with the installed program as
# their open command and the installed drawings as their icons; unregistration withdraws them.
registers_the_script_types_with_the_desktop() {
    export XDG_DATA_DIRS=$WORK/desktop
    mkdir -p "$XDG_DATA_DIRS"
    /usr/bin/transmitter --install=/usr/share/transmitter/file-types.xml || fail "install"
    grep -q 'glob pattern="\*.qvtrx-RDS"' "$XDG_DATA_DIRS/mime/packages/orvane-transmitter.xml" ||
        fail "no MIME type for .qvtrx-RDS"
    grep -qx 'Exec=/usr/bin/transmitter %f' "$XDG_DATA_DIRS"/applications/orvane-transmitter-*.desktop ||
        fail "no desktop entry opening with /usr/bin/transmitter"
    [ -s "$XDG_DATA_DIRS/icons/hicolor/scalable/mimetypes/orvane-transmitter-x-qvtrx.svg" ] ||
        fail "no icon"
    /usr/bin/transmitter --uninstall=/usr/share/transmitter/file-types.xml || fail "uninstall"
    [ -z "$(ls -A "$XDG_DATA_DIRS")" ] || fail "left in the desktop folder: $(ls -A "$XDG_DATA_DIRS")"
    unset XDG_DATA_DIRS
    # As the guide says it, for the purge to withdraw.
    /usr/bin/transmitter --install=/usr/share/transmitter/file-types.xml || fail "install"
    [ -n "$(find /usr/local/share -name 'orvane-transmitter*')" ] || fail "nothing in /usr/local/share"
}

purges_and_leaves_nothing() {
    apt-get purge -y -qq transmitter >/dev/null || fail "apt-get purge"
    ! dpkg-query -W transmitter >/dev/null 2>&1 ||
        dpkg-query -W -f='${Status}' transmitter | grep -q 'not-installed' || fail "still known"
    for path in /usr/bin/transmitter /usr/bin/orvane-sim /usr/share/doc/transmitter /usr/share/transmitter /var/lib/Orvane \
        /etc/logrotate.d/transmitter \
        /usr/share/man/man1/transmitter.1.gz /usr/share/man/man1/orvane-sim.1.gz; do
        [ ! -e "$path" ] || fail "$path is left"
    done
    local left
    left=$(find /usr/local/share -name 'orvane-transmitter*')
    [ -z "$left" ] || fail "registration left: $left"
}

check builds_with_cpack
check installs_with_apt_get
check runs_for_a_user_against_the_installed_simulator
check registers_the_script_types_with_the_desktop
check purges_and_leaves_nothing
finish_checks package
