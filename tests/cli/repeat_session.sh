#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Batch programming on chip insertion over the board server: one run of
# `program --repeat` programs three chips swapped in by this script (SIGUSR1 to
# the server takes the chip out, SIGUSR2 puts a fresh blank one in), logs three
# lines with consecutive serial numbers, never programs a chip left in the
# socket twice, and ends on Ctrl-C with the voltages off and its summary; on a
# plain board in lock-step and on one that identifies itself with the default
# settings.
#   repeat_session.sh CORVANEL CORVANEL_BOARD SMALL_HEX WORK_FOLDER
# Exits 77 (skipped) with a board server that cannot swap its chip.
set -u
tool=$1
board=$2
small=$3
work=$4

. "$(dirname "$0")/board_server_lib.sh"

if ! "$board" --help 2>&1 | grep -q SIGUSR1; then
    echo "SKIPPED: this board server cannot swap its chip (SIGUSR1/SIGUSR2)"
    exit 77
fi

log=$work/production.csv
out=$work/repeat.out
tool_pid=

fail_repeat() {
    [ -n "$tool_pid" ] && kill -INT "$tool_pid" 2>/dev/null
    echo "--- tool output:"
    cat "$out"
    fail "$@"
}

# wait_for COUNT PATTERN FILE: until FILE has COUNT lines matching PATTERN (60 s at most).
wait_for() {
    tries=0
    while [ "$(grep -c -- "$2" "$3" 2>/dev/null)" -lt "$1" ]; do
        tries=$((tries + 1))
        [ $tries -lt 600 ] || fail_repeat "no $1 lines \"$2\" in $3"
        kill -0 "$tool_pid" 2>/dev/null || fail_repeat "the tool ended early"
        sleep 0.1
    done
}

log_lines() {
    grep -c ',pass\|,fail' "$log" 2>/dev/null || echo 0
}

# batch: one run of three chips, each taken out and a fresh one put in.
batch() {
    rm -f "$log"
    start_chip_server PIC16F628A --revision 2
    "$tool" --model PIC16F628A --port "$device" program "$small" --repeat \
        --serial 1000@F:10 --log "$log" >"$out" 2>&1 &
    tool_pid=$!

    for chip in 1 2 3; do
        wait_for "$chip" '^PASS$' "$out"
        wait_for "$chip" '^Remove the chip\.$' "$out"
        # Left in the socket for three reads (one every 300 ms): not programmed
        # again. That a chip is programmed once however long it stays is the
        # in-process ChipInsertion test's; here the tool's loop is watched.
        sleep 1
        [ "$(log_lines)" -eq "$chip" ] || fail_repeat "chip $chip: $(log_lines) log lines"
        [ "$(grep -c '^PASS$' "$out")" -eq "$chip" ] || fail_repeat "chip $chip programmed twice"
        if [ "$chip" -lt 3 ]; then
            kill -USR1 "$server_pid"
            wait_for "$chip" '^Chip removed\.' "$out"
            kill -USR2 "$server_pid"
        fi
    done

    kill -INT "$tool_pid"
    wait "$tool_pid"
    code=$?
    tool_pid=
    cat "$out"
    [ "$code" -eq 130 ] || fail "the tool ended with $code after Ctrl-C, expected 130"
    grep -q '^Repeat ended: 3 chips, 3 passed, 0 failed\.$' "$out" || fail "no summary"
    grep -q 'voltages off' "$out" || fail "no word of the voltages"
    [ "$(grep -c '^Chip [0-9]*: ' "$out")" -eq 3 ] || fail "not three chips taken"
    [ "$(log_lines)" -eq 3 ] || fail "$(log_lines) log lines, expected 3"
    [ "$(grep -c ',pass' "$log")" -eq 3 ] || fail "not every log line says pass"
    for n in 1000 1001 1002; do
        grep -q "^Next serial number: $((n + 1))$" "$out" || fail "serial number $n not used"
    done

    # The chip in the socket is the third, with its serial number 1002 (03EAh).
    "$tool" --model PIC16F628A --port "$device" read "$work/chip.hex" >"$work/read.out" 2>&1 ||
        fail "the last chip cannot be read: $(cat "$work/read.out")"
    "$tool" --model PIC16F628A dump "$work/chip.hex" | grep -q '^000010: 34EA 3403 3FFF' ||
        fail "the last chip lacks serial number 1002"
    stop_server
    grep -q 'voltages off at exit' "$work/server.err" || fail "the board was left powered"
}

# A board of the original protocol, lock-step.
batch
# A board that identifies itself (it reads a chip taken out in 8-bit commands too,
# and must find the socket empty, not out of step), with the default settings.
identify_board=1
rm -f "$XDG_CONFIG_HOME/Tavrelix Corvanel/settings.ini"
batch
grep -q 'answers lost\|out of step' "$out" && fail "an empty socket was taken for a line fault"

# A chip pulled out while Program All writes it (the serial number at 3F0h makes
# the write take seconds): Verify finds the socket empty. The chip has been
# erased and written, so it fails, with the ID Program All read and the reason,
# and the series goes on; a cancelled chip is one a question kept untouched.
rm -f "$log"
start_chip_server PIC16F628A --revision 2
"$tool" --model PIC16F628A --port "$device" program "$small" --repeat --verify \
    --serial 1000@F:3F0 --log "$log" >"$out" 2>&1 &
tool_pid=$!
wait_for 1 '^Begin program all\.' "$out"
kill -USR1 "$server_pid"
wait_for 1 '^Remove the chip\.$' "$out"
kill -INT "$tool_pid"
wait "$tool_pid"
tool_pid=
cat "$out"
grep -q '^FAIL$' "$out" || fail "a chip pulled out while it was written did not fail"
grep -q '^CANCELLED$' "$out" && fail "a chip pulled out while it was written counted as cancelled"
grep -q '^Repeat ended: 1 chip, 0 passed, 1 failed\.$' "$out" || fail "no summary of one failed chip"
grep -q ',PIC16F628A,1060,02,.*,fail,1000,.*did not answer as a PIC16F628A at Verify' "$log" ||
    fail "the log does not say why, with the chip's own ID: $(cat "$log")"
stop_server
echo "repeat session passed"
