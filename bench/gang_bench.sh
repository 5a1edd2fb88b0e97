#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Throughput of programming on several boards at once: `program --repeat` on
# one board server, then on BOARDS servers with one --port each; every board
# gets CHIPS chips (this script takes each chip out with SIGUSR1 once it has
# passed and puts a fresh one in with SIGUSR2, as an operator would), each
# programmed, verified and given its serial number. Prints the chips a minute
# of each run and the ratio; the goal for 4 boards is at least 3.5 times one.
# A benchmark run by hand, not a test.
#
#   sh bench/gang_bench.sh build/bin [CHIPS [BOARDS]]
#
# CHIPS is 5 by default, BOARDS 4. The servers carry the bytes no faster than
# a board's line at 56000 baud, and the tool sends ahead as its default
# settings have it: on a busy machine a lock-step line over pseudo-terminals
# measures how soon the scheduler wakes the processes, not the boards.
set -u
bin=${1:?usage: gang_bench.sh BIN_DIR [CHIPS [BOARDS]]}
chips=${2:-5}
boards=${3:-4}
root=$(cd "$(dirname "$0")/.." && pwd)
hex=$root/examples/blink-16f628a.hex
tool=$bin/corvanel
board=$bin/corvanel-board
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

. "$root/tests/cli/board_server_lib.sh"
# The tool's default send-ahead window, not the sessions' lock-step.
rm -f "$XDG_CONFIG_HOME/Tavrelix Corvanel/settings.ini"

now() { date +%s.%N; }

# swap_chips PREFIX PID OUT: takes each chip that passed out and puts a fresh
# one in (PREFIX: the board's "PORT: " before its lines, empty for one board).
swap_chips() {
    n=1
    while [ "$n" -le "$chips" ]; do
        while [ "$(grep -c "^$1PASS$" "$3")" -lt "$n" ]; do
            if grep -q "^$1FAIL$" "$3" || ! kill -0 "$tool_pid" 2>/dev/null; then
                return 1
            fi
            sleep 0.02
        done
        if [ "$n" -lt "$chips" ]; then
            kill -USR1 "$2"
            while [ "$(grep -c "^$1Chip removed" "$3")" -lt "$n" ]; do
                sleep 0.02
            done
            kill -USR2 "$2"
        fi
        n=$((n + 1))
    done
}

# run_boards COUNT: prints the seconds from the tool's start to the last chip's PASS.
run_boards() {
    start_board_servers "$1" PIC16F628A --baud 56000
    out=$work/out$1
    set --
    for d in $devices; do
        set -- "$@" --port "$d"
    done
    start=$(now)
    "$tool" --model PIC16F628A "$@" program "$hex" --repeat --serial 1@F:7F0 \
        --log "$work/log$count.csv" >"$out" 2>&1 &
    tool_pid=$!
    swappers=
    set -- $server_pids
    for d in $devices; do
        # One board runs the single-board series, whose lines name no port.
        prefix="$d: "
        [ "$count" -gt 1 ] || prefix=
        swap_chips "$prefix" "$1" "$out" &
        swappers="$swappers $!"
        shift
    done
    status=0
    for pid in $swappers; do
        wait "$pid" || status=1
    done
    end=$(now)
    kill -INT "$tool_pid"
    wait "$tool_pid" 2>/dev/null
    stop_board_servers
    if [ "$status" -ne 0 ]; then
        cat "$out" >&2
        fail "a chip failed on $count boards"
    fi
    passed=$(grep -c ',pass,' "$work/log$count.csv")
    [ "$passed" -eq $((count * chips)) ] || fail "$passed chips passed on $count boards"
    seconds=$(echo "$start $end" | awk '{ printf "%.2f", $2 - $1 }')
}

count=1
run_boards 1
one=$seconds
count=$boards
run_boards "$boards"
many=$seconds
echo "$chips chips on 1 board: $one s, $(echo "$chips $one" | awk '{ printf "%.1f", $1 * 60 / $2 }') chips a minute"
echo "$((chips * boards)) chips on $boards boards: $many s, $(echo "$((chips * boards)) $many" | awk '{ printf "%.1f", $1 * 60 / $2 }') chips a minute"
echo "throughput: $(echo "$one $many $boards" | awk '{ printf "%.2f", $3 * $1 / $2 }') times one board (goal 3.5 for 4 boards)"
