#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# The factory calibration of a 12F675 (OSCCAL at 03FFh, band-gap bits 13:12 of the
# configuration word) through Erase All and Program All that end after the erase:
# the board falls silent, an answer is lost, Ctrl-C or SIGTERM comes. In every case
# the chip keeps its calibration, or the tool prints it and keeps it in the recovery
# file, from which the next Erase All writes it back (--force answers the offer).
#   calibration_session.sh CORVANEL CORVANEL_BOARD WORK_FOLDER
set -u
tool=$1
board=$2
work=$3

. "$(dirname "$0")/board_server_lib.sh"

state="$work/chip.hex"
recovery="$XDG_CONFIG_HOME/Tavrelix Corvanel/calibration-PIC12F675.txt"
printf ':020000000528D1\r\n:00000001FF\r\n' >"$work/one-word.hex"

# osccal_of FILE: the word at 03FFh of a chip state file.
osccal_of() {
    "$tool" --model PIC12F675 dump "$1" | sed -n 's/^0003F8:.* \([0-9A-F]\{4\}\)$/\1/p'
}

# A chip with its factory calibration, saved to the state file.
start_chip_server PIC12F675 --state "$state"
"$tool" --model PIC12F675 --port "$device" read "$work/factory.hex" >/dev/null ||
    fail "the factory chip could not be read"
stop_server
factory=$(osccal_of "$state")
[ -n "$factory" ] && [ "$factory" != 3FFF ] || fail "no factory calibration ($factory)"

# case OPERATION HOW [SERVER OPTIONS...]: HOW is "fault" (the server option does
# it) or a signal name sent DELAY seconds after the start ("INT:0.8").
case_run() {
    operation=$1
    how=$2
    shift 2
    cp "$work/factory.hex" "$state"
    rm -f "$recovery"
    start_chip_server PIC12F675 --state "$state" "$@"
    if [ "$operation" = program ]; then
        set -- program "$work/one-word.hex"
    else
        set -- erase
    fi
    "$tool" --model PIC12F675 --port "$device" "$@" >"$work/out" 2>&1 &
    tool_pid=$!
    case $how in
        fault) ;;
        *) sleep "${how#*:}"; kill "-${how%%:*}" "$tool_pid" ;;
    esac
    wait "$tool_pid"
    code=$?
    stop_server
    now=$(osccal_of "$state")
    echo "$operation $how: exit $code, OSCCAL $now$(grep -q "Stopping once" "$work/out" && echo ", the stop waited for the write-back")"
    if [ "$now" = "$factory" ]; then
        [ -e "$recovery" ] && [ "$code" -eq 0 ] && fail "$operation $how: a recovery file after a success"
        return
    fi
    # Lost in the chip: it must have been printed and kept, and never a success.
    [ "$code" -ne 0 ] || fail "$operation $how: calibration lost, exit 0"
    grep -q "OSCCAL was ${factory}h" "$work/out" || { cat "$work/out"; fail "$operation $how: the calibration was not printed"; }
    [ -e "$recovery" ] || fail "$operation $how: no recovery file"
    start_chip_server PIC12F675 --state "$state"
    "$tool" --model PIC12F675 --port "$device" --force erase >"$work/out" 2>&1 ||
        { cat "$work/out"; fail "$operation $how: the recovery was not written back"; }
    stop_server
    [ "$(osccal_of "$state")" = "$factory" ] || fail "$operation $how: the recovery did not restore OSCCAL"
    [ ! -e "$recovery" ] || fail "$operation $how: the recovery file outlived its use"
}

case_run erase fault --stop-after 4500   # silent after the erase
case_run erase fault --stop-after 6000   # silent during the write-back
case_run erase fault --drop-answer 2200  # one answer lost after the erase
for delay in 0.8 3.4 5.0; do  # before, during and after the erase-and-restore
    case_run erase "INT:$delay" --baud 56000
done
# SIGTERM takes the same handler as Ctrl-C: once, in the middle, is enough.
case_run erase TERM:3.4 --baud 56000
# Program All begins with the same erase-and-restore: Ctrl-C in its middle.
# Its ends by a silent board or a lost answer are the in-process
# DeviceFileBoardTest.CalibrationSurvivesAnOperationEndedAfterTheErase's.
case_run program INT:3.4 --baud 56000
echo "calibration session passed"
