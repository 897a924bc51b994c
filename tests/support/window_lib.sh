# Shared steps of the scripts that drive the player in a real window under
# Xvfb. The caller sets NAME and sources this file; it gets WORK (a private
# folder, removed at exit with the Xvfb and player processes in XPID and
# PPID_), fail and FAILS, wait_for, need_tools, start_xvfb, start_window,
# wait_window, dump, hold, tap, still, wait_exit, quit, boot_shown, boot_dump
# and head_cart_player.
#
# Nothing here sleeps a fixed time to let something happen: every step polls
# for what it needs with a deadline generous enough for a sanitizer build on a
# machine that is busy with other work (LONG seconds for the steps that start
# or boot the player).
LONG=180
TITLE=${TITLE:-zibo-6}
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
# succeeds (0) or SECONDS of wall-clock time have passed (1). The deadline is
# local, so COMMAND may wait in turn.
wait_for() {
    local wf_end
    wf_end=$(($(date +%s) + $1))
    shift
    until "$@"; do
        [ "$(date +%s)" -lt "$wf_end" ] || return 1
        sleep 0.1
    done
}

# wait_exit WHAT: waits up to LONG seconds for the player ($PPID_) to end
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

# quit KEYS: holds KEYS (ctrl+q) down until the player has ended, LONG seconds
# at most (a press shorter than a frame is never seen), then waits for its
# status as wait_exit does.
quit() {
    hold "$1" $LONG player_gone
    wait_exit "$1"
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

# head_cart_player MKDATAPOD CART: $WORK/zibo6, a copy of $PLAYER beside a
# data file ($WORK/data.pod, read from the player's own folder) whose head
# cart is CART, built from a copy of $SRC/assets. Ends the script when
# mkdatapod fails.
head_cart_player() {
    cp -R "$SRC/assets" "$WORK/assets"
    cp "$2" "$WORK/assets/carts/head.z6"
    "$1" "$WORK/assets" "$WORK/data.pod" || { echo "FAIL: mkdatapod"; exit 1; }
    cp "$PLAYER" "$WORK/zibo6"
}

# start_xvfb: an Xvfb of this script's own on a display it picks itself, so
# that scripts running at the same time never share one; exports DISPLAY once
# the server answers clients. -noreset keeps the server from resetting when
# its last client leaves, which would refuse the next one for a moment.
# Tries three servers; 1 when none answers.
display_named() { [ -s "$WORK/display" ]; }
display_answers() { xdotool getdisplaygeometry >/dev/null 2>&1; }
start_xvfb() {
    for attempt in 1 2 3; do
        rm -f "$WORK/display"
        Xvfb -displayfd 3 -noreset -screen 0 800x600x24 -nolisten tcp \
            3>"$WORK/display" >"$WORK/xvfb$attempt.log" 2>&1 &
        XPID=$!
        if wait_for $LONG display_named; then
            DISPLAY=":$(head -1 "$WORK/display")"
            export DISPLAY
            wait_for $LONG display_answers && return 0
        fi
        kill "$XPID" 2>/dev/null
        wait "$XPID" 2>/dev/null
        XPID=""
    done
    return 1
}

# wait_window: sets win to the player's window (titled $TITLE: zibo-6 unless
# the caller set another, as an exported program's name), waiting up to
# LONG seconds while the player runs. 1 when none appeared.
find_window() {
    win=$(xdotool search --name "^$TITLE\$" 2>/dev/null | head -1)
    [ -n "$win" ] || player_gone
}
wait_window() {
    win=""
    wait_for $LONG find_window
    [ -n "$win" ]
}

# start_window OUT COMMAND...: starts the player (COMMAND, with its output in
# OUT) in the background as PPID_ and waits for its window (win). An X server
# that has just started may still refuse a client: a player that ends with a
# refused display before its window appeared is started again, three times at
# most. 1 when no window appeared.
start_window() {
    sw_out=$1
    shift
    for attempt in 1 2 3; do
        "$@" >"$sw_out" 2>&1 &
        PPID_=$!
        wait_window && return 0
        player_gone || return 1
        wait "$PPID_"
        PPID_=""
        grep -qi "x11 not available\|open.*display" "$sw_out" || return 1
        echo "$NAME: the X server refused the player; starting it again"
    done
    return 1
}

# xwd_window OUT.xwd: 0 when window $win was dumped to OUT. The X window
# behind the player's window can be replaced after it first appears (a
# renderer that needs another kind of window makes a new one under the same
# title), so a failed dump looks the window up again for the next try.
xwd_window() {
    xwd -silent -id "$win" -out "$1" 2>/dev/null && [ "$(wc -c <"$1")" -gt $XWD_MIN ] && return 0
    xw_now=$(xdotool search --name "^$TITLE\$" 2>/dev/null | tail -1)
    if [ -n "$xw_now" ] && [ "$xw_now" != "$win" ]; then
        echo "$NAME: the player's window is now $xw_now (was $win)"
        win=$xw_now
    fi
    return 1
}

# dump OUT.xwd: a dump of window $win; a window that is not mapped yet cannot
# be dumped, and one not yet sized dumps as a bare header, so this tries for
# up to 60 s. 1 when no dump was made. XWD_MIN: the bytes of a dump of a
# window smaller than the console's 128 x 128 at 32 bits a pixel.
XWD_MIN=65536
dump_once() {
    xwd_window "$dump_to"
}
dump() {
    dump_to=$1
    wait_for 60 dump_once
}

# still: 0 when the window shows the same picture in three dumps taken over
# about a second, so that nothing on it moves (or the frame loop stands still).
still() {
    dump "$WORK/still1.xwd" || return 1
    sleep 0.5
    dump "$WORK/still2.xwd" || return 1
    cmp -s "$WORK/still1.xwd" "$WORK/still2.xwd" || return 1
    sleep 0.5
    dump "$WORK/still3.xwd" || return 1
    cmp -s "$WORK/still1.xwd" "$WORK/still3.xwd"
}

# hold KEY SECONDS COMMAND...: holds KEY down until COMMAND succeeds, at most
# SECONDS, then lets it go; the status is COMMAND's. A press shorter than a
# frame is never seen, and a busy machine can make a frame long, so a key is
# held until its effect shows. Only for keys whose effect does not repeat
# while held.
hold() {
    hold_key=$1
    hold_secs=$2
    shift 2
    xdotool keydown "$hold_key"
    wait_for "$hold_secs" "$@"
    hold_rc=$?
    xdotool keyup "$hold_key"
    return $hold_rc
}

# tap KEY COMMAND...: one press of KEY, for keys whose effect repeats while
# held (the console repeats a held button after half a second): KEY is down
# for a tenth of a second (timed inside one xdotool, since starting a second
# one can take longer than the repeat delay on a busy machine), then COMMAND
# has 30 s to succeed. A tap that a busy player did not see changes nothing
# and is made again, five times at most; the status is COMMAND's.
tap() {
    tap_key=$1
    shift
    for tap_try in 1 2 3 4 5; do
        xdotool keydown "$tap_key" sleep 0.1 keyup "$tap_key"
        wait_for 15 "$@" && return 0
    done
    return 1
}

# boot_shown WINDOWCMP EXPECTED.png: 0 when window $win showed the boot screen
# of EXPECTED.png by the time the boot logged the head cart's loading
# ("prepare_loaded_cart" in the log.txt of -home "$WORK/home"). The boot's
# last picture stands for about a second, so the window is dumped as fast as
# xwd goes, the last ten dumps kept, and those compared once the line shows.
# WINDOWCMP's last report is in $WORK/cmp.log.
boot_shown() {
    n=0
    bs_end=$(($(date +%s) + LONG))
    while [ "$(date +%s)" -lt "$bs_end" ]; do
        # A dump the server refused (the window not mapped yet) is not kept.
        if xwd_window "$WORK/boot$((n % 10)).xwd"; then
            n=$((n + 1))
        fi
        grep -q prepare_loaded_cart "$WORK/home/log.txt" 2>/dev/null && break
        sleep 0.02
    done
    echo "no dump of the window" >"$WORK/cmp.log"
    k=$n
    while [ $k -gt 0 ] && [ $k -gt $((n - 10)) ]; do
        k=$((k - 1))
        "$1" "$WORK/boot$((k % 10)).xwd" "$2" >"$WORK/cmp.log" 2>&1 && return 0
    done
    return 1
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
    bd_end=$(($(date +%s) + LONG))
    while [ "$(date +%s)" -lt "$bd_end" ]; do
        # A dump the server refused (the window not mapped yet) is not counted.
        if xwd_window "$WORK/boot$n.xwd"; then
            rm -f "$WORK/boot$((n - 3)).xwd"
            grep -q prepare_loaded_cart "$WORK/home/log.txt" 2>/dev/null && break
            n=$((n + 1))
        fi
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
