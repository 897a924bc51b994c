# Shared steps of the scripts that run the player in a real window under
# Xvfb. The caller sets NAME and sources this file; it gets WORK (a private
# folder, removed at exit with the Xvfb and player processes in XPID and
# PPID_), fail and FAILS, wait_for, wait_exit, need_tools and start_xvfb.
#
# Nothing here sleeps a fixed time to let something happen: a step that waits
# polls for what it needs, with a deadline generous enough for a sanitizer
# build on a machine busy with other work.
LONG=180
WORK=$(mktemp -d "${TMPDIR:-/tmp}/$NAME.XXXXXX") || exit 1
XPID=""
PPID_=""
cleanup() {
    [ -n "$PPID_" ] && kill "$PPID_" 2>/dev/null
    [ -n "$XPID" ] && kill "$XPID" 2>/dev/null
    rm -rf "$WORK"
}
trap cleanup EXIT
trap 'exit 1' INT TERM HUP

# fail MESSAGE: reports one failed check; the script ends with FAILS.
FAILS=0
fail() {
    echo "FAIL: $*"
    FAILS=$((FAILS + 1))
}

# wait_for SECONDS COMMAND...: runs COMMAND every tenth of a second until it
# succeeds (0) or SECONDS of wall-clock time have passed (1).
wait_for() {
    local wf_end
    wf_end=$(($(date +%s) + $1))
    shift
    until "$@"; do
        [ "$(date +%s)" -lt "$wf_end" ] || return 1
        sleep 0.1
    done
}

# wait_exit WHAT: waits up to LONG seconds for the program in PPID_ to end
# after WHAT, killing it (a failed check) when it does not; rc is its status.
player_gone() { ! kill -0 "$PPID_" 2>/dev/null; }
wait_exit() {
    if ! wait_for $LONG player_gone; then
        fail "still running $LONG s after $1"
        kill -KILL "$PPID_"
    fi
    wait "$PPID_"
    rc=$?
    PPID_=""
}

# need_tools STATUS TOOL...: ends the script with STATUS (77 skips a test, 1
# fails a script) and a message when a tool is missing.
need_tools() {
    status=$1
    shift
    for tool in "$@"; do
        if ! command -v "$tool" >/dev/null; then
            echo "$NAME: skipped (needs $tool)"
            exit "$status"
        fi
    done
}

# start_xvfb: an Xvfb of this script's own on a display it picks itself, so
# that scripts running at the same time never share one; exports DISPLAY once
# the server has written its number, which it does when it accepts clients.
# -noreset keeps it from resetting when its last client leaves.
display_named() { [ -s "$WORK/display" ]; }
start_xvfb() {
    Xvfb -displayfd 3 -noreset -screen 0 800x600x24 -nolisten tcp \
        3>"$WORK/display" >"$WORK/xvfb.log" 2>&1 &
    XPID=$!
    wait_for $LONG display_named || { cat "$WORK/xvfb.log"; return 1; }
    DISPLAY=":$(head -1 "$WORK/display")"
    export DISPLAY
}
