#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The checksum `corvanel check` prints, against one computed here from the HEX
file's records and the model's lines of the device file alone:

    checksum_check.py CORVANEL DEVICE_FILE MODEL FILE.hex [EXPECTED]

The sum: every program word of the model (a word the file leaves out is blank,
3FFFh), plus each configuration word the model uses ANDed with its "configmask:"
bits (all 14 without the key); EEPROM (2100h and up) and user IDs (2000h-2003h)
are left out; 16 bits. EXPECTED (four hex digits), when given, must match too.
"""
import re
import subprocess
import sys


def model_lines(device_file, model):
    fields, inside = {}, False
    for line in open(device_file, encoding="latin-1"):
        line = line.strip()
        if line.lower().startswith("model:"):
            inside = line.split(":", 1)[1].strip().upper() == model.upper()
        elif inside and ":" in line and not line.startswith("#"):
            key, value = line.split(":", 1)
            fields[key.strip().lower()] = value.strip()
    return fields


def words_of(hex_path):
    """Word address -> value, from data records with extended linear addresses."""
    words, bytes_at, upper = {}, {}, 0
    for line in open(hex_path, encoding="latin-1"):
        line = line.strip()
        if not line.startswith(":"):
            continue
        raw = bytes.fromhex(line[1:])
        count, address, kind = raw[0], (raw[1] << 8) | raw[2], raw[3]
        data = raw[4:4 + count]
        if sum(raw) & 0xFF:
            sys.exit(f"{hex_path}: bad record checksum: {line}")
        if kind == 0:
            for i, value in enumerate(data):
                bytes_at[upper + address + i] = value
        elif kind == 4:
            upper = ((data[0] << 8) | data[1]) << 16
        elif kind == 1:
            break
    for byte_address, value in bytes_at.items():
        word = byte_address // 2
        low = bytes_at.get(word * 2, 0xFF)
        high = bytes_at.get(word * 2 + 1, 0xFF)
        words[word] = (low | (high << 8)) & 0x3FFF
    return words


def main():
    tool, device_file, model, hex_path = sys.argv[1:5]
    expected = sys.argv[5].upper() if len(sys.argv) > 5 else None
    fields = model_lines(device_file, model)
    flash = int(fields["flash"])
    masks = [int(m, 16) & 0x3FFF for m in fields.get("configmask", "3FFF 3FFF").split()]
    config_count = 2 if fields.get("config2used", "false").lower() == "true" else 1
    words = words_of(hex_path)
    total = sum(words.get(address, 0x3FFF) for address in range(flash))
    for n in range(config_count):
        total += words.get(0x2007 + n, 0x3FFF) & masks[n]
    mine = f"{total & 0xFFFF:04X}"
    run = subprocess.run([tool, "--devices", device_file, "--model", model, "check", hex_path],
                         capture_output=True, text=True)
    found = re.findall(r"^Checksum: ([0-9A-F]{4})$", run.stdout, re.MULTILINE)
    print(run.stdout, end="")
    if run.returncode != 0 or found != [mine]:
        sys.exit(f"{model} {hex_path}: the tool says {found} (exit {run.returncode}), "
                 f"the records give {mine}")
    if expected is not None and expected != mine:
        sys.exit(f"{model} {hex_path}: the records give {mine}, expected {expected}")
    print(f"{model}: checksum {mine} as computed from the records")


if __name__ == "__main__":
    main()
