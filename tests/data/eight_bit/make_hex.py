#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Writes the HEX files of tests/data/eight_bit/: programs for parts of the 8-bit
command set, which no assembler at hand knows. Each has program words across a row
boundary (and, for the 16F15313, up to the last word of its memory), four user IDs
(8000h, byte 10000h), five configuration words (8007h-800Bh, bytes 1000Eh-10017h;
seven on the 16F13276, to 800Dh and byte 1001Bh) with one implemented bit of each
word but CONFIG5 cleared, and EEPROM bytes at F000h (byte 1E000h) on the parts that
have it. cp_16f18877.hex turns code and data protection
on (CONFIG5 bits 0 and 1 cleared).

Usage: make_hex.py [FOLDER]
"""

import os
import sys

# name: (flash words, EEPROM bytes, implemented bits of CONFIG1-CONFIG5, or -CONFIG7)
CHIPS = {
    "16f18877": (32768, 256, (0x2977, 0x3EE3, 0x3F7F, 0x3003, 0x0003)),
    "16f15313": (2048, 0, (0x2977, 0x3EE3, 0x3F7F, 0x2F9F, 0x0001)),
    "16f18446": (16384, 256, (0x2977, 0x3EE7, 0x3F7F, 0x2F9F, 0x0001)),
    "16f15376": (16384, 0, (0x2977, 0x3EE3, 0x3F7F, 0x2F9F, 0x0001)),
    "16f15244": (4096, 0, (0x1133, 0x3ADF, 0x0000, 0x2B9F, 0x0001)),
    "16f13276": (16384, 256, (0x3FFF,) * 7),
}


def record(kind, address, data):
    raw = bytes([len(data), address >> 8, address & 0xFF, kind]) + bytes(data)
    return ":" + (raw + bytes([(-sum(raw)) & 0xFF])).hex().upper()


def hex_text(words):
    """Intel HEX of {word address: value}, 16 bytes a record, type 04 records above 64 KB."""
    memory = {}
    for word, value in words.items():
        memory[2 * word] = value & 0xFF
        memory[2 * word + 1] = value >> 8
    lines, upper = [], 0
    addresses = sorted(memory)
    i = 0
    while i < len(addresses):
        start = addresses[i]
        if start >> 16 != upper:
            upper = start >> 16
            lines.append(record(4, 0, [upper >> 8, upper & 0xFF]))
        chunk = [memory[start]]
        while (i + len(chunk) < len(addresses) and addresses[i + len(chunk)] == start + len(chunk)
               and len(chunk) < 16 and (start + len(chunk)) & 0xFFFF):
            chunk.append(memory[start + len(chunk)])
        lines.append(record(0, start & 0xFFFF, chunk))
        i += len(chunk)
    lines.append(":00000001FF")
    return "\r\n".join(lines) + "\r\n"


def program(name, flash, eeprom, masks, protect=False):
    words = {0x0000: 0x3180, 0x0001: 0x2804, 0x0004: 0x0009}
    # 40 words from 0010h: across the first row boundary (20h), not ending on one.
    for n in range(40):
        words[0x0010 + n] = (0x3000 | (n * 37 + int(name[-3:])) & 0xFF)
    if flash == 2048:
        for n in range(3):
            words[flash - 3 + n] = 0x2800 | (0x0100 + n)
    for k in range(4):
        words[0x8000 + k] = (0x0001 << (3 * k)) | k
    for k, mask in enumerate(masks):
        value = 0x3FFF
        if k != 4 and mask:
            value &= ~(mask & -mask)
        if k == 4 and protect:
            value &= ~mask
        words[0x8007 + k] = value
    for n in range(min(eeprom, 12)):
        words[0xF000 + n] = (0xA5 ^ (n * 29)) & 0xFF
    words[0xF000 + eeprom - 1] = 0x3C if eeprom else None
    return {w: v for w, v in words.items() if v is not None}


def main(argv):
    folder = argv[0] if argv else os.path.dirname(os.path.abspath(__file__))
    for name, (flash, eeprom, masks) in CHIPS.items():
        with open(os.path.join(folder, f"hex_{name}.hex"), "w", newline="") as f:
            f.write(hex_text(program(name, flash, eeprom, masks)))
    flash, eeprom, masks = CHIPS["16f18877"]
    with open(os.path.join(folder, "cp_16f18877.hex"), "w", newline="") as f:
        f.write(hex_text(program("16f18877", flash, eeprom, masks, protect=True)))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
