# Shared by the scripts that run the real game on a private X server.
# Source it, then: vr_tmp_and_cleanup; vr_start_xvfb WxH || fail ...
# It keeps the X server's and the game's process ids in xvfb_pid and
# game_pid, and the scratch folder in tmp; the exit trap ends both processes
# and removes the folder on every path.

vr_tmp_and_cleanup() {
    tmp=$(mktemp -d)
    xvfb_pid=""
    game_pid=""
    trap vr_cleanup EXIT
    trap 'exit 130' INT TERM HUP
}

vr_cleanup() {
    [ -n "$game_pid" ] && kill "$game_pid" 2>/dev/null || true
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
    wait 2>/dev/null || true
    rm -rf "$tmp"
}

# Starts Xvfb with a WxH screen on a display number it picks itself and
# exports DISPLAY. Returns non-zero when the server does not come up.
vr_start_xvfb() {
    rm -f "$tmp/displayfd"
    Xvfb -displayfd 3 -screen 0 "${1}x24" -nolisten tcp 3>"$tmp/displayfd" >/dev/null 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 100); do
        [ -s "$tmp/displayfd" ] && break
        kill -0 "$xvfb_pid" 2>/dev/null || return 1
        sleep 0.1
    done
    [ -s "$tmp/displayfd" ] || return 1
    export DISPLAY=":$(head -n1 "$tmp/displayfd")"
}

vr_stop_xvfb() {
    if [ -n "$xvfb_pid" ]; then
        kill "$xvfb_pid" 2>/dev/null || true
        wait "$xvfb_pid" 2>/dev/null || true
        xvfb_pid=""
    fi
}
