#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# The tool where the system around it misbehaves: the board server dies in the
# middle of an operation, targets and inputs that are not regular files, a HEX
# file cut short, standard output as the target.
#   reliability_session.sh CORVANEL CORVANEL_BOARD SMALL_HEX WORK_FOLDER
set -u
tool=$1
board=$2
small=$3
work=$4

. "$(dirname "$0")/board_server_lib.sh"

run() {
    expected=$1
    shift
    "$tool" --model PIC16F628A "$@" >"$work/out" 2>"$work/err"
    code=$?
    cat "$work/out" "$work/err"
    [ "$code" -eq "$expected" ] || fail "corvanel $* gave exit $code, expected $expected"
}

expect_in() {
    grep -q -- "$2" "$work/$1" || fail "no \"$2\" in the $1"
}

# Runs a command and writes its user and system CPU seconds to $work/cpu (when
# the system has the time program).
timed() {
    if [ -x /usr/bin/time ]; then
        /usr/bin/time -f "%U %S" -o "$work/cpu" "$@"
    else
        "$@"
    fi
}

now_ms() {
    echo $(($(date +%s%N) / 1000000))
}

# --- The board server dies in the middle of an operation ---------------------------
# The tool fails at once with the port's own words (exit 3), not after the
# answer time-out, and waits without using the processor.
for operation in "verify $small" "read $work/lost.hex"; do
    start_chip_server PIC16F628A --baud 1200
    echo "0 0" >"$work/cpu"
    # shellcheck disable=SC2086
    timed "$tool" --model PIC16F628A --port "$device" $operation >"$work/out" 2>&1 &
    tool_pid=$!
    sleep 1.5
    killed=$(now_ms)
    kill -KILL "$server_pid"
    wait "$server_pid" 2>/dev/null
    server_pid=
    wait "$tool_pid"
    got=$?
    took=$(($(now_ms) - killed))
    cat "$work/out"
    [ "$got" -eq 3 ] || fail "a lost port during $operation gave exit $got, expected 3"
    grep -q "^Serial port lost: $device was removed\. Operation aborted\.$" "$work/out" ||
        fail "no lost-port status line"
    [ "$took" -le 1000 ] || fail "the tool took $took ms to give up the lost port"
    # The whole run, 1.5 s of it talking to the board: well under a second of CPU.
    cpu=$(awk '{ printf "%d", ($1 + $2) * 1000 }' "$work/cpu")
    [ "$cpu" -le 700 ] || fail "the tool used $cpu ms of CPU"
    [ ! -e "$work/lost.hex" ] || fail "a read cut off by a lost port wrote a file"
done

# --- A board of the original protocol, default settings ------------------------------
# Its reads end in 0, not 106: the protocol leaves that byte open. Program All,
# Verify and Read All with the window measured, as a new user runs them.
mv "$XDG_CONFIG_HOME/Tavrelix Corvanel/settings.ini" "$work/pinned.ini"
start_chip_server PIC16F628A
run 0 --port "$device" program "$small" --verify
expect_in out "Chip verified\."
run 0 --port "$device" read "$work/plain-read.hex"
same_words "$small" "$work/plain-read.hex"
stop_server
mv "$work/pinned.ini" "$XDG_CONFIG_HOME/Tavrelix Corvanel/settings.ini"

# --- A settings.ini that is no regular file is refused at once ------------------------
# A FIFO would hold every read of the settings until some program wrote it.
mkdir -p "$work/fifo-config/Tavrelix Corvanel"
mkfifo "$work/fifo-config/Tavrelix Corvanel/settings.ini"
XDG_CONFIG_HOME="$work/fifo-config" timeout 10 "$tool" --model PIC16F628A \
    --port "virtual:$work/virtual-chip.hex" verify "$small" >"$work/out" 2>"$work/err"
code=$?
cat "$work/out" "$work/err"
[ "$code" -eq 2 ] || fail "a FIFO settings.ini gave exit $code, expected 2"
expect_in err "Settings cannot be read: .*settings.ini is not a regular file\."

# --- A crash of the tool in the middle of Program All ---------------------------------
# Its crash handler writes voltages-off to the open port before the crash ends it.
start_chip_server PIC16F628A --baud 1200
(
    ulimit -c 0
    exec "$tool" --model PIC16F628A --port "$device" program "$small" >"$work/out" 2>&1
) &
tool_pid=$!
sleep 1.5
kill -SEGV "$tool_pid"
wait "$tool_pid"
got=$?
[ "$got" -eq $((128 + 11)) ] || fail "a crashed tool gave exit $got, expected $((128 + 11))"
stop_server
cat "$work/server.err"
grep -q "voltages off at exit" "$work/server.err" || fail "a crash of the tool left the voltages on"

# --- Targets that are not regular files are refused and left as they were ----------
mkfifo "$work/fifo"
mkdir "$work/folder.hex"
targets="$work/fifo $work/folder.hex"
# A twin of /dev/null (only root may make one).
if mknod "$work/null" c 1 3 2>/dev/null; then
    targets="$targets $work/null"
fi
for target in $targets; do
    run 1 convert "$small" "$target"
    expect_in out "HEX file not saved!"
    run 1 --port "virtual:$work/virtual-chip.hex" read "$target"
    expect_in out "HEX file not saved!"
    grep -q "Begin read all" "$work/out" && fail "the chip was read for a refused target"
    # Nothing read from a FIFO or a device: refused at once, without blocking.
    run 1 check "$target"
    expect_in out "HEX file not loaded!"
done
[ -p "$work/fifo" ] || fail "the FIFO was replaced"
[ -d "$work/folder.hex" ] || fail "the folder was replaced"
[ ! -e "$work/null" ] || [ -c "$work/null" ] || fail "the device node was replaced"
expect_in out "It is not a regular file\|It is a folder"
truncate -s 65M "$work/huge.hex"
run 1 check "$work/huge.hex"
expect_in out "It is larger than 64 MiB"

# --- Standard output as the target -------------------------------------------------
run 0 convert "$small" -
cmp "$work/out" "$small" || fail "convert IN - wrote something else than the file"
expect_in err "HEX file saved\."
run 0 --port "virtual:$work/virtual-chip.hex" program "$small"
run 0 --port "virtual:$work/virtual-chip.hex" read /dev/stdout
cmp "$work/out" "$small" || fail "read /dev/stdout wrote something else than the chip"
expect_in err "Chip read\."

# --- Read All verified against what was read ------------------------------------------
run 0 --port "virtual:$work/virtual-chip.hex" read "$work/verified.hex" --verify
grep -q "^Chip read\. .*" "$work/out" || fail "no read result"
grep -q "^Chip verified\. " "$work/out" || fail "the read was not verified"
cmp "$work/verified.hex" "$small" || fail "read --verify wrote something else than the chip"

# A byte changed on the line during Read All (answer 19 is the low byte of the
# first FLASH word, after the 14 answers of the device ID read and the check
# and section start): a plain read saves it as if it were right, which the
# protocol cannot see; --verify catches it and writes nothing.
cp "$work/virtual-chip.hex" "$work/chip-state.hex"
start_chip_server PIC16F628A --state "$work/chip-state.hex" --corrupt-answer 19
run 0 --port "$device" read "$work/garbled.hex"
cmp -s "$work/garbled.hex" "$small" && fail "the changed byte did not reach the file"
stop_server
start_chip_server PIC16F628A --state "$work/chip-state.hex" --corrupt-answer 19
run 1 --port "$device" read "$work/garbled-verified.hex" --verify
expect_in out "Chip verify failed"
[ ! -e "$work/garbled-verified.hex" ] || fail "read --verify wrote a file it could not trust"
stop_server

# --- A HEX file without its end record -----------------------------------------------
head -n -1 "$small" >"$work/cut.hex"
run 0 check "$work/cut.hex"
for command in program verify; do
    run 1 --port "virtual:$work/virtual-chip.hex" $command "$work/cut.hex"
    expect_in out "The file has no end record: it may be cut short\."
    grep -q "^Begin" "$work/out" && fail "$command of a cut-short file began"
done
run 0 --port "virtual:$work/virtual-chip.hex" --force program "$work/cut.hex"
expect_in out "Chip programmed\."

echo "reliability session passed"
