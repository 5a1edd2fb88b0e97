#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the build tree into a folder of its own and runs the installed
# programs there: --version of all three, the window's --help without a display,
# and the device database found in the data folder, beside the program first,
# and named in both places when it is in neither.
#   install_layout_check.sh BUILD_DIR VERSION
set -euo pipefail
build=$1 version=$2

work=$build/install-test
rm -rf "$work"
prefix=$work/usr
cmake --install "$build" --prefix "$prefix" >"$work.log" 2>&1 || {
  cat "$work.log"
  echo "FAIL: cmake --install"
  exit 1
}
export XDG_CONFIG_HOME=$work/config XDG_RUNTIME_DIR=$work/runtime
mkdir -p "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
# The window's information options need no display at all.
unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM

failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}
# expect NAME EXIT PATTERN COMMAND...: the exit code and an extended regular
# expression the output (stdout and stderr) must match.
expect() {
  local name=$1 code=$2 pattern=$3
  shift 3
  local output status=0
  output=$("$@" 2>&1) || status=$?
  if [ "$status" -ne "$code" ]; then
    fail "$name: exit $status, expected $code; output: $output"
  elif ! grep -qE -- "$pattern" <<<"$output"; then
    fail "$name: output does not match '$pattern': $output"
  fi
}

bin=$prefix/bin
data=$prefix/share/tavrelix-corvanel
[ -f "$data/corvaneldevices.txt" ] || fail "no device database in $data"
[ ! -e "$bin/corvaneldevices.txt" ] || fail "the device database was installed beside the programs"

v=${version//./\\.}
expect window.version 0 "^tavrelix-corvanel $v\$" "$bin/tavrelix-corvanel" --version
expect tool.version 0 "^corvanel $v\$" "$bin/corvanel" --version
expect tool.version_after_command 0 "^corvanel $v\$" "$bin/corvanel" models --version
expect board.version 0 "^corvanel-board $v\$" "$bin/corvanel-board" --version
expect window.help 0 "Usage: tavrelix-corvanel" "$bin/tavrelix-corvanel" --help
expect window.help_names_data_folder 0 "$data/corvaneldevices.txt" "$bin/tavrelix-corvanel" -h
expect window.help_names_settings 0 "$XDG_CONFIG_HOME/Tavrelix Corvanel/settings.ini" \
  "$bin/tavrelix-corvanel" --help
expect tool.help_names_data_folder 0 "\.\./share/tavrelix-corvanel/" "$bin/corvanel" --help

# Installed: the database comes from the data folder.
expect tool.models_from_data_folder 0 " 3  PIC16F628A " "$bin/corvanel" models
# Beside the program comes first.
printf 'model: PIC99X1\r\nflash: 64\r\neeprom: 0\r\n' >"$bin/corvaneldevices.txt"
expect tool.models_beside_first 0 "^ 1  PIC99X1 " "$bin/corvanel" models
rm "$bin/corvaneldevices.txt"
# In neither place: a usage error that names both.
mv "$data/corvaneldevices.txt" "$work/"
expect tool.missing_names_beside 2 "$bin/corvaneldevices.txt" "$bin/corvanel" models
expect tool.missing_names_data_folder 2 "$data/corvaneldevices.txt" "$bin/corvanel" models
mv "$work/corvaneldevices.txt" "$data/"

[ "$failures" -eq 0 ] || exit 1
echo "installed layout in $prefix: programs, data folder and lookups as expected"
