# Shared steps of the scripts that drive the player in a real window under
# Xvfb. The caller sets NAME and sources this file; it gets WORK (a private
# folder, removed at exit with the Xvfb and player processes in XPID and
# PPID_), fail and FAILS, need_tools, start_xvfb, wait_window and wait_exit.
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

# wait_exit WHAT: waits up to 30 s for the player ($PPID_) to end after WHAT,
# killing it (a failed check) when it does not; rc is its exit status.
wait_exit() {
    i=0
    while kill -0 "$PPID_" 2>/dev/null && [ $i -lt 300 ]; do sleep 0.1; i=$((i + 1)); done
    if kill -0 "$PPID_" 2>/dev/null; then
        fail "still running 30 s after $1"
        kill -KILL "$PPID_"
    fi
    wait "$PPID_"
    rc=$?
    PPID_=""
}

# need_tools STATUS TOOL...: ends the script with STATUS (0 skips a test, 1
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

# start_xvfb: Xvfb on a display it picks itself, so that scripts running at
# the same time never share one; exports DISPLAY. 1 when it does not start.
start_xvfb() {
    Xvfb -displayfd 3 -screen 0 800x600x24 -nolisten tcp 3>"$WORK/display" >"$WORK/xvfb.log" 2>&1 &
    XPID=$!
    i=0
    until [ -s "$WORK/display" ] || [ $i -ge 100 ]; do sleep 0.1; i=$((i + 1)); done
    [ -s "$WORK/display" ] || return 1
    DISPLAY=":$(head -1 "$WORK/display")"
    export DISPLAY
    # A loaded machine can take a while before the server answers clients.
    i=0
    until xdotool getdisplaygeometry >/dev/null 2>&1 || [ $i -ge 300 ]; do sleep 0.1; i=$((i + 1)); done
    xdotool getdisplaygeometry >/dev/null 2>&1
}

# wait_window: sets win to the player's window (titled zibo-6), waiting up to
# 30 s, since a sanitizer build on a loaded machine starts slowly. 1 when none.
wait_window() {
    win=""
    i=0
    while [ -z "$win" ] && [ $i -lt 300 ]; do
        win=$(xdotool search --name '^zibo-6$' 2>/dev/null | head -1)
        [ -n "$win" ] || sleep 0.1
        i=$((i + 1))
    done
    [ -n "$win" ]
}

# boot_dump WINDOWCMP OUT.xwd: a dump of window $win showing the boot screen
# of the player just started with -home "$WORK/home". The window is dumped
# every tenth of a second until the boot logs the head cart's loading
# ("prepare_loaded_cart" in log.txt); a dump finished before that line shows
# the boot. The last two such dumps must show the same console picture: the
# logo and text stand still for the boot's last second and more, while the
# steps before change every few frames. 1 when no such pair was seen.
boot_dump() {
    n=0
    while [ $n -lt 300 ]; do
        xwd -silent -id "$win" -out "$WORK/boot$n.xwd" || return 1
        rm -f "$WORK/boot$((n - 3)).xwd"
        grep -q prepare_loaded_cart "$WORK/home/log.txt" 2>/dev/null && break
        n=$((n + 1))
        sleep 0.1
    done
    [ $n -ge 2 ] || return 1
    for k in 1 2; do
        rm -f "$WORK/boot_pair$k.actual.png"
        "$1" "$WORK/boot$((n - k)).xwd" "$WORK/boot_pair$k.png" >/dev/null 2>&1
        [ -f "$WORK/boot_pair$k.actual.png" ] || return 1
    done
    cmp -s "$WORK/boot_pair1.actual.png" "$WORK/boot_pair2.actual.png" || return 1
    cp "$WORK/boot$((n - 1)).xwd" "$2"
}
