#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# The layer check passes a clean tree and catches an include that runs upward,
# between gui and cli, without a layer root, or of Qt in the core.
check=$1
work=$(mktemp -d) || exit 2
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/src/core/image" "$work/src/core/devices" "$work/src/core/engine" "$work/src/board" "$work/src/platform/app" "$work/src/gui/ui" "$work/src/cli"
printf '#pragma once\n#include <string>\n' > "$work/src/core/image/a.h"
printf '#include "core/image/a.h"\n' > "$work/src/board/b.cpp"
printf '#include "core/image/a.h"\n' > "$work/src/core/devices/f.h"
printf '#include "core/devices/f.h"\n' > "$work/src/core/engine/g.cpp"
printf '#include "board/b.h"\n#include <QString>\n' > "$work/src/platform/app/c.cpp"
printf '#include "platform/app/c.h"\n#include "core/image/a.h"\n' > "$work/src/gui/ui/d.cpp"
printf '#include "platform/app/c.h"\n' > "$work/src/cli/e.cpp"
sh "$check" "$work/src" || { echo "FAIL: a clean tree was refused"; exit 1; }
status=0
expect_caught() {
    file=$1 text=$2
    cp "$work/src/$file" "$work/saved"
    printf '%s\n' "$text" >> "$work/src/$file"
    if sh "$check" "$work/src" > "$work/out"; then
        echo "FAIL: not caught: $text in $file"; status=1
    elif ! grep -q "$file:" "$work/out"; then
        echo "FAIL: report does not name $file"; cat "$work/out"; status=1
    fi
    cp "$work/saved" "$work/src/$file"
}
expect_caught core/image/a.h '#include "board/b.h"'
expect_caught board/b.cpp '#include "platform/app/c.h"'
expect_caught platform/app/c.cpp '#include "gui/ui/d.h"'
expect_caught gui/ui/d.cpp '#include "cli/e.h"'
expect_caught cli/e.cpp '#include "gui/ui/d.h"'
expect_caught core/image/a.h '#include <QString>'
expect_caught gui/ui/d.cpp '#include "hex_text.h"'
expect_caught core/devices/f.h '#include "core/engine/g.h"'
expect_caught core/engine/g.cpp 'bool e = set == CommandSet::EightBit;'
expect_caught platform/app/c.cpp 'if (key == "8bit") {'
expect_caught core/engine/g.cpp 'switch (code & 0x3F) {'
[ $status -eq 0 ] && echo "layer check self-test passed"
exit $status
