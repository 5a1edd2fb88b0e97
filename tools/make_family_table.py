#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Writes the table of the emulated chip families into docs/virtual-board.md from
the emulator's own rules, as the board server prints them with --families.

Usage: make_family_table.py [--check] BOARD_SERVER [REPOSITORY]
  BOARD_SERVER  the corvanel-board program (build/bin/corvanel-board)
  --check       change nothing; exit 1 when the docs are not what this would write.
"""

import os
import subprocess
import sys

BEGIN = "<!-- Chip families: written by tools/make_family_table.py from the emulator's rules. -->"
END = "<!-- End of the chip families. -->"


def main(argv):
    check = "--check" in argv
    args = [a for a in argv if a != "--check"]
    if not args:
        print(__doc__, file=sys.stderr)
        return 2
    server = args[0]
    root = args[1] if len(args) > 1 else os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")
    table = subprocess.run([server, "--families"], check=True, capture_output=True, text=True).stdout
    wanted = BEGIN + "\n\n" + table + "\n" + END

    docs = os.path.join(root, "docs", "virtual-board.md")
    with open(docs) as f:
        text = f.read()
    if BEGIN not in text or END not in text:
        print(f"{docs} has no family table markers", file=sys.stderr)
        return 1
    new = text[: text.index(BEGIN)] + wanted + text[text.index(END) + len(END):]
    if new == text:
        return 0
    if check:
        print(f"{docs} is out of date: run tools/make_family_table.py {server}", file=sys.stderr)
        return 1
    with open(docs, "w") as f:
        f.write(new)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
