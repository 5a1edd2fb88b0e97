#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# The real serial path with the fast link and 64 answers sent ahead, once per
# command set: the board server emulates the smallest chip of each set on a
# pseudo-terminal, and the tool programs, verifies, reads, erases and
# blank-checks it. The serial path depends on the model only through the
# command set's framing; every model runs the five operations in-process, and
# one model of every emulated family the same with the fast link and
# send-ahead (tests/integration/fast_link_board_test.cpp).
#   command_set_session.sh CORVANEL CORVANEL_BOARD WORK_FOLDER
set -u
tool=$1
board=$2
work=$3

. "$(dirname "$0")/board_server_lib.sh"

# Four program words and no configuration word, so that no chip ends up protected.
hex=$work/four-words.hex
printf ':080000000528800064000800DF\r\n:00000001FF\r\n' >"$hex"

run() {
    # An LF part is refused while the board's Vdd is unknown: this board gives 3.3 V.
    case $model in
        *LF*) vdd=3.3 ;;
        *) vdd=5 ;;
    esac
    "$tool" --model "$model" --port "$device" --vdd "$vdd" --fast --window 64 "$@" >"$work/out" 2>&1
    code=$?
    [ "$code" -eq 0 ] || { cat "$work/out"; fail "$model: corvanel $* gave exit $code"; }
}

# The smallest chip of each command set that the database has, from the
# emulator's family rows: a small memory is read, verified and blank-checked in
# a fraction of the time.
"$tool" models | awk '{ print $2, $3 }' >"$work/models"
# Each family row with its command set: 8 for the 8-bit set, else 6.
"$board" --families |
    awk -F'|' 'NR > 2 && NF < 2 { exit } NR > 2 { print ($5 ~ /8-bit set/ ? 8 : 6) " " $3 }' >"$work/families"
picked=
for want in 6 8; do
    best=
    best_words=
    while read -r set chips; do
        [ "$set" = "$want" ] || continue
        for chip in $(echo "$chips" | tr ',' ' '); do
            words=$(awk -v m="PIC$chip" '$1 == m { print $2 }' "$work/models")
            if [ -n "$words" ] && { [ -z "$best" ] || [ "$words" -lt "$best_words" ]; }; then
                best=PIC$chip
                best_words=$words
            fi
        done
    done <"$work/families"
    [ -n "$best" ] || fail "no model of the $want-bit command set in the database"
    picked="$picked $best:$want"
done

count=0
for pick in $picked; do
    model=${pick%:*}
    # A board of the original protocol cannot frame 8-bit commands: the server
    # declares them in its identify record for those families.
    if [ "${pick#*:}" = 8 ]; then
        identify_board=1 start_chip_server "$model" --vdd 5
    else
        start_chip_server "$model"
    fi
    run program "$hex"
    run verify "$hex"
    run read "$work/read.hex"
    grep -q '^:..0000000528800064000800' "$work/read.hex" || fail "$model: the read lost the words"
    run erase
    run blank
    stop_server
    count=$((count + 1))
done
[ "$count" -eq 2 ] || fail "$count models for two command sets:$picked"
echo "command set session passed:$picked"
