#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Makes the screenshots in docs/ as a user sees them: the real window program
# on an X server of its own (Xvfb), with the fonts of a Debian desktop
# (fonts-dejavu-core), driven by xdotool and captured with ImageMagick.
#
#   bash scripts/screenshots.sh [output folder, default docs]
#
# Needs a built build/bin/tavrelix-corvanel and the packages xvfb, xdotool and
# imagemagick. Settings, ports and the lock live in a temporary folder, so the
# settings of whoever runs it play no part.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
program=$root/build/bin/tavrelix-corvanel
out=$(realpath -m "${1:-$root/docs}")
example=$root/examples/blink-16f628a.hex
# The file is opened from a short, neutral folder, since its path is shown.
demo=/tmp/pic-projects
hex=$demo/blink-16f628a.hex

for tool in Xvfb xdotool import convert; do
  command -v "$tool" >/dev/null || {
    echo "$tool is missing (apt-get install xvfb xdotool imagemagick)" >&2
    exit 1
  }
done
[ -x "$program" ] || {
  echo "build the program first: cmake --build build --target tavrelix-corvanel" >&2
  exit 1
}
mkdir -p "$out"

work=$(mktemp -d)
xvfb_pid=""
app_pid=""
made_demo=""
cleanup() {
  [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$work"
  [ -n "$made_demo" ] && rm -rf "$demo" || true
}
trap cleanup EXIT
if [ ! -e "$demo" ]; then
  made_demo=yes
  mkdir -p "$demo"
fi
cp "$example" "$hex"

# An X server on a free display number.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
xvfb_pid=$!
for _ in $(seq 100); do
  [ -s "$work/display" ] && break
  sleep 0.1
done
export DISPLAY=":$(cat "$work/display")"
export QT_QPA_PLATFORM=xcb
export XDG_CONFIG_HOME=$work/config
export XDG_RUNTIME_DIR=$work/runtime
mkdir -p -m 700 "$XDG_RUNTIME_DIR"
unset QT_SCALE_FACTOR QT_FONT_DPI

# Starts the program with a fresh configuration: model 3 (PIC16F628A), the
# theme $1, and COM1 leading to the virtual board, so the port is ready.
start() {
  local config="$XDG_CONFIG_HOME/Tavrelix Corvanel"
  rm -rf "$XDG_CONFIG_HOME"
  mkdir -p "$config/ports"
  echo virtual >"$config/ports/COM1"
  printf '[General]\nColor%%20Theme=%s\nMicrocontroller%%20Model=3\nSerial%%20Port%%20Number=1\nLast%%20Path=%s/\n' \
    "$1" "$(dirname "$hex")" >"$config/settings.ini"
  "$program" >/dev/null 2>&1 &
  app_pid=$!
  window=$(xdotool search --sync --onlyvisible --name '^Tavrelix Corvanel$' | head -n 1)
  sleep 1
  eval "$(xdotool getwindowgeometry --shell "$window")"
  # The client area is 413 x 429 pixels; the menu bar takes the rest.
  menu_bar=$((HEIGHT - 429))
  xdotool mousemove --window "$window" 200 $((menu_bar + 10))
  xdotool windowfocus --sync "$window" 2>/dev/null || true
}

stop() {
  kill "$app_pid" 2>/dev/null || true
  wait "$app_pid" 2>/dev/null || true
  app_pid=""
}

# "&Open HEX File" from the File menu, then the file's path in the dialog.
open_hex() {
  xdotool key --delay 150 alt+f o
  sleep 1
  xdotool type --delay 20 "$hex"
  xdotool key Return
  sleep 1
}

# The window, or a part of the screen from the window's corner.
shot() {
  local name=$1 width=${2:-$WIDTH} height=${3:-$HEIGHT}
  sleep 0.5
  import -window root -crop "${width}x${height}+${X}+${Y}" +repage "$work/shot.png"
  convert "$work/shot.png" -strip "$out/$name"
  echo "wrote $out/$name"
}

# The main window with a loaded file.
start "Original Lite"
open_hex
shot main-window.png

# The cell editor open over FLASH word 0Dh (row 1, column 5), a value typed.
# The FLASH text starts 8 pixels from the client's left edge and 144 below its
# top; DejaVu Sans Mono at 13 pixels puts the characters 7.83 pixels apart.
xdotool mousemove --window "$window" 282 $((menu_bar + 144 + 20)) click 3
sleep 0.5
xdotool type --delay 50 "2a"
shot cell-editor.png
stop

# A dark theme, the menu bar and the open "&Options" menu.
start "Mono Dark"
open_hex
xdotool mousemove --window "$window" 105 $((menu_bar / 2)) click 1
sleep 0.5
# The menu drops below the window's top edge; the shot covers it.
shot main-window-mono-dark.png "$WIDTH" "$HEIGHT"
xdotool key Escape
stop

# The theme chooser, from "&Options", "Change Color Theme".
start "Original Lite"
xdotool key --delay 150 alt+o Down Down Down Down Return
theme=$(xdotool search --sync --onlyvisible --name '^Change Color Theme$' | head -n 1)
sleep 1
eval "$(xdotool getwindowgeometry --shell "$theme")"
shot theme-chooser.png
stop

# The model chooser, from a click on "Microcontroller Model".
start "Original Lite"
xdotool mousemove --window "$window" 40 $((menu_bar + 82)) click 1
chooser=$(xdotool search --sync --onlyvisible --name '^Select Microcontroller$' | head -n 1)
sleep 1
eval "$(xdotool getwindowgeometry --shell "$chooser")"
shot model-chooser.png
stop
