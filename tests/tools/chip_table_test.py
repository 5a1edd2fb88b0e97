#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The table of supported chips of a small device file: each model under the family
its programalg line stands in (a slot defined again further down keeps the models
above it in their family), its command set, "one source" where the file says so,
and the counts below the table; a commandset value the program refuses stops it.

Usage: chip_table_test.py REPOSITORY
"""

import os
import shutil
import subprocess
import sys
import tempfile


def run_table(root, work, devices):
    os.makedirs(os.path.join(work, "data"), exist_ok=True)
    os.makedirs(os.path.join(work, "docs"), exist_ok=True)
    shutil.copy(devices, os.path.join(work, "data", "corvaneldevices.txt"))
    for name in ("README.md", os.path.join("docs", "device-database.md")):
        shutil.copy(os.path.join(root, name), os.path.join(work, name))
    done = subprocess.run([sys.executable, os.path.join(root, "tools", "make_chip_table.py"), work],
                          capture_output=True, text=True)
    with open(os.path.join(work, "docs", "device-database.md")) as f:
        return done, f.read()


def main(root):
    failures = []
    with tempfile.TemporaryDirectory() as work:
        devices = os.path.join(root, "tests", "cli", "data", "family_devices.txt")
        done, docs = run_table(root, work, devices)
        table = docs[docs.index("<!-- Supported chips"):docs.index("<!-- End of the supported")]
        rows = [line for line in table.split("\n") if line.startswith("| ")]
        wanted = [
            "| Family | Model | Device ID | Program words | EEPROM bytes | Vpp (V) | Vdd (V) | Calibration kept | Command set | Sources |",
            "| 16F84A | PIC16F84A | none | 1024 | 64 |  |  | none | 6-bit | 4 (AP,OP,PL,PM) |",
            "| 12F629/675, 16F630/676 | PIC12F629 | none | 1024 | 128 |  |  | none | 6-bit |  |",
            "|  | PIC16F630 | none | 1024 | 128 |  |  | none | 6-bit |  |",
            "| 16F188xx | PIC16F18854 | none | 4096 | 256 |  |  | none | 8-bit | one source (PM) |",
            "|  | PIC16F18877 | none | 32768 | 256 |  |  | none | 8-bit | 5 (AP,GP,OP,PL,PM) |",
            "| slot 4 | PIC16F999 | none | 2048 | 0 |  |  | none | 6-bit |  |",
            "| 16F83/84 | PIC16F84 | none | 1024 | 64 |  |  | none | 6-bit |  |",
        ]
        if done.returncode != 0 or rows != wanted:
            failures.append("table of the family file:\n" + "\n".join(rows) + done.stderr)
        if "7 models in all. 5 take 6-bit commands, 2 8-bit commands; 1 rest on one source." not in docs:
            failures.append("counts below the table")

        with open(devices, newline="") as f:
            text = f.read()
        odd = os.path.join(work, "odd.txt")
        with open(odd, "w", newline="") as f:
            f.write(text.replace("commandset: 8bit", "commandset: 8-bit", 1))
        done, _ = run_table(root, os.path.join(work, "odd"), odd)
        if done.returncode == 0 or "commandset: 8-bit" not in done.stderr:
            failures.append("a commandset the program refuses: " + done.stderr)
    for failure in failures:
        print(failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1] if len(sys.argv) > 1 else
                  os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")))
