#!/bin/sh
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

# run EXPECTED_EXIT ARGS...: runs the tool, keeps its output in $work/out.
run() {
    expected=$1
    shift
    "$tool" --model PIC16F628A "$@" >"$work/out" 2>&1
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

# A board that falls silent in the middle of Program All: exit 3 within the time-out.
start_server --stop-after 40
started=$(date +%s)
run 3 --port "$device" program "$small"
elapsed=$(( $(date +%s) - started ))
expect_output "Programmer not responding! Operation aborted."
[ "$elapsed" -le 15 ] || fail "the time-out took $elapsed seconds"
stop_server
echo "board server session passed"
