#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# The chip's supply and programming voltage as the tool sees them:
# - an LF part on a board whose Vdd is 5 V (told with --vdd, or reported by the
#   board) or not known at all is refused before the board hears a command;
# - on the simulated firmware board, whose ADC reads the Vpp the harness feeds it,
#   a 13 V Vpp is refused before voltages-on with the measured value, 8.5 V
#   programs and verifies a 16F1847 (a word: the simulated AVR is slow, and the
#   firmware tests program whole images), and a 16LF1554 is programmed at the 3.3 V
#   the firmware selects for it, with no fault on the emulated chip;
# - a firmware board that resets when its port is opened hears nothing from the
#   tool before its banner.
#   electrical_session.sh CORVANEL CORVANEL_BOARD CORVANEL_SIMBOARD FIRMWARE_ELF DATA WORK
set -u
tool=$1
board=$2
simboard=$3
firmware=$4
data=$5
work=$6

. "$(dirname "$0")/board_server_lib.sh"
# The default send-ahead: the firmware board declares its buffer and the host
# uses it (lock-step through the simulated AVR would take minutes).
sed -i '/^Send-Ahead/d' "$XDG_CONFIG_HOME/Tavrelix Corvanel/settings.ini"

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

server_clean() {
    stop_server
    cat "$work/server.err"
    ! grep -q "fault" "$work/server.err" || fail "the emulated chip recorded a fault"
    grep -q "voltages off at exit" "$work/server.err" || fail "voltages left on"
}

# One word of code at 0000h: enough for any model.
small=$work/one_word.hex
printf ':020000000030CE\n:00000001FF\n' >"$small"

# The in-process board at 5 V, an LF part: refused, nothing programmed.
run 1 --model PIC16LF1554 --port virtual --vdd 5 program "$small"
expect_output "Vdd"
run 0 --model PIC16LF1554 --port virtual --vdd 3.3 program "$small" --verify

# A board of the original protocol says nothing of its Vdd: an LF part is asked
# about first (no answer here: refused), and the chip never powered.
start_chip_server PIC16LF1554 --vdd 3.3
run 1 --model PIC16LF1554 --port "$device" program "$small"
expect_output "Vdd"
server_clean

# The firmware measures Vpp: 13 V would destroy a 16F1847 (9.0 V at most). The
# simulated board resets at each open, as an Uno or a Nano does: the tool sees the
# banner and gives identify the long wait of a board that announced itself (a
# simulation slowed by a loaded machine still answers within it).
board=$simboard
start_chip_server PIC16F1847 --firmware "$firmware" --vpp 13 --reset-on-open
run 1 --model PIC16F1847 --port "$device" --banner-wait program "$data/hex_16f1847.hex"
expect_output "The board measured a Vpp of 1"
server_clean

start_chip_server PIC16F1847 --firmware "$firmware" --vpp 8.5 --reset-on-open
run 0 --model PIC16F1847 --port "$device" --banner-wait program "$small" --verify
expect_output "Vpp 8."
server_clean

# An LF part on the firmware board: the host selects 3.3 V before voltages-on.
start_chip_server PIC16LF1554 --firmware "$firmware" --reset-on-open
run 0 --model PIC16LF1554 --port "$device" --banner-wait program "$small" --verify
expect_output "Vdd 3.3 V"
server_clean
# An Uno or a Nano resets when its port is opened, and its bootloader holds the
# line before the firmware starts and sends its banner: the tool waits for the
# banner (as on every serial device; --banner-wait on this pseudo-terminal) and
# the board hears nothing before it. The server says, for each open, whether a
# byte came before the banner had gone out. The second open resets the board
# again: the restarted firmware must drive the pins as the first one did.
start_chip_server PIC16F1847 --firmware "$firmware" --vpp 8.5 --reset-on-open
for _ in 1 2; do
    run 0 --model PIC16F1847 --port "$device" --banner-wait detect
    expect_output "PIC16F1847"
done
server_clean
[ "$(grep -c "banner out .* the host's first byte" "$work/server.err")" -eq 2 ] ||
    fail "the board was not reset at each opening of the port"
! grep -q "before the banner" "$work/server.err" || fail "the host spoke before the banner"
echo "electrical session passed"
