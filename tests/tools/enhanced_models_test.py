#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Checks the enhanced mid-range device file text (data/enhanced-models.txt) without the
program's loader: it is the generator's output, its models carry the chip facts of the
catalogue, its algorithms do what these chips need, and the HEX files of
tests/data/enhanced/ put every record where the enhanced memory map says.

Usage: enhanced_models_test.py REPOSITORY
"""

import os
import re
import subprocess
import sys
import tempfile

failures = []


def check(condition, text):
    if not condition:
        failures.append(text)


# Where the gputils headers (the configuration fields file) and the catalogue's choice
# differ: the 16F1826/1827 have VCAPEN (CONFIG2 bit 4) by their programming document,
# and the 12LF1552's CONFIG2 keeps bit 12 (the programmers' masks).
FIELDS_NARROWER = {("PIC16F1826", 2), ("PIC16F1827", 2), ("PIC12LF1552", 2)}

# The HEX files: chip, config words, user IDs, EEPROM bytes, and program words.
PROGRAM = [(0x0000, 0x2805), (0x0004, 0x0009), (0x0008, 0x3055), (0x000A, 0x280A)]
HEX_FILES = {
    "hex_16f1847.hex": ("PIC16F1847", [0x0FC4, 0x3EFF], [0x12, 0x34, 0x48, 0x69, 0xAB]),
    "hex_12f1840.hex": ("PIC12F1840", [0x39A4, 0x1BFF], [0x50, 0x49, 0x43, 0x00, 0xFF, 0x80]),
    "hex_16f1829.hex": ("PIC16F1829", [0x25CA, 0x3CFE], [1, 2, 3, 4, 5, 6, 7, 8, 9, 0xC3]),
    "hex_16f1459.hex": ("PIC16F1459", [0x0F84, 0x3FCF], []),
    # gpasm writes this part's words with bits 15:14 set; the chip keeps 14 bits.
    "hex_16f1938.hex": ("PIC16F1938", [0xFFC1, 0xDAFF], [0xA5, 0x5A] + list(b"16F1938")),
    "hex_16f18313.hex": ("PIC16F18313", [0x3F8C, 0x3FDF, 0x1FFF, 0x3FFF], [0x4F, 0x4B, 0x00, 0xFF]),
}


def read_models(text):
    """Slots as the device file defines them, and the models with their keys."""
    slots, models = {}, {}
    current = None
    for line in text.split("\r\n"):
        m = re.match(r"(\w+)algdef (\d+): (\S+)$", line)
        if m:
            slots[(m.group(1), int(m.group(2)))] = m.group(3).split(",")
            continue
        m = re.match(r"(\w+): ?(.*)$", line)
        if not m:
            continue
        key, value = m.group(1).lower(), m.group(2).strip()
        if key == "model":
            current = models.setdefault(value, {"_slots": {}})
        elif current is not None:
            check(key not in current, f"{value}: key {key} given twice")
            current[key] = value
            table = {"erasealg": "erase", "programalg": "program", "readalg": "read",
                     "blankcheckalg": "blankcheck", "verifyalg": "verify", "idalg": "id"}.get(key)
            if table:
                # A model copies the slot as it stands at its line.
                current["_slots"][table] = slots.get((table, int(value)))
    return models


# The instructions these algorithms may use: the device file's language, with the
# configuration words 3 to 5 and the revision read of the enhanced parts.
INSTRUCTION = re.compile(
    r"begin|end|calcflashpage|calceeprom|setflashloop|seteepromloop|loop|ifpage|endifpage"
    r"|ifuserids|endifuserids|wprog|w\d+|checkdeviceid"
    r"|s[0-7][0-9a-f](-[0-9a-f]{4}|-flash|-eeprom|-config[1-5]|-userid[1-4])?"
    r"|(flash|eeprom|config[1-5]|temp|deviceid|revision|userid[1-4])=s[0-7][0-9a-f]"
    r"|check(blank)?(flash|eeprom|config[1-5])|checkuserid[1-4]")


def sections(algorithm):
    for step in algorithm:
        check(INSTRUCTION.fullmatch(step), f"unknown instruction {step}")
    out, current = [], None
    for step in algorithm:
        if step in ("begin", "beginvppvdd"):
            check(current is None, f"begin inside a section: {algorithm}")
            current = []
        elif step == "end":
            check(current is not None, f"end without begin: {algorithm}")
            out.append(current or [])
            current = None
        elif current is not None:
            current.append(step)
        else:
            failures.append(f"{step} outside a section")
    check(current is None, "a section is left open")
    return out


def wait_after(steps, index):
    """The wait in milliseconds that follows steps[index] (0 for none)."""
    m = re.fullmatch(r"w(\d+)", steps[index + 1]) if index + 1 < len(steps) else None
    return int(m.group(1)) if m else 0


def check_model(name, model):
    words = int(model["configwords"])
    eeprom = int(model["eeprom"])
    flash = int(model["flash"])
    latches = int(model["pagesize"])
    ident, mask = (int(v, 16) for v in model["deviceid"].split())
    full_word = ident >= 0x3000
    check(len(model["configmask"].split()) == words and
          model["configerased"].split() == ["3FFF"] * words, f"{name}: one group per word")
    check(mask == (0x3FFF if full_word else 0x3FE0), f"{name}: ID mask of its ID format")
    check(("revaddr" in model) == full_word and model.get("revaddr", "8005") == "8005",
          f"{name}: revision address")
    check(model["vpp"] == "8.0 9.0" and model["lvp"] == "true" and model["voltageseq"] == "vppvdd",
          f"{name}: 8-9 V, Vpp first, low-voltage entry")
    # The supply: an LF part never above 3.6 V (about 4 V destroys it), an F part up
    # to 5.5 V; the bulk erase that starts every program needs 2.7 V.
    vdd = [float(v) for v in model.get("vdd", "").replace(" erase ", " ").split()]
    top = 3.6 if "LF" in name else 5.5
    check(len(vdd) in (2, 4) and max(vdd) == top and vdd[1] == top and vdd[-2] == 2.7,
          f"{name}: vdd window {model.get('vdd')} ends at {top} V, erases from 2.7 V")
    check((model["configaddr"], model["idaddr"], model["eepromaddr"]) == ("8007", "8000", "F000"),
          f"{name}: enhanced address map")
    check(latches in (1, 8, 16, 32) and flash % latches == 0, f"{name}: write latches")
    check(int(model["progtime"]) >= 3, f"{name}: row programming takes 2.5 ms")

    algorithms = model["_slots"]
    for table, algorithm in algorithms.items():
        check(algorithm is not None, f"{name}: {table} slot defined above the model")
    if any(a is None for a in algorithms.values()):
        return
    id_read = algorithms["id"]
    sections(id_read)
    check(id_read[:2] == ["begin", "s00-3fff"] and id_read[-2:] == ["deviceid=s04", "end"] and
          id_read.count("s06") == 6, f"{name}: ID read at 8006h")
    check(("revision=s04" in id_read) == full_word and
          (not full_word or id_read.index("revision=s04") == 7), f"{name}: revision at 8005h")

    program = sections(algorithms["program"])
    erase = sections(algorithms["erase"])
    check(program[0] == erase[0], f"{name}: Program All starts with the erase")
    first = erase[0]
    # The bulk erase must see PC at 8000h: Load Configuration, then 09 with no increment.
    check(first[:2] == ["s00-3fff", "s09"], f"{name}: Load Configuration before the bulk erase")
    for i, step in enumerate(first):
        if step in ("s09", "s0b"):
            check(wait_after(first, i) >= 5, f"{name}: bulk erase wait")
    has_eeprom_commands = any(s in ("s03-eeprom", "s0b") or s.startswith("eeprom=s05")
                              for a in algorithms.values() for s in a)
    load_pc = "s41-f000" in algorithms["erase"]
    check((eeprom > 0) == (has_eeprom_commands or load_pc), f"{name}: EEPROM commands")
    check(not (has_eeprom_commands and load_pc), f"{name}: one EEPROM scheme")

    flash_section = next(s for s in program if "s02-flash" in s)
    check(flash_section == ["calcflashpage", "setflashloop", "s02-flash", "ifpage", "s08", "wprog",
                            "endifpage", "s06", "loop"], f"{name}: 08 before the 06 that leaves a row")
    config_sections = [s for s in program if any(x.startswith("s02-config") for x in s)]
    check(len(config_sections) == 1, f"{name}: configuration words in a section of their own")
    config = config_sections[0] if config_sections else []
    wanted = ["s00-3fff"] + ["s06"] * 7
    for k in range(1, words + 1):
        wanted += ([] if k == 1 else ["s06"]) + [f"s02-config{k}", "s08"]
    check([s for s in config if not re.fullmatch(r"w\d+", s)] == wanted and
          all(wait_after(config, i) >= 5 for i, s in enumerate(config) if s == "s08"),
          f"{name}: configuration words one at a time from 8007h, 5 ms each")
    for step in ("s02-eeprom", "s03-eeprom"):
        for s in program:
            if step in s:
                check(wait_after(s, s.index("s08")) >= 5, f"{name}: data byte wait")
    for table, form in (("read", "config{}=s04"), ("blankcheck", "checkblankconfig{}"),
                        ("verify", "checkconfig{}")):
        steps = algorithms[table]
        check(all(form.format(k) in steps for k in range(1, words + 1)) and
              form.format(words + 1) not in steps, f"{name}: {table} covers {words} words")
        for s in sections(steps):
            if s[:1] == ["s00-3fff"] and any(x.startswith(form.format("")) for x in s):
                check(s[1:8] == ["s06"] * 7, f"{name}: {table} starts at 8007h")


def check_fields(root, models):
    fields, chip, word = {}, None, None
    with open(os.path.join(root, "data", "corvanelconfig.txt")) as f:
        for line in f:
            parts = line.split()
            if line.startswith("chip: "):
                chip = fields.setdefault(parts[1], {})
            elif line.startswith("word: "):
                word = int(parts[1])
                chip[word] = 0
                chip[-word] = int(parts[2], 16)
            elif line.startswith("field: "):
                chip[word] |= int(parts[2], 16)
    named = 0
    for name, model in models.items():
        if name not in fields:
            continue
        named += 1
        masks = [int(m, 16) for m in model["configmask"].split()]
        check(sorted(w for w in fields[name] if w > 0) == list(range(1, len(masks) + 1)) and
              all(fields[name][-w] == 0x8006 + w for w in range(1, len(masks) + 1)),
              f"{name}: field words from 8007h")
        # Parts no gputils header describes get code protection (CONFIG1 bit 7) only.
        cp_only = fields[name].get(1) == 0x0080 and all(
            fields[name].get(w, 0) == 0 for w in range(2, len(masks) + 1))
        for word, mask in enumerate(masks, 1):
            union = fields[name].get(word, 0)
            check(union & ~mask == 0, f"{name}: field bits outside configmask word {word}")
            check(union == mask or (name, word) in FIELDS_NARROWER or cp_only,
                  f"{name}: configmask word {word} {mask:04X}, fields {union:04X}")
    check(named >= 140, f"only {named} enhanced models have named fields")


def read_hex(path):
    memory, upper = {}, 0
    with open(path) as f:
        for line in f:
            line = line.strip()
            data = bytes.fromhex(line[1:])
            check(sum(data) % 256 == 0 and data[0] == len(data) - 5, f"{path}: record {line}")
            address, kind, payload = int.from_bytes(data[1:3], "big"), data[3], data[4:-1]
            if kind == 4:
                upper = int.from_bytes(payload, "big") << 16
            elif kind == 0:
                for i, byte in enumerate(payload):
                    memory[upper + address + i] = byte
    return memory


def check_hex(folder, models):
    for file, (chip, config, eeprom) in HEX_FILES.items():
        memory = read_hex(os.path.join(folder, file))
        model = models[chip]

        def word(byte_address):
            return memory.get(byte_address, -1) | memory.get(byte_address + 1, -1) << 8

        flash = int(model["flash"])
        expected = dict(PROGRAM + [(flash - 1, 0x343C)])
        expected.update({0x8000 + k: k + 1 for k in range(4)})
        expected.update({0x8007 + k: value for k, value in enumerate(config)})
        expected.update({0xF000 + k: value for k, value in enumerate(eeprom)})
        for address, value in expected.items():
            check(word(2 * address) == value, f"{file}: word {address:04X}h is {word(2 * address):04X}h")
        check(len(config) == int(model["configwords"]), f"{file}: every configuration word")
        # Every byte in one of the model's areas: FLASH, user IDs, configuration, EEPROM.
        areas = [(0, flash), (0x8000, 0x8004), (0x8007, 0x8007 + len(config)),
                 (0xF000, 0xF000 + int(model["eeprom"]))]
        stray = [b for b in memory if not any(lo <= b // 2 < hi for lo, hi in areas)]
        check(not stray, f"{file}: bytes outside the model's memory: {stray[:4]}")
        check(all(memory[b] == 0 for b in memory if b >= 0x1E000 and b % 2),
              f"{file}: EEPROM high bytes")


def main(root):
    generator = os.path.join(root, "tools", "make_enhanced_models.py")
    result = subprocess.run([sys.executable, generator, "--check", root], capture_output=True, text=True)
    check(result.returncode == 0, "data/enhanced-models.txt is not the generator's output")

    with open(os.path.join(root, "data", "enhanced-models.txt"), newline="") as f:
        text = f.read()
    check("\n" not in text.replace("\r\n", ""), "a line ends without CR LF")
    models = read_models(text)
    check(len(models) == 172, f"{len(models)} models, not 91 parts and 81 LF twins")
    # The models' chip facts are compared with the emulator's chips, and those with the
    # catalogue, by the C++ tests (DeviceFileTest, EnhancedCatalogueTest).
    for name, model in models.items():
        check_model(name, model)

    # The device file: the classic models, and the enhanced lines once they are merged.
    with open(os.path.join(root, "data", "corvaneldevices.txt"), newline="") as f:
        device_text = f.read()
    begin = device_text.find(text.split("\r\n")[0] + "\r\n")
    classic_text = device_text
    if begin >= 0:
        check(device_text[begin:begin + len(text)] == text, "the device file's enhanced lines")
        classic_text = device_text[:begin] + device_text[begin + len(text):]
    classic = read_models(classic_text)

    # No enhanced chip answers as another chip, classic or enhanced.
    ids = [(n, *(int(v, 16) for v in m["deviceid"].split()))
           for n, m in list(classic.items()) + list(models.items()) if "deviceid" in m]
    for i, (a, id_a, mask_a) in enumerate(ids):
        for b, id_b, mask_b in ids[i + 1:]:
            if a in classic and b in classic:
                continue
            both = mask_a & mask_b
            check(id_a & both != id_b & both, f"{a} and {b} answer alike")

    check_fields(root, models)
    check_hex(os.path.join(root, "tests", "data", "enhanced"), models)

    # The table of supported chips takes the appended file: one family per slot.
    with tempfile.TemporaryDirectory() as work:
        os.makedirs(os.path.join(work, "data"))
        os.makedirs(os.path.join(work, "docs"))
        merged = classic_text + text
        with open(os.path.join(work, "data", "corvaneldevices.txt"), "w", newline="") as f:
            f.write(merged)
        for name in ("README.md", os.path.join("docs", "device-database.md")):
            with open(os.path.join(root, name)) as src, open(os.path.join(work, name), "w") as dst:
                dst.write(src.read())
        table = subprocess.run([sys.executable, os.path.join(root, "tools", "make_chip_table.py"), work])
        with open(os.path.join(work, "docs", "device-database.md")) as f:
            docs = f.read()
        count = len(classic) + len(models)
        check(table.returncode == 0 and f"{count} models in all." in docs and
              "| 16F183xx | PIC16F18313 | 3066h (revision at 8005h) | 2048 | 256 | 8.0-9.0 | 2.7-5.5 | E000h-E003h" in docs,
              "table of supported chips of the appended file")

    for failure in failures[:40]:
        print(failure)
    print(f"{len(models)} enhanced models, {len(failures)} failures")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1] if len(sys.argv) > 1 else
                  os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")))
