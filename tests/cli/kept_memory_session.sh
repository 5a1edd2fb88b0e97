#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Memories kept through program over the board server, when the line or the
# board fails: a garbled answer byte in the read before the erase is never
# written back as the chip's own (every run keeps the chip's memories exactly
# or fails with its message and a non-zero exit); a board that goes silent
# after the erase leaves the kept EEPROM in a rescue file, which the next
# program writes back; a rescue file that cannot be written erases nothing; a
# stop signal never leaves a "pass" line with a non-zero exit.
#   kept_memory_session.sh CORVANEL CORVANEL_BOARD SMALL_HEX OTHER_HEX WORK_FOLDER
set -u
tool=$1
board=$2
small=$3
other=$4
work=$5

. "$(dirname "$0")/board_server_lib.sh"

dump_state() {
    "$tool" --model PIC16F628A dump "$1" >"$work/dump" 2>&1 || fail "the chip state does not load"
}

# A chip with EEPROM AA BB and configuration 3F61, kept as a state file.
start_chip_server PIC16F628A --state "$work/chip.hex"
"$tool" --model PIC16F628A --port "$device" --window 64 program "$other" --verify >/dev/null 2>&1 ||
    fail "the chip cannot be programmed"
stop_server
dump_state "$work/chip.hex"
eeprom_before=$(grep '^00[0-7][0-9A-F]:' "$work/dump" | sed -n '/^0000:/,$p' | head -16)
conf_before=$(grep '^CONF1:' "$work/dump")

# --- A garbled byte in either read before the erase ------------------------------
# The answer bytes of the 16F628A's Read All with --window 64: the EEPROM's
# data from 14358 (seven answer bytes a byte), the configuration word at
# 15265-15266; the second read begins 15291 bytes later. The first EEPROM
# bytes (with the echo and end bytes around them), the last one and the
# configuration word's two bytes are garbled once each, in both reads.
wrong=0
refused=0
case_run() {
    mode=$1
    k=$2
    shift 2
    cp "$work/chip.hex" "$work/case.hex"
    start_chip_server PIC16F628A --state "$work/case.hex" --corrupt-answer "$k"
    "$tool" --model PIC16F628A --port "$device" --window 64 program "$small" --verify "$@" \
        --log "$work/garbled.csv" >"$work/out" 2>&1
    code=$?
    stop_server
    dump_state "$work/case.hex"
    if [ "$code" -eq 0 ]; then
        if [ "$mode" = eeprom ]; then
            now=$(grep '^00[0-7][0-9A-F]:' "$work/dump" | sed -n '/^0000:/,$p' | head -16)
            [ "$now" = "$eeprom_before" ] || { echo "WRONG SUCCESS at $k ($*)"; wrong=$((wrong + 1)); }
        else
            [ "$(grep '^CONF1:' "$work/dump")" = "$conf_before" ] ||
                { echo "WRONG SUCCESS at $k ($*)"; wrong=$((wrong + 1)); }
        fi
        tail -n 1 "$work/garbled.csv" | grep -q ',pass,' || fail "exit 0 without a pass line at $k"
    else
        grep -q "corvanel: \|Operation aborted\|not responding" "$work/out" ||
            fail "exit $code without a message at $k: $(cat "$work/out")"
        tail -n 1 "$work/garbled.csv" | grep -q ',fail,.*,[^,]' ||
            fail "exit $code without a fail line and its reason at $k: $(tail -n 1 "$work/garbled.csv")"
        grep -q "two reads of the chip differ" "$work/out" && refused=$((refused + 1))
    fi
}
for base in 0 15291; do
    for k in 14357 14358 14359 14365 14366 15247; do
        case_run eeprom $((base + k)) --preserve-eeprom
    done
    for k in 15265 15266; do
        case_run config $((base + k)) --only flash,eeprom,id
    done
done
[ "$wrong" -eq 0 ] || fail "$wrong wrong successes"
[ "$refused" -ge 6 ] || fail "only $refused runs refused on differing reads"
echo "garbled reads: 0 wrong successes, $refused refused on differing reads"

# --- Silent after the erase: the kept EEPROM waits in a rescue file --------------
rescue="$XDG_CONFIG_HOME/Tavrelix Corvanel/kept-PIC16F628A.hex"
erased=
for n in 30600 30650 30700 30750 30800; do
    cp "$work/chip.hex" "$work/case.hex"
    rm -f "$rescue"
    start_chip_server PIC16F628A --state "$work/case.hex" --stop-after "$n"
    "$tool" --model PIC16F628A --port "$device" --window 64 program "$small" --preserve-eeprom \
        >"$work/out" 2>&1 && fail "a silent board gave exit 0"
    stop_server
    dump_state "$work/case.hex"
    if grep -q '^0000: FF FF FF FF' "$work/dump"; then
        erased=$n
        break
    fi
done
[ -n "$erased" ] || fail "no --stop-after run ended between the erase and the write-back"
[ -f "$rescue" ] || fail "the erased EEPROM is in no rescue file"
# Without --force the question is answered No: the file stays.
start_chip_server PIC16F628A --state "$work/case.hex"
"$tool" --model PIC16F628A --port "$device" --window 64 program "$small" --verify >"$work/out" 2>&1 ||
    fail "program without the rescue: $(cat "$work/out")"
grep -q "stay in" "$work/out" || fail "the rescue file was not offered: $(cat "$work/out")"
[ -f "$rescue" ] || fail "the rescue file went without being used"
# --force writes it back, over the file's own EEPROM, and the file has served.
"$tool" --model PIC16F628A --port "$device" --window 64 program "$small" --verify --force \
    >"$work/out" 2>&1 || fail "program --force: $(cat "$work/out")"
stop_server
dump_state "$work/case.hex"
grep -q '^0000: AA BB FF' "$work/dump" || fail "the kept EEPROM is not back: $(grep '^0000:' "$work/dump")"
[ -f "$rescue" ] && fail "the rescue file is still there after the write-back"

# --- The rescue file cannot be written: nothing is erased -------------------------
# (A folder at its name stands for a full disk or a read-only folder: root writes
# through permissions, and not every system lets a test mount a small tmpfs.)
mkdir "$rescue"
start_chip_server PIC16F628A --state "$work/case.hex"
"$tool" --model PIC16F628A --port "$device" --window 64 program "$other" --preserve-eeprom \
    --log "$work/unsaved.csv" >"$work/out" 2>&1
code=$?
stop_server
cat "$work/out"
[ "$code" -eq 1 ] || fail "an unsaved rescue file gave exit $code, expected 1"
grep -q "eeprom cannot be saved in $rescue: It is a folder" "$work/out" ||
    fail "no word of where the kept EEPROM cannot be saved"
grep -q "Erase the chip anyway?" "$work/out" || fail "no question before the erase"
tail -n 1 "$work/unsaved.csv" | grep -q ',cancelled,' || fail "not logged cancelled"
dump_state "$work/case.hex"
grep -q '^0000: AA BB FF' "$work/dump" || fail "the EEPROM was touched: $(grep '^0000:' "$work/dump")"
grep -q '^000000: 2805' "$work/dump" || fail "the FLASH was touched: $(grep '^000000:' "$work/dump")"
rmdir "$rescue"

# --- A stop signal at any moment: the log and the exit status agree ---------------
start_chip_server PIC16F628A
for delay in 0.2 0.4 0.6 0.8 1.0 1.3 1.6 2.0; do
    "$tool" --model PIC16F628A --port "$device" --window 64 program "$small" --verify \
        --log "$work/signal.csv" >"$work/out" 2>&1 &
    pid=$!
    sleep "$delay"
    kill -INT "$pid" 2>/dev/null
    wait "$pid"
    code=$?
    last=$(tail -n 1 "$work/signal.csv" 2>/dev/null)
    case "$last" in
        *,pass,*) [ "$code" -eq 0 ] || fail "a pass line with exit $code after $delay s" ;;
    esac
    if [ "$code" -eq 0 ]; then
        case "$last" in *,pass,*) ;; *) fail "exit 0 without a pass line after $delay s" ;; esac
    fi
    : >"$work/signal.csv"
done
stop_server
echo "kept memory session passed"
