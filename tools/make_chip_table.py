#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Writes the table of supported chips into docs/device-database.md, and the number
of models into the README, from the device database data/corvaneldevices.txt.

Each algorithm section of the device file starts with a note line
"# ==== Slot N: ... ====" followed by "# Family: NAME"; a model belongs to the
family its program algorithm slot ("programalg: N") has where that line stands,
as the program reads it. The table lists the families in the order their first
model appears, the models in file order, the device IDs with the bits that name
the part, the command set ("commandset:", 6-bit without the key) and marks a
model whose data rests on a single source ("sources: 1 (PM)") "one source".

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
            if key == "programalg":
                # A slot redefined further down belongs to the section that
                # stood above this model, not to the last one in the file.
                current["_family"] = families.get(program_slot(current))
    return families, models


def program_slot(model):
    m = re.match(r"\d+", model.get("programalg", ""))
    return int(m.group(0)) if m else 0


def command_set(model):
    """ "6-bit" or "8-bit", as the program names the set of "commandset:"."""
    value = model.get("commandset", "6bit")
    if value not in ("6bit", "6BIT", "8bit", "8BIT"):
        raise SystemExit(f"{model['name']}: commandset: {value} is neither 6bit nor 8bit")
    return value[0] + "-bit"


def one_source(model):
    """ "one source (PM)" for "sources: 1 (PM)", else empty."""
    m = re.match(r"\s*(\d+)(.*)$", model.get("sources", ""))
    if not m or int(m.group(1)) != 1:
        return ""
    inside = re.search(r"\(([^)]*)\)", m.group(2))
    name = (inside.group(1) if inside else m.group(2)).strip()
    return f"one source ({name})" if name else "one source"


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
        family = model.get("_family") or f"slot {program_slot(model)}"
        if family not in rows:
            order.append(family)
            rows[family] = []
        rows[family].append(model)
    # The columns of the command set and the sources come last, so a row read
    # up to its calibration stays as it was.
    out = [BEGIN, "", "| Family | Model | Device ID | Program words | EEPROM bytes | Vpp (V) | Vdd (V) | Calibration kept | Command set | Sources |",
           "|---|---|---|---|---|---|---|---|---|---|"]
    for family in order:
        for i, model in enumerate(rows[family]):
            calibration = []
            if "calflash" in model:
                calibration.append(model["calflash"].split()[0] + "h")
            if "calconfig" in model:
                calibration.append("config bits " + model["calconfig"] + "h")
            slot = program_slot(model)
            if slot in family_calibration:
                calibration.append(family_calibration[slot])
            vpp = model.get("vpp", "").split()
            out.append("| {} | {} | {} | {} | {} | {} | {} | {} | {} | {} |".format(
                family if i == 0 else "", model["name"], id_text(model), model.get("flash", ""),
                model.get("eeprom", ""), "-".join(vpp) if len(vpp) == 2 else "",
                vdd_text(model.get("vdd", "")), ", ".join(calibration) or "none",
                command_set(model), one_source(model) or model.get("sources", "")))
    eight = sum(1 for model in models if command_set(model) == "8-bit")
    single = sum(1 for model in models if one_source(model))
    out += ["", f"{len(models)} models in all. {len(models) - eight} take 6-bit commands, "
            f"{eight} 8-bit commands; {single} rest on one source.", "", END]
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
