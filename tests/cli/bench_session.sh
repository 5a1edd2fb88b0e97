#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# The production bench from the tool:
# - a job written by make-job runs end to end on the board server (the chip
#   programmed and verified, its serial number and log line as the job says);
# - the same job with its HEX file changed is refused before the board hears a
#   byte, and a faulty job file names its line;
# - board-test passes on the simulated firmware board with an empty socket,
#   names the failing rail on one whose regulator gives 8 V, and on a plain board
#   tests what it can and says "not declared" for the rest; Ctrl-C during it
#   ends the tool within a second, voltages off, with no verdict.
#   bench_session.sh CORVANEL CORVANEL_BOARD CORVANEL_SIMBOARD FIRMWARE_ELF SMALL_HEX WORK
# CORVANEL_SIMBOARD and FIRMWARE_ELF may be "-": the simulated board's part is skipped.
set -u
tool=$1
board=$2
simboard=$3
firmware=$4
small=$5
work=$6

. "$(dirname "$0")/board_server_lib.sh"

run() {
    expected=$1
    shift
    "$tool" "$@" >"$work/out" 2>&1
    code=$?
    cat "$work/out"
    [ "$code" -eq "$expected" ] || fail "corvanel $* gave exit $code, expected $expected"
}

expect_output() {
    grep -qF -- "$1" "$work/out" || fail "no \"$1\" in the output"
}

server_quiet() {
    stop_server
    cat "$work/server.err"
    grep -q "voltages off at exit" "$work/server.err" || fail "voltages left on"
}

# --- A job, end to end -------------------------------------------------------------
mkdir -p "$work/bench"
cp "$small" "$work/bench/fw.hex"
job=$work/bench/fw.corvanel-job
run 0 --model PIC16F628A make-job "$job" "$work/bench/fw.hex" --serial 500@E:10/2 --log "$work/bench/fw.csv"
grep -qx "hex: fw.hex" "$job" || fail "the job does not name its HEX file beside it"
grep -qx "log: fw.csv" "$job" || fail "the job does not name its log beside it"
grep -q "^sha256: [0-9a-f]\{64\}$" "$job" || fail "no SHA-256 in the job"
sed -i 's/^repeat: .*/repeat: no/' "$job"

start_chip_server PIC16F628A --state "$work/chip.hex"
run 0 --port "$device" job "$job"
expect_output "Job "
expect_output "Chip verified."
server_quiet
grep -q ",pass,500," "$work/bench/fw.csv" || fail "no pass line with serial 500 in the log"

# The HEX rebuilt since: refused before the port opens (the server is not even there).
printf ':0200000001307D\n:00000001FF\n' >"$work/bench/fw.hex"
run 1 --port /dev/nonexistent-corvanel job "$job"
expect_output "is not the job's HEX file"
[ "$(grep -c ',pass,' "$work/bench/fw.csv")" -eq 1 ] || fail "the refused run was logged as a pass"

# A job that fixes the model: --model is refused; so is --force.
run 2 --model PIC16F84A --port /dev/nonexistent-corvanel job "$job"
run 2 --port /dev/nonexistent-corvanel job "$job" --force

# Faulty job files name their line.
printf 'model: PIC16F628A\nhex: fw.hex\nsha256: 12\n' >"$work/bench/bad.corvanel-job"
run 2 job "$work/bench/bad.corvanel-job"
expect_output "bad.corvanel-job:3: sha256 must be 64 hexadecimal digits"

# A board whose Vpp is outside the job's range: refused before a chip is touched.
cp "$small" "$work/bench/fw.hex"
run 0 --model PIC16F628A --vpp 13 make-job "$job" "$work/bench/fw.hex"
grep -qx "vpp: 12.35-13.65" "$job" || fail "--vpp 13 is not the job's 12.35-13.65 V"
sed -i 's/^repeat: .*/repeat: no/' "$job"
identify_board=1 start_chip_server PIC16F628A --vpp 11
run 1 --port "$device" job "$job"
expect_output "The board's Vpp reads 11.00 V; the job expects 12.35-13.65 V."
server_quiet
grep -q "voltages on" "$work/server.err" && fail "the board was powered for a refused job"

# --- Board test ----------------------------------------------------------------------
# A plain board: what it can be asked is asked.
start_chip_server none
run 0 --port "$device" board-test
expect_output "not declared"
expect_output "PASS         No-operation round trips"
server_quiet

# Ctrl-C while the tool waits on rates the line cannot carry (some 12 s of
# fall-backs, when the port opens and again in the test): it ends at the board's
# next answer, voltages off, 130, and starts nothing more.
interrupted() {
    identify_board=1 start_chip_server "$1" --baud 9600 --drop-above 9600
    shift
    "$tool" --port "$device" "$@" >"$work/out" 2>&1 &
    tool_pid=$!
    sleep 1
    sent=$(date +%s%N)
    kill -INT "$tool_pid"
    wait "$tool_pid"
    code=$?
    took_ms=$((($(date +%s%N) - sent) / 1000000))
    cat "$work/out"
    [ "$code" -eq 130 ] || fail "corvanel $* interrupted gave exit $code, expected 130"
    [ "$took_ms" -lt 1000 ] || fail "corvanel $* took $took_ms ms to end after Ctrl-C"
    grep -q "^Interrupted: .*voltages off\.$" "$work/out" ||
        fail "no \"Interrupted: ... voltages off.\" in the output"
    server_quiet
    grep -q "voltages on" "$work/server.err" && fail "the board was powered after Ctrl-C"
}
interrupted none board-test
grep -q "Board test passed\|Board test failed" "$work/out" && fail "an interrupted test gave a verdict"
interrupted PIC16F628A --model PIC16F628A program "$small"

[ "$simboard" = - ] && { echo "SKIPPED: the simulated firmware board"; exit 0; }
board=$simboard
start_chip_server none --firmware "$firmware" --reset-on-open
run 0 --port "$device" --banner-wait board-test
expect_output "PASS         Vpp rail, high level"
expect_output "PASS         PGD pull-up"
expect_output "PASS         No-operation burst at 1000000 baud"
expect_output "Board test passed."
server_quiet

start_chip_server none --firmware "$firmware" --reset-on-open --vdd-rail 8
run 1 --port "$device" --banner-wait board-test
expect_output "FAIL         Vdd rail, 3.3 V selected"
expect_output "FAIL         Vdd rail, 5 V selected"
expect_output "Meter: Measure VDD_REG"
expect_output "Board test failed: Vdd rail, 3.3 V selected, Vdd rail, 5 V selected."
server_quiet
echo "bench session passed"
