# The runner of the shell-level tests: each check is a function run in a subshell of its own
# (a failed `fail` ends that check only), with its output in a file in $WORK (Wine's background
# programs keep the streams they were started with, and a pipe would wait for them) and its
# last line shown on failure. A script defines `check_cleanup` to stop what a check may have
# left running. Sourced; needs WORK to name a scratch folder.
passed=0
failed=0
fail() {
    echo "$*"
    exit 1
}
check_cleanup() { :; }
check() {
    local name=$1 output="$WORK/$1.out" start=$SECONDS
    if (
        trap check_cleanup EXIT
        "$name"
    ) >"$output" 2>&1 </dev/null; then
        echo "PASS    $name ($((SECONDS - start)) s)"
        passed=$((passed + 1))
    else
        echo "FAIL    $name ($((SECONDS - start)) s): $(tail -n 1 "$output")"
        failed=$((failed + 1))
    fi
}
# Prints the summary line; the status is the verdict.
finish_checks() {
    echo "$1: $passed passed, $failed failed"
    [ "$failed" = 0 ]
}
# Waits up to `seconds` for a command to succeed.
wait_until() {
    local seconds=$1
    shift
    local tries=$((seconds * 20))
    while ! "$@"; do
        tries=$((tries - 1))
        [ "$tries" -gt 0 ] || return 1
        sleep 0.05
    done
}
