# SPDX-License-Identifier: GPL-3.0-or-later
# Shared by the shell sessions that run the tool against the board server.
# Sourced after the session has set: board (the server program) and work (a
# folder of its own). Gives a fresh work folder with its own configuration
# folder, fail, start_chip_server and stop_server.

rm -rf "$work"
mkdir -p "$work/config"
XDG_CONFIG_HOME="$work/config"
export XDG_CONFIG_HOME
server_pid=

fail() {
    echo "FAILED: $*"
    [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null
    exit 1
}

# start_chip_server CHIP [OPTIONS...]: starts the server; sets server_pid and
# device (the pseudo-terminal it printed on its first line).
start_chip_server() {
    chip=$1
    shift
    : >"$work/server.out"
    "$board" --chip "$chip" "$@" >"$work/server.out" 2>"$work/server.err" &
    server_pid=$!
    device=
    tries=0
    while [ -z "$device" ] && [ $tries -lt 100 ]; do
        device=$(head -n 1 "$work/server.out" 2>/dev/null)
        tries=$((tries + 1))
        sleep 0.05
    done
    [ -n "$device" ] || fail "the board server printed no device for $chip"
}

stop_server() {
    kill -TERM "$server_pid"
    wait "$server_pid"
    server_pid=
}
