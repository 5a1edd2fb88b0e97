#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Writes the table of supported chips into docs/device-database.md, and the number
of models into the README, from the device database data/corvaneldevices.txt.

Each algorithm section of the device file starts with a note line
"# ==== Slot N: ... ====" followed by "# Family: NAME"; a model belongs to the
family of its program algorithm slot ("programalg: N"). The table lists the
families in the order their first model appears, the models in file order, and
the device IDs with the bits that name the part.

Usage: make_chip_table.py [--check] [REPOSITORY]
  --check  change nothing; exit 1 when either file is not what this would write.
"""

import os
import re
import sys

BEGIN = "<!-- Supported chips: written by tools/make_chip_table.py from the device file. -->"
END = "<!-- End of the supported chips. -->"
COUNT = re.compile(r"The shipped database supports \d+ chip models")


def read_models(path):
    with open(path, newline="") as f:
        lines = f.read().replace("\r\n", "\n").split("\n")
    families = {}
    slot = None
    models = []
    current = None
    for line in lines:
        m = re.match(r"# ==== Slot (\d+): .* ====$", line)
        if m:
            slot = int(m.group(1))
            continue
        m = re.match(r"# Family: (.+)$", line)
        if m and slot is not None:
            families[slot] = m.group(1).strip()
            continue
        m = re.match(r"# Calibration: (.+)$", line)
        if m and slot is not None:
            family_calibration[slot] = m.group(1).strip()
            continue
        if line.startswith("# ===="):
            slot = None
        m = re.match(r"(\w+): ?(.*)$", line)
        if not m:
            continue
        key, value = m.group(1).lower(), m.group(2).strip()
        if key == "model":
            current = {"name": value}
            models.append(current)
        elif current is not None:
            current[key] = value
    return families, models


def id_text(model):
    parts = model.get("deviceid", "").split()
    if len(parts) != 2:
        return "none"
    ident, mask = int(parts[0], 16), int(parts[1], 16)
    if "revaddr" in model:
        # The enhanced parts whose ID fills the whole word keep the revision apart.
        return f"{ident:04X}h (revision at {int(model['revaddr'], 16):04X}h)"
    revision_bits = bin(~mask & 0x3FFF).count("1")
    return f"{ident:04X}h ({revision_bits}-bit revision)"


def vdd_text(value):
    """ "2.0 5.5 erase 4.5 5.5" as "2.0-5.5, erase 4.5-5.5"."""
    write, _, erase = value.partition(" erase ")
    text = "-".join(write.split())
    if erase:
        text += ", erase " + "-".join(erase.split())
    return text


def table(families, models):
    order = []
    rows = {}
    for model in models:
        slot = int(model.get("programalg", "0").split()[0] or 0)
        family = families.get(slot, f"slot {slot}")
        if family not in rows:
            order.append(family)
            rows[family] = []
        rows[family].append(model)
    out = [BEGIN, "", "| Family | Model | Device ID | Program words | EEPROM bytes | Vpp (V) | Vdd (V) | Calibration kept |",
           "|---|---|---|---|---|---|---|---|"]
    for family in order:
        for i, model in enumerate(rows[family]):
            calibration = []
            if "calflash" in model:
                calibration.append(model["calflash"].split()[0] + "h")
            if "calconfig" in model:
                calibration.append("config bits " + model["calconfig"] + "h")
            slot = int(model.get("programalg", "0").split()[0] or 0)
            if slot in family_calibration:
                calibration.append(family_calibration[slot])
            vpp = model.get("vpp", "").split()
            out.append("| {} | {} | {} | {} | {} | {} | {} | {} |".format(
                family if i == 0 else "", model["name"], id_text(model), model.get("flash", ""),
                model.get("eeprom", ""), "-".join(vpp) if len(vpp) == 2 else "",
                vdd_text(model.get("vdd", "")), ", ".join(calibration) or "none"))
    out += ["", f"{len(models)} models in all.", "", END]
    return "\n".join(out)


open_algorithms = {}
family_calibration = {}


def read_program_algorithms(path):
    with open(path, newline="") as f:
        for line in f.read().replace("\r\n", "\n").split("\n"):
            m = re.match(r"programalgdef (\d+): (.*)$", line)
            if m:
                open_algorithms[m.group(1)] = m.group(2)


def main(argv):
    check = "--check" in argv
    args = [a for a in argv if a != "--check"]
    root = args[0] if args else os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")
    device_file = os.path.join(root, "data", "corvaneldevices.txt")
    families, models = read_models(device_file)
    read_program_algorithms(device_file)
    wanted = table(families, models)

    changed = []
    docs = os.path.join(root, "docs", "device-database.md")
    with open(docs) as f:
        text = f.read()
    if BEGIN in text and END in text:
        new = text[: text.index(BEGIN)] + wanted + text[text.index(END) + len(END):]
    else:
        new = text.rstrip("\n") + "\n\n## Supported chips\n\n" + wanted + "\n"
    if new != text:
        changed.append((docs, new))

    readme = os.path.join(root, "README.md")
    with open(readme) as f:
        text = f.read()
    new = COUNT.sub(f"The shipped database supports {len(models)} chip models", text)
    if new != text:
        changed.append((readme, new))

    if check:
        for path, _ in changed:
            print(f"{path} is out of date: run tools/make_chip_table.py", file=sys.stderr)
        return 1 if changed else 0
    for path, new in changed:
        with open(path, "w") as f:
            f.write(new)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
