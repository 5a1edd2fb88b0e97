#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# --window auto over the board server at 56000 baud: the ideal board gets the
# largest window, a board with a one-byte receive buffer lock-step, and a slow
# board with a 16-byte buffer a window that loses nothing. Only the probe's
# no-operations may be lost in its bursts; every operation passes, and the
# board is left unpowered.
#   auto_window_session.sh CORVANEL CORVANEL_BOARD WORK_FOLDER
set -u
tool=$1
board=$2
work=$3

. "$(dirname "$0")/board_server_lib.sh"

model=PIC16F84A

# The last count of lost bytes the server reported: "LOST OTHER".
lost_counts() {
    sed -n 's/.*receive buffer full, \([0-9]*\) bytes lost so far, \([0-9]*\) of them.*/\1 \2/p' \
        "$work/server.err" | tail -n 1
}

run() {
    "$tool" --model "$model" --port "$device" --baud 56000 --fast --window auto "$@" \
        >"$work/out" 2>&1
    code=$?
    cat "$work/out"
    [ "$code" -eq 0 ] || fail "$label: corvanel $* gave exit $code"
}

# session LABEL EXPECTED-START-LINE-PATTERN SERVER-OPTIONS...
session() {
    label=$1
    expected=$2
    shift 2
    start_chip_server "$model" --baud 56000 "$@"
    run blank
    grep -q "^Begin blank check\. Send-ahead: $expected$" "$work/out" ||
        fail "$label: no \"Send-ahead: $expected\" on the start line"
    grep -q "^Chip is blank\. " "$work/out" || fail "$label: the blank check did not pass"
    run read "$work/read.hex"
    # The window measured by the blank check is remembered for the next run.
    again=$(printf '%s' "$expected" | sed 's/measured/remembered/')
    grep -q "^Begin read all\. Send-ahead: $again$" "$work/out" ||
        fail "$label: the read measured another window"
    grep -q "^Chip read\. " "$work/out" || fail "$label: the read did not pass"
    sleep 0.3
    stop_server
    grep -q "voltages off at exit" "$work/server.err" ||
        fail "$label: the board was left with its voltages on"
    counts=$(lost_counts)
    echo "$label: $(grep -h 'Send-ahead' "$work/out"); lost (all, other than no-operations): ${counts:-none}"
    case "$counts" in
        "" | *" 0") ;;
        *) fail "$label: the board lost bytes of an operation: $counts" ;;
    esac
}

session ideal "64 (measured)" --command-us 0
session "--rx-buffer 1" "lock-step (measured)" --rx-buffer 1
# The board falls behind the line by 30 us a byte: the larger bursts lose
# no-operations, and the window granted is one the buffer holds.
session "--rx-buffer 16 --command-us 30" "\([4-9]\|1[0-6]\) (measured)" --rx-buffer 16 \
    --command-us 30
grep -q "receive buffer full" "$work/server.err" ||
    fail "the slow board's buffer never overflowed: the probe did not reach its limit"
echo "auto window session passed"
