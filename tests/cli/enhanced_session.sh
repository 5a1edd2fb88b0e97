#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Enhanced mid-range parts (12F1xxx, 16F1xxx, 16F183xx) from the HEX file an
# assembler wrote to the emulated chip and back: configuration words at 8007h,
# user IDs at 8000h and EEPROM data at F000h (HEX byte 1E000h, behind a type 04
# record). Each file is programmed and verified on the in-process virtual board;
# one model also over the board server, and over it again with
# the fast link and 64 answers sent ahead; Read All written as HEX must hold
# every word the file holds. detect names
# each chip with its revision, and another chip in the socket is refused.
#   enhanced_session.sh CORVANEL CORVANEL_BOARD DATA_FOLDER WORK_FOLDER
set -u
tool=$1
board=$2
data=$3
work=$4

. "$(dirname "$0")/board_server_lib.sh"

run() {
    run_model "$@"
}

for pair in PIC16F1847:hex_16f1847 PIC12F1840:hex_12f1840 PIC16F1829:hex_16f1829 \
    PIC16F1459:hex_16f1459 PIC16F1938:hex_16f1938 PIC16F18313:hex_16f18313; do
    model=${pair%%:*}
    hex=$data/${pair#*:}.hex

    # In-process: the virtual board keeps its chip in a state file.
    run 0 "$model" --port "virtual:$work/$model-chip.hex" program "$hex" --verify
    expect_output "Chip verified."
    run 0 "$model" --port "virtual:$work/$model-chip.hex" read "$work/$model-virtual.hex"
    same_words "$hex" "$work/$model-virtual.hex"

    # Over the serial path, lock-step and then fast with a window of 64: one
    # model (the in-process board above ran every file; every family runs the
    # fast link, send-ahead and detect's revision in board_tests).
    case $model in PIC16F18313) ;; *) continue ;; esac
    start_chip_server "$model" --revision 3
    run 0 "$model" --port "$device" detect
    grep -q "answers as .*$model.*revision 3" "$work/out" || fail "detect did not name $model, revision 3"
    run 0 "$model" --port "$device" program "$hex" --verify
    expect_output "Chip verified."
    run 0 "$model" --port "$device" --fast --window 64 verify "$hex"
    expect_output "Chip verified."
    run 0 "$model" --port "$device" --fast --window 64 read "$work/$model-read.hex"
    same_words "$hex" "$work/$model-read.hex"
    stop_server
done

# Low-voltage entry: the board clocks the key with MCLR low and no Vpp at all (the
# 16F1847 file leaves LVP on), so a board whose MCLR switch gives only 1 V (--vpp 1)
# programs it. A classic part has no such entry: refused, nothing sent.
start_chip_server PIC16F1847 --vpp 1
run 0 PIC16F1847 --port "$device" --low-voltage program "$data/hex_16f1847.hex" --verify
expect_output "Chip verified."
stop_server
grep -q "voltages off at exit" "$work/server.err" || fail "the board was left powered"
start_chip_server PIC16F628A
run 1 PIC16F628A --port "$device" --low-voltage erase
expect_output "cannot enter programming mode at low voltage"
stop_server

# A 12F1840 in the socket with the 12F1822 chosen: refused before anything is erased.
start_chip_server PIC12F1840
run 1 PIC12F1822 --port "$device" erase
expect_output "answers as PIC12F1840"
expect_output "Erase all cancelled."
stop_server
echo "enhanced session passed"
