#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Sets everything up, builds the programs and starts the window application.
# When no programmer board is configured, a virtual board (an emulated chip of
# the applied model, inside the program) is attached as the configured serial
# port, so "Program All" works at once. Without a display, the command-line
# tool shows the same operations on the virtual board instead.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j 2 --target tavrelix-corvanel corvanel corvanel-board
bin=build/bin

config="${XDG_CONFIG_HOME:-$HOME/.config}/Tavrelix Corvanel"
ports="$config/ports"
settings="$config/settings.ini"
mkdir -p "$ports"

# The COM number the window will use: the stored one, or none on a first start.
port=""
if [ -f "$settings" ]; then
  port=$(sed -n 's/^Serial\(%20\| \)Port\(%20\| \)Number=\([0-9][0-9]*\).*/\3/p' "$settings" | head -n 1)
fi

# The device a COM number maps to when the ports folder has no entry for it.
default_device() {
  local n=$1
  if [ "$n" -le 4 ]; then echo "/dev/ttyS$((n - 1))"
  elif [ "$n" -le 12 ]; then echo "/dev/ttyUSB$((n - 5))"
  else echo "/dev/ttyACM$((n - 13))"; fi
}

attach_virtual() {
  echo "virtual" > "$ports/COM$1"
  echo "No programmer board is configured: COM$1 is now the virtual board"
  echo "(remove \"$ports/COM$1\" to use a real board on that number)."
}

if [ -z "$port" ]; then
  # First start: the window picks the highest COM number that opens, so a
  # virtual board on COM16 becomes the configured port.
  [ -e "$ports/COM16" ] || [ -e /dev/ttyACM3 ] || attach_virtual 16
elif [ ! -e "$ports/COM$port" ] && [ "$port" -ge 1 ] && [ "$port" -le 16 ] \
     && [ ! -e "$(default_device "$port")" ]; then
  attach_virtual "$port"
fi

if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  echo
  echo "No display: showing the chip operations with the command-line tool on a"
  echo "virtual PIC16F628A instead. Start the window on a desktop with $bin/tavrelix-corvanel."
  echo
  "$bin/corvanel" --port virtual --model PIC16F628A program examples/blink-16f628a.hex --verify
  exit $?
fi

exec "$bin/tavrelix-corvanel"
