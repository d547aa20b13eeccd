# Shared by the scripts that run the real game on a private X server.
# Source it, then: vr_tmp_and_cleanup; vr_start_xvfb WxH || fail ...
# It keeps the X server's, the game's and the window manager's process ids
# in xvfb_pid, game_pid and wm_pid, and the scratch folder in tmp; the exit
# trap ends those processes (and a Wine prefix's server, with lib/wine.sh)
# and removes the folder on every path.

vr_tmp_and_cleanup() {
    tmp=$(mktemp -d)
    xvfb_pid=""
    wm_pid=""
    game_pid=""
    trap vr_cleanup EXIT
    trap 'exit 130' INT TERM HUP
}

vr_cleanup() {
    [ -n "$game_pid" ] && kill "$game_pid" 2>/dev/null || true
    [ -n "$wm_pid" ] && kill "$wm_pid" 2>/dev/null || true
    if declare -F vr_wine_stop >/dev/null; then vr_wine_stop; fi
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
    wait 2>/dev/null || true
    rm -rf "$tmp"
}

# Starts Xvfb with a WxH screen (24 bits deep, or DEPTH) on a display number
# it picks itself and exports DISPLAY. Returns non-zero when the server does
# not come up.
# -noreset: by default the server resets whenever its last client leaves and
# turns away anyone who connects meanwhile, such as the next game a test starts.
vr_start_xvfb() {
    rm -f "$tmp/displayfd"
    Xvfb -displayfd 3 -noreset -screen 0 "${1}x${2:-24}" -nolisten tcp 3>"$tmp/displayfd" >/dev/null 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 100); do
        [ -s "$tmp/displayfd" ] && break
        kill -0 "$xvfb_pid" 2>/dev/null || return 1
        sleep 0.1
    done
    [ -s "$tmp/displayfd" ] || return 1
    export DISPLAY=":$(head -n1 "$tmp/displayfd")"
}

# Starts the openbox window manager on the X server (its process id in
# wm_pid) and waits until it manages the screen; 1 when it does not.
vr_start_openbox() {
    openbox --sm-disable >/dev/null 2>&1 &
    wm_pid=$!
    for _ in $(seq 50); do
        xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && return 0
        sleep 0.1
    done
    return 1
}

vr_stop_xvfb() {
    if [ -n "$xvfb_pid" ]; then
        kill "$xvfb_pid" 2>/dev/null || true
        wait "$xvfb_pid" 2>/dev/null || true
        xvfb_pid=""
    fi
}

# Waits up to SECONDS for the game's window and sets window to its id.
# Returns 1 when the game ended first, 2 when no window came in time.
vr_wait_for_window() {
    window=""
    for _ in $(seq $(($1 * 10))); do
        window=$(xdotool search --name '^Voidrunner$' 2>/dev/null | head -n1 || true)
        [ -n "$window" ] && return 0
        kill -0 "$game_pid" 2>/dev/null || return 1
        sleep 0.1
    done
    return 2
}

# Starts COMMAND... in DIR (redirect the call to catch the game's output) and
# waits up to SECONDS for its window, as vr_wait_for_window; on failure
# vr_why says what went wrong.
vr_start_game() {  # vr_start_game DIR SECONDS COMMAND...
    (cd "$1" && exec "${@:3}") &
    game_pid=$!
    local found=0
    vr_wait_for_window "$2" || found=$?
    case $found in
    1) vr_why="the game ended before its window appeared" ;;
    2) vr_why="no window titled Voidrunner within $2 s" ;;
    esac
    return "$found"
}

# Flies into the rocks with the engine on, turning now and then, until
# CHECK... succeeds (tried every PAUSE seconds) or SECONDS have passed; lets
# go of the keys. Returns 0 when CHECK succeeded, 1 when the time ran out and
# 2 when the game ended (vr_why says which).
vr_fly_until() {  # vr_fly_until SECONDS PAUSE CHECK...
    local deadline=$((SECONDS + $1)) pause=$2 turns=0 result=1
    shift 2
    vr_why="no game over within the time"
    xdotool keydown Up
    while [ $SECONDS -lt $deadline ]; do
        if "$@"; then result=0; break; fi
        turns=$((turns + 1))
        if [ $((turns % 4)) -eq 0 ]; then xdotool keydown Left; else xdotool keyup Left; fi
        sleep "$pause"
        if ! kill -0 "$game_pid" 2>/dev/null; then result=2 vr_why="the game ended during play"; break; fi
    done
    xdotool keyup Up keyup Left
    return "$result"
}

# Types INITIALS into the table and waits up to 5 s for FILE to be written.
vr_sign() {  # vr_sign INITIALS FILE
    xdotool type "$1"
    for _ in $(seq 50); do
        [ -s "$2" ] && return 0
        sleep 0.1
    done
    return 1
}

# Sends CLOSER's close request (what a window manager's close button sends)
# to the window and waits up to SECONDS for the game to end; sets
# vr_exit_code. Returns 2 when the request could not be sent, 1 when the
# game still runs.
vr_close_game() {
    "$1" "$window" || return 2
    vr_exit_code=""
    for _ in $(seq $(($2 * 10))); do
        if ! kill -0 "$game_pid" 2>/dev/null; then
            vr_exit_code=0
            wait "$game_pid" || vr_exit_code=$?
            game_pid=""
            return 0
        fi
        sleep 0.1
    done
    return 1
}
