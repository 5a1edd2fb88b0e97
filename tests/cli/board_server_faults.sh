#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# The command-line tool against a board server that misbehaves: an answer byte
# sent twice, a noise byte on the line, and a stop signal in the middle of an
# operation. A failure is never reported as success, no file is written from a
# failed read, and the board is always left with its voltages off.
#   board_server_faults.sh CORVANEL CORVANEL_BOARD SMALL_HEX WORK_FOLDER
set -u
tool=$1
board=$2
small=$3
work=$4

. "$(dirname "$0")/board_server_lib.sh"

out_of_step="Programmer answers out of step! Operation aborted."

start_server() {
    start_chip_server PIC16F628A "$@"
}

# Stops the server once it has taken in what was sent; it reports the voltages.
stop_checked_server() {
    sleep 0.3
    stop_server
    grep -q "voltages off at exit" "$work/server.err" ||
        fail "the board was left with its voltages on: $(cat "$work/server.err")"
}

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

refuse_output() {
    if grep -q -- "$1" "$work/out"; then fail "\"$1\" in the output"; fi
}

# Files: a name that is not valid UTF-8 reaches the file system unchanged, a
# dangling link is written through, a read-only file is refused and kept.
odd=$(printf 'chip-\377\376.hex')
run 0 convert "$small" "$work/$odd"
cmp "$small" "$work/$odd" || fail "the file with the odd name differs"
run 0 check "$work/$odd"
ln -s "$work/linked-target.hex" "$work/link.hex"
run 0 convert "$small" "$work/link.hex"
[ -L "$work/link.hex" ] || fail "the link was replaced by a file"
cmp "$small" "$work/linked-target.hex" || fail "the link's target was not written"
printf 'keep\n' >"$work/locked.hex"
chmod 444 "$work/locked.hex"
run 1 convert "$small" "$work/locked.hex"
expect_output "The file is read-only"
[ "$(cat "$work/locked.hex")" = keep ] || fail "a read-only file was replaced"
ls -A "$work" | grep -q '\.tmp$' && fail "a temporary file was left: $(ls -A "$work")"

# Ctrl-C on the in-process board, which answers at once and so keeps the tool
# inside its steps: the operation still stops at once, exit 130.
# A whole verify takes about 10 ms there, so the tool's output comes through a
# pipe and the signal goes the moment "Begin verify" is read. On a machine fast
# enough to finish before the signal lands the attempt is made again; a verify
# that ended by itself must still say it failed (the virtual chip is blank).
mkfifo "$work/verify-pipe"
attempt=0
while :; do
    attempt=$((attempt + 1))
    : >"$work/out"
    "$tool" --model PIC16F877A --port "virtual:$work/virtual-chip.hex" verify "$small" \
        >"$work/verify-pipe" 2>&1 &
    tool_pid=$!
    exec 3<"$work/verify-pipe"
    started=$(date +%s)
    while IFS= read -r line <&3; do
        printf '%s\n' "$line" >>"$work/out"
        case $line in
        *"Begin verify"*)
            kill -INT "$tool_pid"
            break
            ;;
        esac
    done
    cat <&3 >>"$work/out"
    exec 3<&-
    wait "$tool_pid"
    got=$?
    elapsed=$(( $(date +%s) - started ))
    cat "$work/out"
    if [ "$got" -eq 1 ] && grep -q "Chip verify failed" "$work/out" && [ "$attempt" -lt 20 ]; then
        echo "(the verify ended before the signal came: attempt $attempt, again)"
        continue
    fi
    break
done
rm -f "$work/verify-pipe"
[ "$got" -eq 130 ] || fail "Ctrl-C on the virtual board gave exit $got, expected 130"
expect_output "Interrupted: operation stopped, voltages off."
refuse_output "Chip verified."
[ "$elapsed" -le 3 ] || fail "Ctrl-C took $elapsed seconds to stop the operation"

# Read All with a doubled answer, and with a noise byte, early and late in the
# read: exit 1, the new status, no file.
for fault in "--duplicate-answer 40" "--garbage-answer 40" "--duplicate-answer 10280" \
    "--garbage-answer 10295"; do
    # shellcheck disable=SC2086
    start_server $fault
    run 1 --port "$device" read "$work/read.hex"
    expect_output "$out_of_step"
    refuse_output "Chip read."
    [ ! -e "$work/read.hex" ] || fail "a failed read ($fault) wrote a file"
    stop_checked_server
done

# Program the chip on a sound board, then verify it with a doubled answer and
# with noise: the verify fails and says why, not "Chip verified.".
start_server --state "$work/chip.hex"
run 0 --port "$device" program "$small" --verify
stop_checked_server
for fault in "--duplicate-answer 200" "--garbage-answer 200"; do
    # shellcheck disable=SC2086
    start_server --state "$work/chip.hex" $fault
    run 1 --port "$device" verify "$small"
    expect_output "$out_of_step"
    refuse_output "Chip verified."
    stop_checked_server
done

# Program All with a doubled answer reports failure, not "Chip programmed.".
start_server --duplicate-answer 30
run 1 --port "$device" program "$small"
expect_output "$out_of_step"
refuse_output "Chip programmed."
stop_checked_server

# SIGTERM and SIGHUP in the middle of a slow read: voltages off, exit 128 + signal,
# no file.
for signal in TERM:143 HUP:129; do
    name=${signal%%:*}
    code=${signal##*:}
    start_server --baud 1200
    "$tool" --model PIC16F628A --port "$device" read "$work/slow.hex" >"$work/out" 2>&1 &
    tool_pid=$!
    sleep 1.5
    kill -"$name" "$tool_pid"
    wait "$tool_pid"
    got=$?
    cat "$work/out"
    [ "$got" -eq "$code" ] || fail "SIG$name gave exit $got, expected $code"
    expect_output "Interrupted: operation stopped, voltages off."
    [ ! -e "$work/slow.hex" ] || fail "an interrupted read wrote a file"
    stop_checked_server
done
echo "board server fault session passed"
