#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Checks the include order of the layers under SRC (default: src):
#   core < board < platform < gui, cli
# A file may include headers of its own layer and of the layers before it; gui
# and cli never include each other (what both front ends run, such as the
# production series, lives in platform). Every quoted include names its layer root
# ("core/image/hex_text.h"), and core and board include no Qt header. Inside the
# core, the device data (core/devices) never includes the engine (core/engine).
# A command set is a row of core/devices/command_set.cpp: no file but the table
# and the wire encoder compares with one set by name ("CommandSet::Eight",
# "8bit") or cuts codes to the 6-bit width ("code & 0x3F").
# Prints each offending line as FILE:LINE: TEXT and exits 1 when there is one.
src=${1:-src}
[ -d "$src" ] || { echo "layer_check: no folder $src" >&2; exit 2; }
cd "$src" || exit 2
find core board platform gui cli -type f \( -name '*.h' -o -name '*.cpp' \) 2>/dev/null | sort |
awk '
function rank(layer) {
    if (layer == "core") return 0
    if (layer == "board") return 1
    if (layer == "platform") return 2
    if (layer == "gui" || layer == "cli") return 3
    return -1
}
{
    file = $0
    split(file, parts, "/")
    layer = parts[1]
    line_number = 0
    while ((getline text < file) > 0) {
        line_number++
        if (text ~ /^[ \t]*#[ \t]*include[ \t]*"/) {
            header = text
            sub(/^[^"]*"/, "", header)
            sub(/".*$/, "", header)
            split(header, hparts, "/")
            target = hparts[1]
            if (layer == "core" && parts[2] == "devices" && hparts[1] == "core" && hparts[2] == "engine") {
                print file ":" line_number ": " text "  (core/devices may not include core/engine)"
                bad = 1
            } else if (rank(target) < 0) {
                print file ":" line_number ": " text "  (an include names its layer root)"
                bad = 1
            } else if (rank(target) > rank(layer) || (rank(target) == 3 && target != layer)) {
                print file ":" line_number ": " text "  (" layer " may not include " target ")"
                bad = 1
            }
        } else if (text ~ /CommandSet::Eight|"8bit"|code & 0x3F/ && file !~ /^core\/devices\/command_set\.|^core\/link\/wire_encoder\./) {
            print file ":" line_number ": " text "  (a command set is asked through its row)"
            bad = 1
        } else if (text ~ /^[ \t]*#[ \t]*include[ \t]*<Q/ && rank(layer) <= 1) {
            print file ":" line_number ": " text "  (" layer " is standard C++ only)"
            bad = 1
        }
    }
    close(file)
}
END { exit bad ? 1 : 0 }
'
