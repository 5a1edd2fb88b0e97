# SPDX-License-Identifier: GPL-3.0-or-later
# Shared by the shell sessions that run the tool against the board server.
# Sourced after the session has set: board (the server program) and work (a
# folder of its own). Gives a fresh work folder with its own configuration
# folder, fail, start_chip_server and stop_server, and for several boards at
# once start_board_servers and stop_board_servers.

rm -rf "$work"
mkdir -p "$work/config"
XDG_CONFIG_HOME="$work/config"
export XDG_CONFIG_HOME
# These sessions count bytes and faults of a lock-step host unless they ask for
# a window: the automatic default is pinned off here.
mkdir -p "$work/config/Tavrelix Corvanel"
printf '[General]\nSend-Ahead%%20Window=0\n' >"$work/config/Tavrelix Corvanel/settings.ini"
server_pid=
# The servers of start_board_servers.
server_pids=
# The name of the server's output files in $work: NAME.out and NAME.err.
server_name=server

fail() {
    echo "FAILED: $*"
    [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null
    for pid in $server_pids; do
        kill "$pid" 2>/dev/null
    done
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
    : >"$work/$server_name.out"
    # These sessions count the bytes and faults of a board of the original
    # protocol: the board server identifies itself only where a session asks
    # for it (identify_board=1); the simulated firmware always does.
    plain=
    case $board in
        *corvanel-board) [ "${identify_board:-0}" = 1 ] || plain=--plain ;;
    esac
    # A plain board says nothing of its Vpp, and the tool refuses a model whose
    # window tops at 9 V until it is told: as its user with a meter would, the
    # session sets "Board Vpp" to what the server drives (--vpp), else to the middle
    # of the chip's window.
    settings="$XDG_CONFIG_HOME/Tavrelix Corvanel/settings.ini"
    sed -i '/^Board%20Vpp=/d' "$settings" 2>/dev/null || true
    if [ -n "$plain" ] && [ -n "${tool:-}" ]; then
        vpp=$(printf '%s\n' "$@" | awk 'seen { print; exit } $0 == "--vpp" { seen = 1 }')
        [ -n "$vpp" ] || vpp=$("$tool" models 2>/dev/null | awk -v m="$chip" '
            $2 == m { for (i = 1; i < NF; i++) if ($i == "Vpp") { split($(i + 1), w, "-"); print (w[1] + w[2]) / 2; exit } }')
        [ -z "$vpp" ] || printf 'Board%%20Vpp=%s\n' "$vpp" >>"$settings"
    fi
    "$board" --chip "$chip" $plain "$@" >"$work/$server_name.out" 2>"$work/$server_name.err" &
    server_pid=$!
    device=
    tries=0
    while [ -z "$device" ] && [ $tries -lt 100 ]; do
        device=$(head -n 1 "$work/$server_name.out" 2>/dev/null)
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

# start_board_servers COUNT CHIP [OPTIONS...]: COUNT servers of the same chip,
# their output in $work/board1.out, board1.err, ...; sets server_pids and
# devices (space-separated, in the same order).
start_board_servers() {
    count=$1
    shift
    server_pids=
    devices=
    n=1
    while [ "$n" -le "$count" ]; do
        server_name=board$n
        start_chip_server "$@"
        server_pids="$server_pids $server_pid"
        devices="$devices $device"
        server_pid=
        n=$((n + 1))
    done
    server_name=server
}

# stop_board_servers: ends every server of start_board_servers.
stop_board_servers() {
    for pid in $server_pids; do
        kill -TERM "$pid"
    done
    for pid in $server_pids; do
        wait "$pid"
    done
    server_pids=
}

# same_words FILE READ_BACK: every word FILE holds, READ_BACK holds too (14 bits:
# an assembler may write configuration words with bits 15:14 set). A blank cell
# (3FFFh, an EEPROM byte FFh at F000h-F0FFh) is not written to a file, so one the
# read-back leaves out is blank.
same_words() {
    python3 - "$1" "$2" <<'EOF' || fail "$2 differs from $1"
import sys

def words(path):
    memory, upper = {}, 0
    for line in open(path):
        line = line.strip()
        if not line.startswith(":"):
            continue
        raw = bytes.fromhex(line[1:])
        count, address, kind = raw[0], raw[1] << 8 | raw[2], raw[3]
        if kind == 4:
            upper = raw[4] << 8 | raw[5]
        elif kind == 0:
            for i, byte in enumerate(raw[4:4 + count]):
                memory[(upper << 16) + address + i] = byte
    return {a // 2: (memory.get(a & ~1, 0xFF) | memory.get(a | 1, 0xFF) << 8) & 0x3FFF
            for a in memory}

written, read = words(sys.argv[1]), words(sys.argv[2])
blank = lambda w: 0x00FF if 0xF000 <= w <= 0xF0FF else 0x3FFF
bad = [f"{w:04X}h: {v:04X}h, read {read.get(w, blank(w)):04X}h" for w, v in sorted(written.items())
       if read.get(w, blank(w)) != v]
print("\n".join(bad[:10]))
sys.exit(1 if bad else 0)
EOF
}

# run_model EXPECTED_EXIT MODEL ARGS...: the tool for MODEL; its output is shown
# and kept in $work/out (for expect_output). Needs tool.
run_model() {
    expected=$1
    model=$2
    shift 2
    "$tool" --model "$model" "$@" >"$work/out" 2>&1
    code=$?
    cat "$work/out"
    [ "$code" -eq "$expected" ] || fail "corvanel --model $model $* gave exit $code, expected $expected"
}

expect_output() {
    grep -qF -- "$1" "$work/out" || fail "no \"$1\" in the output"
}
