#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# The line rate agreed through identify, over the board server: with default
# settings the tool switches a board that carries every rate to the fastest
# (2000000 baud) and programs and verifies there; a bridge that loses every byte
# above 250000 baud (--drop-above) fails the faster checks and the tool falls
# back, completes at 250000 and leaves the board at its starting rate (the next
# tool finds it there); a rate the user gave (--baud) is kept; a board of the
# original protocol is used exactly as before.
#   line_rate_session.sh CORVANEL CORVANEL_BOARD DATA WORK
set -u
tool=$1
board=$2
data=$3
work=$4
identify_board=1
. "$(dirname "$0")/board_server_lib.sh"
# Sending ahead as the defaults do: no window pinned.
printf '[General]\n' >"$work/config/Tavrelix Corvanel/settings.ini"
hex=$data/program_16f877a.hex
# Program All of a whole image costs some 25 s of the host's programming waits
# at any rate: the fastest rate carries the whole image once, the fall-back and
# the plain board program a few words (Verify still reads the whole chip at the
# rate the run agreed).
few=$work/few-877a.hex
sed 's/^:02400E00623F0F/:02400E00723FFF/' "$data/small_16f628a.hex" >"$few"

start_chip_server PIC16F877A --baud 56000 --rx-buffer 255
run_model 0 PIC16F877A --port "$device" program "$hex" --verify
expect_output "line 2000000 baud"
expect_output "Chip verified."
stop_server

start_chip_server PIC16F877A --baud 56000 --rx-buffer 255 --drop-above 250000
run_model 0 PIC16F877A --port "$device" program "$few" --verify
expect_output "line 250000 baud"
expect_output "Chip verified."
# Sent back to its starting rate on closing, and a pinned rate sends no 47h.
[ "$(grep "line rate" "$work/server.err" | tail -n 1)" = "corvanel-board: line rate 56000 baud" ] ||
    fail "the board was not sent back to its starting rate"
run_model 0 PIC16F877A --port "$device" --baud 56000 verify "$few"
expect_output "Chip verified."
! grep -q "line [0-9]* baud" "$work/out" || fail "a pinned rate was switched"
stop_server
! grep -q "receive buffer full" "$work/server.err" || fail "the board lost bytes"

identify_board=0
start_chip_server PIC16F877A --baud 56000
run_model 0 PIC16F877A --port "$device" program "$few" --verify
expect_output "Chip verified."
! grep -q "line [0-9]* baud" "$work/out" || fail "a plain board was switched"
stop_server
echo "line rate session passed"
