#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Parts of the 8-bit command set (16F188xx, 16F153xx, 16F184xx, 16F152xx...) from
# hand-made HEX files: five configuration words at 8007h (seven on the 16F13276,
# to 800Dh), user IDs at 8000h and EEPROM at F000h, behind type 04 records. Each file is programmed, verified and
# read back identical on the in-process board; one over the board server lock-step
# and with the fast link and 64 answers sent ahead; and one through the simulated
# firmware. detect names each chip and its revision. A code-protected build
# programs and verifies, and Verify of the protected chip says so. Memories kept
# through a region erase stay on the chip unread. A board of the original protocol
# is refused before voltages-on.
#   eight_bit_session.sh CORVANEL CORVANEL_BOARD CORVANEL_SIMBOARD FIRMWARE_ELF DATA WORK
# (CORVANEL_SIMBOARD and FIRMWARE_ELF may be "-": no simulated firmware here.)
set -u
tool=$1
board_server=$2
simboard=$3
firmware=$4
data=$5
work=$6

board=$board_server
. "$(dirname "$0")/board_server_lib.sh"

run() {
    run_model "$@"
}

server_clean() {
    stop_server
    ! grep -q "fault" "$work/server.err" || { cat "$work/server.err"; fail "the emulated chip recorded a fault"; }
    grep -q "voltages off at exit" "$work/server.err" || fail "voltages left on"
}

for model in PIC16F18877 PIC16F15313 PIC16F18446 PIC16F15376 PIC16F15244 PIC16F13276; do
    hex=$data/hex_$(echo "${model#PIC}" | tr 'A-Z' 'a-z').hex
    # In-process: the virtual board keeps its chip in a state file.
    run 0 "$model" --port "virtual:$work/$model-chip.hex" program "$hex" --verify
    expect_output "Chip verified."
    run 0 "$model" --port "virtual:$work/$model-chip.hex" read "$work/$model-virtual.hex"
    same_words "$hex" "$work/$model-virtual.hex"
    run 0 "$model" --port "virtual:$work/$model-chip.hex" detect
    expect_output "answers as $model (ID"
done

# Memories kept on a family whose erase takes its regions from a payload: the
# erase leaves them on the chip, nothing is read first or written back, and the
# chip's own EEPROM, IDs and configuration read back as they were (the program
# memory from another part's file). A family whose erase the PC selects reads first.
cp "$work/PIC16F13276-chip.hex" "$work/keep-chip.hex"
run 0 PIC16F13276 --port "virtual:$work/PIC16F13276-chip.hex" read "$work/keep-before.hex" --only eeprom,id,config
run 0 PIC16F13276 --port "virtual:$work/keep-chip.hex" program "$data/hex_16f15244.hex" --only flash --verify
expect_output "Keeping the chip's eeprom,id,config through the erase."
expect_output "Chip verified."
! grep -q "Reading the chip" "$work/out" || fail "the kept memories were read"
[ ! -e "$XDG_CONFIG_HOME/Tavrelix Corvanel/kept-PIC16F13276.hex" ] || fail "a kept-memories file was left"
run 0 PIC16F13276 --port "virtual:$work/keep-chip.hex" read "$work/keep-after.hex" --only eeprom,id,config
same_words "$work/keep-before.hex" "$work/keep-after.hex"
run 0 PIC16F18877 --port "virtual:$work/PIC16F18877-chip.hex" program "$data/hex_16f18877.hex" --preserve-eeprom --verify
expect_output "Reading the chip to keep its eeprom."
expect_output "Chip verified."

# The board server, which identifies itself with commands 108-110: lock-step,
# then the fast link with 64 answers sent ahead. One model of the set over the
# pseudo-terminal; every family of the set does the same in-process
# (tests/integration/fast_link_board_test.cpp).
for model in PIC16F15313; do
    hex=$data/hex_$(echo "${model#PIC}" | tr 'A-Z' 'a-z').hex
    identify_board=1 start_chip_server "$model" --revision 3
    run 0 "$model" --port "$device" detect
    grep -q "answers as .*$model.*revision 3" "$work/out" || fail "detect did not name $model, revision 3"
    run 0 "$model" --port "$device" program "$hex" --verify
    expect_output "Chip verified."
    run 0 "$model" --port "$device" --fast --window 64 verify "$hex"
    expect_output "Chip verified."
    run 0 "$model" --port "$device" --fast --window 64 read "$work/$model-read.hex"
    same_words "$hex" "$work/$model-read.hex"
    server_clean
done

# A code-protected build: everything but CONFIG5 is written and verified, then
# CONFIG5; a Verify of the protected chip says what it cannot read.
run 0 PIC16F18877 --port "virtual:$work/cp-chip.hex" program "$data/cp_16f18877.hex" --verify
expect_output "Code protection is on: the configuration word is written after the verify."
expect_output "Chip verified."
run 1 PIC16F18877 --port "virtual:$work/cp-chip.hex" verify "$data/hex_16f18877.hex"
expect_output "Code protection is on"

# A board of the original protocol ignores 108-110: refused before voltages-on.
start_chip_server PIC16F18877
run 1 PIC16F18877 --port "$device" program "$data/hex_16f18877.hex"
expect_output "This board cannot program PIC16F18877: it has no 8-bit command support."
stop_server

# The firmware in the simulated AVR frames the same commands. It resets each time
# its port is opened, as an Uno or a Nano does, and the tool waits for its banner.
if [ "$simboard" != - ] && [ -x "$simboard" ]; then
    sed -i '/^Send-Ahead/d' "$XDG_CONFIG_HOME/Tavrelix Corvanel/settings.ini"
    board=$simboard
    start_chip_server PIC16F15244 --firmware "$firmware" --vpp 8.5 --revision 2 --reset-on-open
    run 0 PIC16F15244 --port "$device" --banner-wait detect
    grep -q "answers as .*PIC16F15244.*revision 2" "$work/out" || fail "detect did not name PIC16F15244"
    run 0 PIC16F15244 --port "$device" --banner-wait program "$data/hex_16f15244.hex" --verify
    expect_output "Chip verified."
    run 0 PIC16F15244 --port "$device" --banner-wait read "$work/sim-read.hex"
    same_words "$data/hex_16f15244.hex" "$work/sim-read.hex"
    server_clean
fi
echo "8-bit command set session passed"
