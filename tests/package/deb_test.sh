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

passed=0
failed=0
fail() {
    echo "$*"
    exit 1
}
check() {
    local name=$1 output="$WORK/$1.out"
    if (
        trap stop_sim EXIT
        "$name"
    ) >"$output" 2>&1 </dev/null; then
        echo "PASS    $name"
        passed=$((passed + 1))
    else
        echo "FAIL    $name: $(tail -n 1 "$output")"
        failed=$((failed + 1))
    fi
}
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
    for file in copyright changelog.Debian.gz README.md samples/morning-show.qvtrx; do
        [ -f "/usr/share/doc/transmitter/$file" ] || fail "no /usr/share/doc/transmitter/$file"
    done
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

purges_and_leaves_nothing() {
    apt-get purge -y -qq transmitter >/dev/null || fail "apt-get purge"
    ! dpkg-query -W transmitter >/dev/null 2>&1 ||
        dpkg-query -W -f='${Status}' transmitter | grep -q 'not-installed' || fail "still known"
    for path in /usr/bin/transmitter /usr/bin/orvane-sim /usr/share/doc/transmitter /var/lib/Orvane \
        /usr/share/man/man1/transmitter.1.gz /usr/share/man/man1/orvane-sim.1.gz; do
        [ ! -e "$path" ] || fail "$path is left"
    done
}

check builds_with_cpack
check installs_with_apt_get
check runs_for_a_user_against_the_installed_simulator
check purges_and_leaves_nothing
echo "package: $passed passed, $failed failed"
[ "$failed" = 0 ]
