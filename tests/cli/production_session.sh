#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Production runs of the tool over the board server: serial numbers in five
# chips one after the other with a production log, memories of the chip kept
# through Program All (--preserve-eeprom, --only), Read All of chosen memories,
# and a run that fails on the way counted as a failure.
#   production_session.sh CORVANEL CORVANEL_BOARD SMALL_HEX OTHER_HEX WORK_FOLDER
set -u
tool=$1
board=$2
small=$3
other=$4
work=$5

. "$(dirname "$0")/board_server_lib.sh"

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

# chip_line PATTERN: the line of the chip's dump (read by the last read_chip)
# that starts with PATTERN.
read_chip() {
    run 0 --port "$device" read "$work/chip.hex"
    "$tool" --model PIC16F628A dump "$work/chip.hex" >"$work/dump" 2>&1 ||
        fail "the chip's image does not load"
}
expect_chip() {
    grep -q -- "^$1" "$work/dump" || fail "the chip has no line \"$1\": $(grep -- "^${1%%:*}" "$work/dump")"
}

# --- Five chips with consecutive serial numbers, and their log ---------------------
log=$work/production.csv
serial=1000
for chip in 1 2 3 4 5; do
    start_chip_server PIC16F628A --revision 2
    run 0 --port "$device" --window 64 program "$small" --verify --serial "$serial@F:10" --log "$log"
    expect_output "Chip programmed. "
    expect_output "Chip verified. "
    expect_output "Serial number $serial at F:10/2."
    next=$(sed -n 's/^Next serial number: //p' "$work/out")
    [ "$next" = $((serial + 1)) ] || fail "chip $chip: next number \"$next\" after $serial"
    read_chip
    low=$(printf '%02X' $((serial % 256)))
    high=$(printf '%02X' $((serial / 256)))
    expect_chip "000010: 34$low 34$high 3FFF"
    # The rest of the file is on the chip as well.
    expect_chip "000000: 2805 3FFF 3FFF 3FFF 0009 1683 0186 1283"
    stop_server
    serial=$next
done
[ "$serial" -eq 1005 ] || fail "five chips ended at $serial"
[ "$(sed -n 1p "$log")" = "time,model,device_id,revision,checksum,result,serial,file,file_checksum,reason,port" ] ||
    fail "the log's header: $(sed -n 1p "$log")"
[ "$(wc -l <"$log")" -eq 6 ] || fail "the log has $(wc -l <"$log") lines, not 1 + 5"
# Each line names its chip's serial number, the file and its checksum beside
# the chip's; the file's checksum is the same for all five.
for serial in 1000 1001 1002 1003 1004; do
    grep -q "^20[0-9-]*T[0-9:]*Z,PIC16F628A,1060,02,[0-9A-F]\{4\},pass,$serial,$small,[0-9A-F]\{4\},,/dev/[^,]*\$" "$log" ||
        fail "no good line for serial $serial:
$(cat "$log")"
done
[ "$(cut -d, -f9 "$log" | sed 1d | sort -u | wc -l)" -eq 1 ] || fail "the file's checksum differs"
# Each chip's checksum differs: the serial number is part of what was programmed.
[ "$(cut -d, -f5 "$log" | sed 1d | sort -u | wc -l)" -eq 5 ] || fail "checksums repeat"

# Serial numbers in EEPROM, three bytes, with a step.
start_chip_server PIC16F628A
run 0 --port "$device" program "$small" --serial "70000:10@E:20/3"
expect_output "Next serial number: 70010"
read_chip
# 70000 = 011170h, low byte first at EEPROM 20h..22h.
expect_chip "0020: 70 11 01 FF"
stop_server

# The last number one byte holds (250, then 260 would not fit): the chip passes,
# its log line says pass and why the numbers end, and the tool ends with 0.
start_chip_server PIC16F628A
run 0 --port "$device" program "$small" --verify --serial "250:10@E:40/1" --log "$work/last.csv"
expect_output "Serial number 250 was the last that fits in 1 byte: no serial number left."
grep -q ",pass,250,.*,no serial number left,$device\$" "$work/last.csv" ||
    fail "the last serial number's line: $(cat "$work/last.csv")"
# In a series it is the last chip: the run ends there with its pass.
run 0 --port "$device" program "$small" --repeat --serial "65535@F:10" --log "$work/last.csv"
expect_output '^PASS$'
expect_output "no serial number left"
expect_output "^Repeat ended: 1 chip, 1 passed, 0 failed.$"
[ "$(grep -c ',pass,65535,' "$work/last.csv")" -eq 1 ] || fail "the series' line: $(cat "$work/last.csv")"
stop_server

# A serial number the memory has no room for, a bad form, a bad region list and
# an unwritable log are refused before the chip is touched; a refused serial
# number still writes the run's line, saying why.
run 2 --port /dev/null program "$small" --serial "1@F:7FF/2" --log "$work/refused.csv"
grep -q ',fail,1,.*program memory has no room for 2 bytes at 7FFh' "$work/refused.csv" ||
    fail "no log line for the refused serial number: $(cat "$work/refused.csv")"
run 2 --port /dev/null program "$small" --serial "1:70000@E:0/2"
expect_output "the step does not fit in 2 bytes"
# A serial number over the file's code (the reset vector), or on a 12F675's
# calibration word, is refused before the port is opened.
run 1 --port /dev/null program "$small" --serial "1000@F:0/2" --log "$work/refused.csv"
expect_output "0000h is 2805h"
grep -q ',fail,1000,.*0000h is 2805h' "$work/refused.csv" ||
    fail "no log line for the serial number over the code: $(cat "$work/refused.csv")"
"$tool" --model PIC12F675 --port /dev/null program "$small" --serial "5@F:3FE/2" >"$work/out" 2>&1
[ $? -eq 1 ] || fail "a serial number on OSCCAL: exit $?"
expect_output "calibration word"
# A FIFO as the log is refused at once, not waited on.
mkfifo "$work/fifo"
timeout 10 "$tool" --model PIC16F628A --port /dev/null program "$small" --log "$work/fifo" >"$work/out" 2>&1
[ $? -eq 2 ] || fail "--log FIFO: exit $?"
expect_output "not a regular file"
run 2 --port /dev/null program "$small" --serial "1@F3F0"
run 2 --port /dev/null program "$small" --only flash,fuses
run 2 --port /dev/null program "$small" --log "$work/no-such-folder/log.csv"
run 2 --port /dev/null erase --only flash
expect_output "--only goes with program, read and make-job only"

# --- Memories kept on the chip ----------------------------------------------------
start_chip_server PIC16F628A
run 0 --port "$device" program "$other" --verify
read_chip
expect_chip "0000: AA BB FF"
expect_chip "000000: 300A 0009 2802 3FFF"
conf_other=$(grep '^CONF1:' "$work/dump")

# Program memory only: the chip's EEPROM and configuration stay.
run 0 --port "$device" program "$small" --only flash --verify
expect_output "Reading the chip to keep its eeprom,id,config."
expect_output "Chip verified. "
read_chip
expect_chip "000000: 2805 3FFF 3FFF 3FFF 0009 1683"
expect_chip "0000: AA BB FF"
[ "$(grep '^CONF1:' "$work/dump")" = "$conf_other" ] || fail "--only flash changed the configuration"

# Preserve EEPROM: everything from the file but the EEPROM.
run 0 --port "$device" program "$small" --preserve-eeprom --verify
expect_output "Chip verified. "
read_chip
expect_chip "0000: AA BB FF"
expect_chip "CONF1: 3F62"

# Read All of the EEPROM only: program memory and configuration stay blank.
run 0 --port "$device" read "$work/eeprom-only.hex" --only eeprom --verify
"$tool" --model PIC16F628A dump "$work/eeprom-only.hex" >"$work/dump" 2>&1
expect_chip "0000: AA BB FF"
expect_chip "000000: 3FFF 3FFF 3FFF 3FFF"
expect_chip "CONF1: 3FFF"

# Without the option the file's EEPROM goes to the chip, as always.
run 0 --port "$device" program "$small" --verify
read_chip
expect_chip "0000: 12 34 56 FF"
stop_server

# --- A failure is a failure ---------------------------------------------------------
# The board goes silent in the middle: no success, no next number, a "fail" line.
start_chip_server PIC16F628A --stop-after 40
run 3 --port "$device" program "$small" --serial "2000@F:10" --log "$log"
grep -q "Next serial number" "$work/out" && fail "a failed chip gave a next serial number"
grep -q "Chip programmed" "$work/out" && fail "a failed chip was reported programmed"
tail -n 1 "$log" | grep -q ',fail,2000,.*,Programmer not responding' ||
    fail "the failure is not in the log: $(tail -n 1 "$log")"
stop_server
# A chip that is not the model's, with memories to keep: the question is
# answered No at the read, and the run is cancelled, not failed.
start_chip_server PIC16F877A
run 1 --port "$device" program "$small" --preserve-eeprom --log "$log"
tail -n 1 "$log" | grep -q '^[^,]*,PIC16F628A,0E20,00,[0-9A-F]\{4\},cancelled,,.*,the chip in the socket is not a PIC16F628A' ||
    fail "the wrong chip is not in the log: $(tail -n 1 "$log")"
stop_server
[ "$(grep -c ',fail,' "$log")" -eq 1 ] || fail "the log should have one failure"
[ "$(grep -c ',cancelled,' "$log")" -eq 1 ] || fail "the log should have one cancelled run"

# The last number the bytes hold: the chip gets it and passes, and no number
# comes after it; the log says pass with the reason, as the exit does.
# (--force: the file has EEPROM data there.)
start_chip_server PIC16F628A
run 0 --port "$device" --window 64 program "$small" --serial "65535@E:0/2" --force --log "$log"
tail -n 1 "$log" | grep -q ",pass,65535,.*,no serial number left,$device\$" ||
    fail "the last serial number is not in the log: $(tail -n 1 "$log")"
grep -q "Next serial number" "$work/out" && fail "a next number after the last"
stop_server
echo "production session passed"
