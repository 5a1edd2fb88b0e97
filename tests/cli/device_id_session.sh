#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# The device ID guard and "detect" over the real serial path: the board server
# emulates one chip after another (or an empty socket) on a pseudo-terminal.
#   device_id_session.sh CORVANEL CORVANEL_BOARD SMALL_HEX USUAL_CONFIG_HEX WORK_FOLDER
set -u
tool=$1
board=$2
small=$3
usual=$4
work=$5

. "$(dirname "$0")/board_server_lib.sh"

# start_server CHIP [OPTIONS...]
start_server() {
    start_chip_server "$@"
}

# run EXPECTED_EXIT MODEL ARGS...: runs the tool on the server's device.
run() {
    expected=$1
    model=$2
    shift 2
    "$tool" --model "$model" --port "$device" "$@" >"$work/out" 2>&1
    code=$?
    cat "$work/out"
    [ "$code" -eq "$expected" ] || fail "corvanel --model $model $* gave exit $code, expected $expected"
}

expect_output() {
    grep -qF -- "$1" "$work/out" || fail "no \"$1\" in the output"
}

reject_output() {
    ! grep -qF -- "$1" "$work/out" || fail "\"$1\" in the output"
}

# Another chip in the socket: refused, then --force goes on.
start_server PIC16F877A --revision 2
run 1 PIC16F628A program "$small"
expect_output "The chip in the socket answers as PIC16F877A (ID 0E20h, revision 2), not PIC16F628A. Continue?"
expect_output "Program all cancelled."
reject_output "Chip programmed."
run 0 PIC16F628A --force program "$small"
expect_output "Chip programmed."
stop_server

# No chip: the ID reads 3FFFh.
start_server none
run 1 PIC16F628A erase
expect_output "No chip found (device ID 3FFFh). Continue?"
expect_output "Erase all cancelled."
run 1 PIC16F628A detect
expect_output "No chip found (device ID 3FFFh)."
stop_server

# The usual configuration word of a 16F628A program: programs and verifies.
start_server PIC16F628A
run 0 PIC16F628A program "$usual" --verify
expect_output "Chip verified."
stop_server

# detect names the emulated chip, whichever model is applied (the 16F84A model
# powers up Vdd first; the 16F62xA only answer when Vpp comes first). Every chip
# is named in-process by the board tests; here one of each kind goes over the
# serial path: no device ID, an ID two models share, a classic and an enhanced
# core, an LF part.
for chip in PIC16F84 PIC16F636 PIC16F877A PIC12F629 PIC16F1847 PIC16LF1554; do
    start_server "$chip" --revision 5
    if [ "$chip" = PIC16F84 ]; then
        # It has no device ID: the location reads 0000h.
        run 1 PIC16F84A detect
        expect_output "No chip found (device ID 0000h)."
    else
        run 0 PIC16F84A detect
        # The 16F636 and 16F639 share one ID: both are named.
        expect_output "The chip in the socket answers as "
        grep -q "answers as .*$chip.* (ID " "$work/out" || fail "$chip not named"
        expect_output ", revision 5)."
    fi
    stop_server
done
echo "device ID session passed"
