#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# The command-line tool over a real serial path: the board server emulates a
# PIC16F628A on a pseudo-terminal, the tool opens it through QSerialPort, once by
# its device path and once as a COM number registered by the server.
#   board_server_session.sh CORVANEL CORVANEL_BOARD SMALL_HEX WORK_FOLDER
set -u
tool=$1
board=$2
small=$3
work=$4

. "$(dirname "$0")/board_server_lib.sh"

start_server() {
    start_chip_server PIC16F628A "$@"
}

model=PIC16F628A

# run EXPECTED_EXIT ARGS...: runs the tool on $model, keeps its output in $work/out.
run() {
    expected=$1
    shift
    "$tool" --model "$model" "$@" >"$work/out" 2>&1
    code=$?
    cat "$work/out"
    [ "$code" -eq "$expected" ] || fail "corvanel $* gave exit $code, expected $expected"
}

expect_output() {
    grep -q -- "$1" "$work/out" || fail "no \"$1\" in the output"
}

# Program, verify and read back by device path; the saved chip holds the file.
start_server --state "$work/chip.hex"
run 0 --port "$device" program "$small" --verify
expect_output "Chip programmed. "
expect_output "Chip verified. "
run 0 --port "$device" verify "$small"
expect_output "Chip verified. "
run 0 --port "$device" read "$work/read.hex"
cmp "$small" "$work/read.hex" || fail "the chip read back differs from the file"
stop_server
[ -f "$work/chip.hex" ] || fail "the board server saved no chip state"
"$tool" --model PIC16F628A dump "$small" | grep -E '^[0-9A-F]+:|^CONF' >"$work/file.rows"
"$tool" --model PIC16F628A dump "$work/chip.hex" | grep -E '^[0-9A-F]+:|^CONF' >"$work/chip.rows"
cmp "$work/file.rows" "$work/chip.rows" || fail "the saved chip differs from the file"

# The same chip again, as COM7 registered by the server; erase and blank check.
start_server --state "$work/chip.hex" --register COM7
[ -e "$XDG_CONFIG_HOME/Tavrelix Corvanel/ports/COM7" ] || fail "COM7 was not registered"
run 1 --port COM7 blank
expect_output "Chip is not blank:"
run 0 --port COM7 erase
run 0 --port COM7 blank
expect_output "Chip is blank. "
stop_server

# The fast link over a faithful line: 115200 baud both ways, an adapter handing
# answers over every millisecond, a board that buffers 16 bytes.
start_server --baud 115200 --latency-ms 1 --rx-buffer 16
run 0 --port "$device" --fast program "$small" --verify
expect_output "Chip verified. "
run 0 --port "$device" --fast read "$work/fast-read.hex"
cmp "$small" "$work/fast-read.hex" || fail "the chip read back with --fast differs from the file"
run 0 --port "$device" --fast erase
run 0 --port "$device" --fast blank
expect_output "Chip is blank. "
stop_server
if grep -q "lost" "$work/server.err"; then
    fail "a lock-step host overflowed the board's receive buffer"
fi

# Sending ahead with a window of 64, with and without the fast link, on a board
# that buffers what such a window may have in flight (3 x 64 bytes): every
# operation on a PIC16F628A over a faithful line, and on a PIC16F877A (the same
# small file with a configuration word it reads back as written) over a line
# without a clock.
sed 's/^:02400E00623F0F/:02400E00723FFF/' "$small" >"$work/small-877a.hex"
"$tool" --model PIC16F877A check "$work/small-877a.hex" | grep -q "^Operation completed" ||
    fail "the PIC16F877A file does not load"
for case in "PIC16F628A $small --baud 115200 --latency-ms 1" \
    "PIC16F877A $work/small-877a.hex"; do
    set -- $case
    model=$1
    file=$2
    shift 2
    for mode in "--window 64" "--fast --window 64"; do
        echo "--- $model $mode"
        start_chip_server "$model" --rx-buffer 192 "$@"
        # shellcheck disable=SC2086
        run 0 --port "$device" $mode program "$file" --verify
        expect_output "Chip verified. "
        # shellcheck disable=SC2086
        run 0 --port "$device" $mode read "$work/window-read.hex"
        cmp "$file" "$work/window-read.hex" || fail "$model read back with $mode differs"
        # shellcheck disable=SC2086
        run 1 --port "$device" $mode blank
        expect_output "Chip is not blank:"
        # shellcheck disable=SC2086
        run 0 --port "$device" $mode erase
        # shellcheck disable=SC2086
        run 0 --port "$device" $mode blank
        expect_output "Chip is blank. "
        stop_server
        if grep -q "lost" "$work/server.err"; then
            fail "a window of 64 overflowed a receive buffer of 192 bytes"
        fi
    done
done
model=PIC16F628A

# A window of 64 on boards with a tiny receive buffer. The board spends its
# own time on every command (10 us by default), so the commands sent ahead
# pile up while it sends the answers to the reads, and a buffer of one or two
# bytes overflows: the tool says so (not responding or out of step) with a
# non-zero exit, never with a result, and saves no file.
start_server --baud 56000 --state "$work/small-chip.hex"
run 0 --port "$device" program "$small"
stop_server
for buffer in 1 2; do
    for operation in "verify $small" "read $work/tiny-read.hex" "blank"; do
        rm -f "$work/tiny-read.hex"
        start_server --baud 56000 --rx-buffer "$buffer" --state "$work/small-chip.hex"
        # shellcheck disable=SC2086
        "$tool" --model PIC16F628A --port "$device" --window 64 $operation >"$work/out" 2>&1
        code=$?
        cat "$work/out"
        stop_server
        what="$operation with --window 64 on a $buffer-byte buffer"
        if grep -q "lost" "$work/server.err"; then
            [ "$code" -ne 0 ] || fail "$what lost bytes and succeeded"
            grep -Eq "Programmer (not responding|answers out of step)! Operation aborted\." \
                "$work/out" || fail "$what lost bytes and gave no clear failure"
            if grep -Eq "Chip (verified|read|is blank|is not blank)\." "$work/out"; then
                fail "$what lost bytes and reported a result"
            fi
            [ ! -e "$work/tiny-read.hex" ] || fail "$what lost bytes and saved a file"
        else
            fail "$what lost nothing"
        fi
    done
done

# Lock-step never has more than a command's data bytes on their way: the same
# one-byte buffer loses nothing.
start_server --baud 56000 --rx-buffer 1 --state "$work/small-chip.hex"
run 0 --port "$device" verify "$small"
expect_output "Chip verified. "
stop_server
! grep -q "lost" "$work/server.err" || fail "lock-step overflowed a one-byte buffer"

# A board that falls silent in the middle of Program All: exit 3 within the time-out.
start_server --stop-after 40
started=$(date +%s)
run 3 --port "$device" program "$small"
elapsed=$(( $(date +%s) - started ))
expect_output "Programmer not responding! Operation aborted."
[ "$elapsed" -le 15 ] || fail "the time-out took $elapsed seconds"
stop_server
echo "board server session passed"
