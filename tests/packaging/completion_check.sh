#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs the bash completion of corvanel as bash would, against the built tool:
# options, commands, model names, ports, files for the HEX arguments.
#   completion_check.sh COMPLETION_FILE TOOL_FOLDER
# Exit 77 (skipped) without the bash-completion package.
set -uo pipefail
completion=$1 tool_folder=$2
library=/usr/share/bash-completion/bash_completion
if [ ! -f "$library" ]; then
  echo "SKIP: $library is missing (package bash-completion)"
  exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_CONFIG_HOME=$work/config PATH=$tool_folder:$PATH
mkdir -p "$XDG_CONFIG_HOME" "$work/files/sub"
touch "$work/files/blink.hex" "$work/files/notes.txt"
cd "$work/files"

# shellcheck disable=SC1090
source "$library"
source "$completion"

# complete LINE: the candidates for the last word of LINE (a trailing blank
# starts a new, empty word).
complete_line() {
  local line=$1
  COMP_LINE=$line
  COMP_POINT=${#line}
  read -ra COMP_WORDS <<<"$line"
  [[ $line == *" " ]] && COMP_WORDS+=("")
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  COMPREPLY=()
  _corvanel corvanel "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
  printf '%s\n' "${COMPREPLY[@]}" | sort
}

failures=0
# expect LINE WANTED... [-- UNWANTED...]
expect() {
  local line=$1
  shift
  local got want=1 word
  got=$(complete_line "$line")
  for word in "$@"; do
    if [ "$word" = -- ]; then
      want=0
      continue
    fi
    if grep -qxF -- "$word" <<<"$got"; then
      [ "$want" -eq 1 ] || { echo "FAIL: '$line' offers $word"; failures=$((failures + 1)); }
    else
      [ "$want" -eq 0 ] || { echo "FAIL: '$line' lacks $word (got: $(echo $got))"; failures=$((failures + 1)); }
    fi
  done
}

expect "corvanel " models check dump convert program verify read erase blank detect board board-test job make-job config osccal ports -- --model
expect "corvanel --mo" --model -- --port
expect "corvanel --" --model --port --baud --devices --verify --force --only --preserve-eeprom --log --serial --merge --repeat --set --bandgap --calibrate-vpp --fast --low-voltage --vdd --vpp --banner-wait --window --help --version
expect "corvanel --only " flash eeprom id config -- models
expect "corvanel --only flash program " blink.hex -- flash
expect "corvanel --model PIC16F6" PIC16F628A -- PIC16F84A
expect "corvanel --model " PIC16F84A PIC16F628A PIC16F877A
expect "corvanel --port COM1" COM1 COM10 COM16 -- COM2 virtual
expect "corvanel --port vi" virtual virtual:
expect "corvanel --port COM5 " models program -- COM5
expect "corvanel --model 3 --port virtual e" erase
expect "corvanel --model 3 program " blink.hex sub -- notes.txt models
expect "corvanel program --verify " blink.hex -- notes.txt
expect "corvanel --model 3 dump bl" blink.hex
expect "corvanel erase " -- models blink.hex
expect "corvanel --window " 0 64 auto -- models
expect "corvanel --model 3 config " blink.hex -- notes.txt
expect "corvanel --force --model 3 d" detect dump
expect "corvanel --port virtual detect " -- blink.hex models
expect "corvanel --window 64 " models verify -- 64
expect "corvanel --model 9 osccal --set 34A0 " -- models blink.hex
expect "corvanel erase --" --force --model --window -- --verify --merge --set
expect "corvanel --model 3 read out.hex --" --verify --force --only -- --preserve-eeprom --log
expect "corvanel osccal --" --set --bandgap --force -- --only --family

[ "$failures" -eq 0 ] || exit 1
echo "completion: options, commands, models, ports and HEX files offered"
