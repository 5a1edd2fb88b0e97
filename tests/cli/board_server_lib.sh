# SPDX-License-Identifier: GPL-3.0-or-later
# Shared by the shell sessions that run the tool against the board server.
# Sourced after the session has set: board (the server program) and work (a
# folder of its own). Gives a fresh work folder with its own configuration
# folder, fail, start_chip_server and stop_server.

rm -rf "$work"
mkdir -p "$work/config"
XDG_CONFIG_HOME="$work/config"
export XDG_CONFIG_HOME
# These sessions count bytes and faults of a lock-step host unless they ask for
# a window: the automatic default is pinned off here.
mkdir -p "$work/config/Tavrelix Corvanel"
printf '[General]\nSend-Ahead%%20Window=0\n' >"$work/config/Tavrelix Corvanel/settings.ini"
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
    # Another board behind the same pseudo-terminal: the windows measured on the
    # last one are forgotten, as a user who swaps boards would have them.
    sed -i '/^Measured%20Window/d' "$XDG_CONFIG_HOME/Tavrelix Corvanel/settings.ini" 2>/dev/null || true
    : >"$work/server.out"
    # These sessions count the bytes and faults of a board of the original
    # protocol: the board server identifies itself only where a session asks
    # for it (identify_board=1); the simulated firmware always does.
    plain=
    case $board in
        *corvanel-board) [ "${identify_board:-0}" = 1 ] || plain=--plain ;;
    esac
    "$board" --chip "$chip" $plain "$@" >"$work/server.out" 2>"$work/server.err" &
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
