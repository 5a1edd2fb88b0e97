#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# The board server's memory over a long run: program and verify a PIC16F628A over
# it again and again with the command-line tool, and print the server's resident
# set (VmRSS from /proc) at the start, after 10 cycles and after the last. A server
# that keeps what it received grows with every cycle; this one must stay within
# 2 MB of its size after 10 cycles. A soak run by hand, not a test.
#
#   sh bench/board_server_soak.sh build/bin [CYCLES [SERVER]]
#
# CYCLES is 200 by default; SERVER another corvanel-board to measure (an older build).
set -eu
bin=${1:?usage: board_server_soak.sh BIN_DIR [CYCLES [SERVER]]}
cycles=${2:-200}
server_program=${3:-$bin/corvanel-board}
hex=$(cd "$(dirname "$0")/.." && pwd)/examples/blink-16f628a.hex
work=$(mktemp -d)
server=
cleanup() {
    if [ -n "$server" ]; then
        kill "$server" 2>/dev/null || true
        wait "$server" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT
# The tool's settings stay in the scratch folder.
export XDG_CONFIG_HOME="$work"

"$server_program" --chip PIC16F628A >"$work/out" 2>"$work/err" &
server=$!
tries=0
while [ ! -s "$work/out" ] && [ $tries -lt 100 ]; do
    sleep 0.05
    tries=$((tries + 1))
done
port=$(head -n 1 "$work/out")
[ -n "$port" ] || { echo "the board server did not start:"; cat "$work/err"; exit 1; }

rss() { awk '/^VmRSS:/ { print $2 }' "/proc/$server/status"; }

echo "board server $server_program on $port"
echo "start: $(rss) kB"
after10=
i=0
start=$(date +%s)
while [ $i -lt "$cycles" ]; do
    i=$((i + 1))
    if ! "$bin/corvanel" --port "$port" --model PIC16F628A --fast --window 64 \
        program "$hex" --verify >"$work/run" 2>&1; then
        echo "cycle $i failed:"
        cat "$work/run"
        exit 1
    fi
    if [ $i -eq 10 ]; then
        after10=$(rss)
        echo "after 10 cycles: $after10 kB"
    fi
done
last=$(rss)
echo "after $cycles cycles: $last kB ($(($(date +%s) - start)) s)"
if [ -n "$after10" ]; then
    growth=$((last - after10))
    echo "growth from cycle 10 to cycle $cycles: $growth kB (allowed: 2048 kB)"
    [ "$growth" -le 2048 ]
fi
