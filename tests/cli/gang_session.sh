#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Several boards at once over board servers. Four boards, `program --repeat`
# with a --port each and serial numbers: two chips on every board (swapped in
# by this script with SIGUSR1 and SIGUSR2 to its server), each chip with its
# own number, read back from the chips in the sockets; one log line per chip
# naming its port; no chip left in a socket programmed twice; Ctrl-C ends all
# four with their voltages off and a summary per board and one for all. Then
# two boards, one going silent during its first chip: that chip fails, and its
# number goes to the next chip of the other board.
#   gang_session.sh CORVANEL CORVANEL_BOARD SMALL_HEX WORK_FOLDER
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
out=$work/gang.out
tool_pid=

fail_gang() {
    [ -n "$tool_pid" ] && kill -INT "$tool_pid" 2>/dev/null
    echo "--- tool output:"
    cat "$out"
    echo "--- log:"
    cat "$log" 2>/dev/null
    fail "$@"
}

# wait_for COUNT PATTERN: until the output has COUNT lines matching PATTERN (90 s at most).
wait_for() {
    tries=0
    while [ "$(grep -c -- "$2" "$out" 2>/dev/null)" -lt "$1" ]; do
        tries=$((tries + 1))
        [ $tries -lt 900 ] || fail_gang "no $1 lines \"$2\""
        kill -0 "$tool_pid" 2>/dev/null || fail_gang "the tool ended early"
        sleep 0.1
    done
}

# start_gang SERIAL: the tool on every board of $devices.
start_gang() {
    serial=$1
    set --
    for d in $devices; do
        set -- "$@" --port "$d"
    done
    rm -f "$log"
    "$tool" --model PIC16F628A "$@" program "$small" --repeat --serial "$serial@F:10" \
        --log "$log" >"$out" 2>&1 &
    tool_pid=$!
}

stop_gang() {
    kill -INT "$tool_pid"
    wait "$tool_pid"
    code=$?
    tool_pid=
    cat "$out"
    [ "$code" -eq "$1" ] || fail "the tool ended with $code after Ctrl-C, expected $1"
}

# Several ports are for a series on each board only, and a board is named once.
"$tool" --model PIC16F628A --port a --port b program "$small" >"$out" 2>&1
[ $? -eq 2 ] && grep -q 'several --port options are for program --repeat' "$out" ||
    fail "several ports without --repeat: $(cat "$out")"
"$tool" --model PIC16F628A --port a --port b --port a program "$small" --repeat >"$out" 2>&1
[ $? -eq 2 ] && grep -q -- '--port a is given twice' "$out" || fail "a port given twice: $(cat "$out")"

# --- Four boards, two chips each.
start_board_servers 4 PIC16F628A --revision 2
start_gang 1000
for round in 1 2; do
    for d in $devices; do
        wait_for "$round" "^$d: PASS$"
        wait_for "$round" "^$d: Remove the chip\.$"
    done
    # Left in their sockets for a dozen reads: not programmed again.
    sleep 4
    for d in $devices; do
        [ "$(grep -c "^$d: PASS$" "$out")" -eq "$round" ] || fail_gang "$d programmed a chip twice"
    done
    if [ "$round" -eq 1 ]; then
        for pid in $server_pids; do
            kill -USR1 "$pid"
        done
        for d in $devices; do
            wait_for 1 "^$d: Chip removed\."
        done
        for pid in $server_pids; do
            kill -USR2 "$pid"
        done
    fi
done
stop_gang 130
[ "$(grep -c '^/.*: Interrupted: voltages off\.$\|^/.*: Interrupted: operation stopped, voltages off\.$' "$out")" -eq 4 ] ||
    fail "not every board said its voltages are off"
for d in $devices; do
    grep -q "^$d: Repeat ended: 2 chips, 2 passed, 0 failed\.$" "$out" || fail "no summary of $d"
done
grep -q '^All 4 boards: 8 chips, 8 passed, 0 failed\.$' "$out" || fail "no summary of all boards"
[ "$(sed -n 1p "$log")" = "time,model,device_id,revision,checksum,result,serial,file,file_checksum,reason,port" ] ||
    fail "the log's header: $(sed -n 1p "$log")"
[ "$(grep -c ',pass,' "$log")" -eq 8 ] || fail "not 8 pass lines: $(cat "$log")"
[ "$(sed 1d "$log" | wc -l)" -eq 8 ] || fail "not one log line per chip: $(cat "$log")"
[ "$(cut -d, -f7 "$log" | sed 1d | sort -n | tr '\n' ' ')" = "1000 1001 1002 1003 1004 1005 1006 1007 " ] ||
    fail "the serial numbers are not 1000 to 1007 once each: $(cat "$log")"
for d in $devices; do
    [ "$(grep -c ",$d\$" "$log")" -eq 2 ] || fail "not two lines of $d in the log"
done
# What the chips in the sockets hold is what the log says each board's last chip got.
for d in $devices; do
    "$tool" --model PIC16F628A --port "$d" read "$work/chip.hex" >"$work/read.out" 2>&1 ||
        fail "the chip on $d cannot be read: $(cat "$work/read.out")"
    serial=$(grep ",$d\$" "$log" | tail -n 1 | cut -d, -f7)
    expected=$(printf '000010: 34%02X 34%02X' $((serial % 256)) $((serial / 256)))
    "$tool" --model PIC16F628A dump "$work/chip.hex" | grep -q "^$expected" ||
        fail "the chip on $d lacks serial number $serial"
done
stop_board_servers
for n in 1 2 3 4; do
    grep -q 'voltages off at exit' "$work/board$n.err" || fail "board $n was left powered"
done

# --- Two boards, the second going silent during its first chip's Program All.
start_board_servers 1 PIC16F628A --revision 2
server_name=board2
start_chip_server PIC16F628A --revision 2 --stop-after 300
server_pids="$server_pids $server_pid"
devices="$devices $device"
server_pid=
server_name=server
first=${devices% *}
first=${first# }
second=${devices##* }
start_gang 2000
wait_for 1 "^$first: PASS$"
wait_for 1 "^$second: FAIL$"
set -- $server_pids
kill -USR1 "$1"
wait_for 1 "^$first: Chip removed\."
kill -USR2 "$1"
wait_for 2 "^$first: PASS$"
stop_gang 130
failed=$(grep ',fail,' "$log" | cut -d, -f7)
[ "$(grep -c ",fail,.*,$second\$" "$log")" -eq 1 ] || fail "the silent board's chip is not logged failed"
grep -q ",pass,$failed,.*,$first\$" "$log" || fail "number $failed of the failed chip was not used again"
[ "$(grep ',pass,' "$log" | cut -d, -f7 | sort -n | tr '\n' ' ')" = "2000 2001 " ] ||
    fail "the chips that passed do not carry 2000 and 2001: $(cat "$log")"
grep -q '^All 2 boards: 3 chips, 2 passed, 1 failed\.$' "$out" || fail "no summary of all boards"
stop_board_servers

# --- The last two numbers on three boards: the third board waits while the
# others hold them, and every board ends its series once both chips passed.
start_board_servers 3 PIC16F628A --revision 2
start_gang 65534
wait "$tool_pid"
code=$?
tool_pid=
cat "$out"
[ "$code" -eq 0 ] || fail "the series of two numbers ended with $code"
[ "$(grep -c ',pass,6553[45],' "$log")" -eq 2 ] && [ "$(sed 1d "$log" | wc -l)" -eq 2 ] ||
    fail "not one line for each of the two numbers: $(cat "$log")"
[ "$(cut -d, -f7 "$log" | sed 1d | sort -u | wc -l)" -eq 2 ] || fail "a number went to two chips"
grep -q ': Waiting for a serial number the other boards may hand back\.$' "$out" ||
    fail "the third board did not wait"
grep -q ': Not programmed: no serial number left\.$\|: Series complete: no serial number left\.$' "$out" ||
    fail "the third board did not end for want of a number"
grep -q '^All 3 boards: 2 chips, 2 passed, 0 failed\.$' "$out" || fail "no summary of all boards"
stop_board_servers

# --- Ctrl-C while four boards program (slow answers keep them at it): every
# operation stops with the voltages off, every chip is logged cancelled, and
# every number comes back.
start_board_servers 4 PIC16F628A --revision 2 --delay-ms 3
start_gang 3000
for d in $devices; do
    wait_for 1 "^$d: Begin program all\.$"
done
stop_gang 130
[ "$(grep -c '^/.*: Interrupted: operation stopped, voltages off\.$' "$out")" -eq 4 ] ||
    fail "not every operation was stopped"
[ "$(grep -c ',cancelled,.*,stopped by signal 2,' "$log")" -eq 4 ] || fail "not four cancelled lines: $(cat "$log")"
grep -q '^All 4 boards: 4 chips, 0 passed, 0 failed, 4 cancelled\.$' "$out" || fail "no summary of all boards"
grep -q '^Serial numbers not used: 3000 3001 3002 3003\.$' "$out" || fail "the numbers did not come back"
stop_board_servers
for n in 1 2 3 4; do
    grep -q 'voltages off at exit' "$work/board$n.err" || fail "board $n was left powered"
done
echo "gang session passed"
