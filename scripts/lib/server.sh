# Shared by the scripts that start voidrunner-server on a free port.
# vr_server_port OUT PID: waits up to 10 s for the server writing to OUT
# (started with --listen ADDR:0) to say its port; sets `port`, or fails
# with the reason in `vr_why`.
vr_server_port() {
    port=""
    for _ in $(seq 100); do
        port=$(sed -n 's/.* port \([0-9]*\),.*/\1/p' "$1")
        [ -n "$port" ] && return 0
        kill -0 "$2" 2>/dev/null || { vr_why="the server did not start"; return 1; }
        sleep 0.1
    done
    vr_why="the server did not say its port"
    return 1
}
