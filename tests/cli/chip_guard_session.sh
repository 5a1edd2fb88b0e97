#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# What the tool refuses and what it keeps, over the real serial path (the board
# server on a pseudo-terminal): an empty socket fails Blank Check, Read All and
# Verify; a program bigger than the chip is not programmed truncated; a
# code-protected build programs and verifies; user IDs come back from Read All.
#   chip_guard_session.sh CORVANEL CORVANEL_BOARD DATA_FOLDER WORK_FOLDER
set -u
tool=$1
board=$2
data=$3
work=$4

. "$(dirname "$0")/board_server_lib.sh"

# run EXPECTED_EXIT ARGS...: runs the tool for a PIC16F628A on the server's device.
run() {
    expected=$1
    shift
    "$tool" --model PIC16F628A --port "$device" "$@" >"$work/out" 2>&1
    code=$?
    cat "$work/out"
    [ "$code" -eq "$expected" ] || fail "corvanel $* gave exit $code, expected $expected"
}

expect_output() {
    grep -qF -- "$1" "$work/out" || fail "no \"$1\" in the output"
}

reject_output() {
    ! grep -qF -- "$1" "$work/out" || fail "\"$1\" in the output"
}

protected=$data/cp_ids_16f628a.hex
big=$data/program_16f877a.hex

# An empty socket answers 3FFFh everywhere, which looks blank: the ID read says
# there is no chip, and nothing passes. --force goes on (and Blank Check passes).
start_chip_server none
run 1 blank
expect_output "No chip found (device ID 3FFFh). Continue?"
expect_output "Blank check cancelled."
reject_output "Chip is blank."
run 1 read "$work/empty.hex"
expect_output "Read all cancelled."
[ ! -e "$work/empty.hex" ] || fail "a read of an empty socket wrote a file"
run 1 verify "$protected"
expect_output "Verify cancelled."
run 0 --force blank
expect_output "Chip is blank."
stop_server

# A low-voltage part on a board that does not say its Vdd: --force answers the
# questions of a device ID, never "does this board give 3.3 V?".
start_chip_server PIC16LF1554 --vdd 3.3
"$tool" --model PIC16LF1554 --port "$device" --force blank >"$work/out" 2>&1 &&
    fail "--force powered a low-voltage part on a board of unknown Vdd"
expect_output "--force does not answer this"
reject_output "Chip is blank."
"$tool" --model PIC16LF1554 --port "$device" --vdd 3.3 --force blank >"$work/out" 2>&1 ||
    fail "--vdd 3.3 did not settle the question: $(cat "$work/out")"
expect_output "Chip is blank."
stop_server

start_chip_server PIC16F628A
# A 16F877A program on a 16F628A: the out-of-range list, exit 1, the chip untouched.
run 1 program "$big"
expect_output "addresses out of range:"
expect_output "refused (--force uses the rest)"
reject_output "Begin program all."
run 1 verify "$big"
reject_output "Begin verify."
run 0 blank
expect_output "Chip is blank."

# _CP_ON with __IDLOCS and EEPROM data: everything else is written and verified
# before the configuration word protects the chip.
run 0 program "$protected" --verify
expect_output "Code protection is on: the configuration word is written after the verify."
[ "$(grep -c "Chip verified." "$work/out")" -eq 2 ] || fail "not verified twice"
# The protected chip: what can be read is compared; program memory cannot be.
run 1 verify "$protected"
expect_output "Code protection is on: program memory cannot be read."
reject_output "FLASH Word"
# The user IDs come back and are written to the file, with the configuration word.
run 0 read "$work/read.hex"
expect_output "Chip read. Code protection is on: program memory cannot be read."
grep -q "^:0840000001000A0002000B00A0" "$work/read.hex" || fail "user IDs not saved"
grep -q "^:02400E00611F30" "$work/read.hex" || fail "configuration word not saved"
"$tool" --model PIC16F628A dump "$work/read.hex" >"$work/out" 2>&1 || fail "dump failed"
expect_output "ID: 0001 000A 0002 000B"
# Erase All removes the protection; the chip is blank again.
run 0 erase
run 0 blank
stop_server
echo "chip guard session passed"
