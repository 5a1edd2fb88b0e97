#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Writes data/corvanelconfig.txt, the named fields of every chip's configuration
words, from the processor headers of gputils (Debian package gputils,
/usr/share/gputils/header/p12f*.inc and p16f*.inc).

A header lists each configuration option as an AND-mask over the erased word:

    _CONFIG          EQU  H'2007'
    ;----- CONFIG Options -------------------------------------
    _FOSC_LP             EQU  H'3FEC'    ; LP oscillator: ...
    _LP_OSC              EQU  H'3FEC'    ; (an older name for the same option)
    ...                                   (an empty line ends the field)
    _WDTE_OFF            EQU  H'3FFB'    ; WDT disabled

The options of one field stand together, between empty lines. The bits a field
owns are those that any of its options clears; an option's value is the field's
bits of its mask. Options with the same value are one option, named by its first
name. The program reads the file at run time and needs no gputils.

The parts of the 8-bit command set came after gputils 1.4. The headers of gputils
1.5.2 (the project's Subversion trunk of 22 October 2018, mirrored at
github.com/svn2github/gputils, folder gputils/header) describe the 16F153xx, 16F188xx
and 16F191xx and their LF twins; given as LATER_HEADER_FOLDER they fill in the chips
the first folder lacks, each marked in the output by a line "# later: FILE". Without
that folder the marked chips are carried over from the shipped data/corvanelconfig.txt,
so that the file can be written again on a machine with only the packaged gputils.

Usage: make_config_fields.py [HEADER_FOLDER] [OUTPUT] [LATER_HEADER_FOLDER]
"""

import csv
import glob
import os
import re
import sys

WORD = 0x3FFF

# The field names of the headers, as the window and the tool show them.
TITLES = {
    "FOSC": "Oscillator",
    "WDTE": "Watchdog timer",
    "PWRTE": "Power-up timer",
    "MCLRE": "MCLR pin",
    "BOREN": "Brown-out reset",
    "BODEN": "Brown-out reset",
    "BOR4V": "Brown-out reset voltage",
    "BORV": "Brown-out reset voltage",
    "LVP": "Low-voltage programming",
    "CPD": "Data EEPROM code protection",
    "CP": "Code protection",
    "WRT": "Flash write protection",
    "DEBUG": "In-circuit debugger",
    "CCPMX": "CCP1 pin",
    "FCMEN": "Fail-safe clock monitor",
    "IESO": "Internal/external switchover",
    "BG": "Band-gap calibration",
    "IOSCFS": "Internal oscillator frequency",
    "PLLEN": "4x PLL",
    "STVREN": "Stack overflow reset",
    "CLKOUTEN": "Clock out",
    "VCAPEN": "Voltage regulator capacitor",
    "WDTEN": "Watchdog timer",
    "INTOSC": "Internal oscillator",
    "LPBOR": "Low-power brown-out reset",
    "LPBOREN": "Low-power brown-out reset",
    "nZCD": "Zero-cross detect",
    "ZCDDIS": "Zero-cross detect",
    "WDTCPS": "Watchdog period",
    "WDTCWS": "Watchdog window",
    "WDTCCS": "Watchdog clock",
    "CPUDIV": "CPU clock divider",
    "USBLSCLK": "USB low-speed clock",
    "PLLMULT": "PLL multiplier",
    "PPS1WAY": "PPS one-way lock",
    "FEXTOSC": "External oscillator",
    "RSTOSC": "Oscillator at reset",
    "CSWEN": "Clock switching",
    "ZCD": "Zero-cross detect",
    "PWRTS": "Power-up timer",
    "SCANE": "Memory scanner",
    "WRTAPP": "Application block write protection",
    "WRTB": "Boot block write protection",
    "WRTC": "Configuration write protection",
    "WRTD": "Data EEPROM write protection",
    "WRTSAF": "Storage area flash write protection",
    "SAFEN": "Storage area flash",
    "BBEN": "Boot block",
    "BBSIZE": "Boot block size",
    "MVECEN": "Multi-vector interrupts",
    "IVT1WAY": "IVTLOCK one-way lock",
    "VBATEN": "Battery supply",
    "LCDPEN": "LCD charge pump",
}

# The enhanced parts keep their configuration words from 8007h. Their LF twins are
# models of their own, so the LF headers count for them (the classic LF headers stay
# out, as before).
ENHANCED_CONFIG = 0x8000

# The 16F183xx headers gputils lacks. Every member has the same four configuration
# words (masks 2977h, 3AEFh, 2003h, 0003h, the same fields), so each takes the fields
# of a member's header that is there.
BORROWED = {
    "PIC16F18313": "p16lf18313.inc",
    "PIC16F18323": "p16lf18323.inc",
    "PIC16F18324": "p16lf18323.inc",
    "PIC16LF18324": "p16lf18323.inc",
    "PIC16F18325": "p16lf18323.inc",
    "PIC16LF18325": "p16lf18323.inc",
    "PIC16F18326": "p16lf18323.inc",
    "PIC16LF18326": "p16lf18323.inc",
    "PIC16F18344": "p16lf18323.inc",
    "PIC16LF18344": "p16lf18323.inc",
    "PIC16F18345": "p16lf18323.inc",
    "PIC16LF18345": "p16lf18323.inc",
    "PIC16F18346": "p16lf18323.inc",
    "PIC16LF18346": "p16lf18323.inc",
}

# Enhanced parts that no gputils header describes (16LF1566/1567, 157x, 176x, 177x):
# their configuration words are known from the device file's table, and every
# such part keeps code protection in bit 7 of CONFIG1, so that much is named.
ENHANCED_TABLE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "data",
                              "enhanced-models.csv")
CP_ONLY_FIELD = ("CP", 0x0080, [(0x0000, "ON", "Program memory code protection is enabled"),
                                (0x0080, "OFF", "Program memory code protection is disabled")])


def enhanced_config_words():
    """Model name -> configuration word count, for every enhanced model and LF twin."""
    counts = {}
    with open(ENHANCED_TABLE) as table:
        rows = [line for line in table if line.strip() and not line.startswith("#")]
    for row in csv.DictReader(rows):
        counts[row["model"]] = int(row["config_words"])
        if row["lf_model"]:
            counts[row["lf_model"]] = int(row["config_words"])
    return counts


EQU = re.compile(r"^\s*(\w+)\s+EQU\s+H'([0-9A-Fa-f]+)'\s*(?:;\s*(.*))?$")
SECTION = re.compile(r"^;-----\s*(CONFIG(\d*))\s+Options")


def field_name(names):
    """The name the options share: _FOSC_LP and _FOSC_XT give FOSC. The later headers
    name some options in more parts (_PWRTE_PWRT_16 beside _PWRTE_OFF, _SCANE_not_available)
    or number them after the field (_WDTCPS_WDTCPS_0): the field is then the parts that
    every option's name begins with, PWRTE, SCANE and WDTCPS."""
    parts = [name.lstrip("_").split("_") for name in names]
    shared = []
    for column in zip(*[p[:-1] for p in parts]):
        if len(set(column)) != 1:
            break
        shared.append(column[0])
    if len(shared) == 2 and shared[0] == shared[1]:
        return shared[0]
    if shared and len(names) > 1:
        return "_".join(shared)
    for name in names:
        stripped = name.lstrip("_")
        if "_" in stripped:
            return stripped.rsplit("_", 1)[0]
    return names[0].lstrip("_")


def option_name(name, field):
    stripped = name.lstrip("_")
    prefix = field + "_"
    return stripped[len(prefix):] if stripped.startswith(prefix) else stripped


def read_header(path):
    """[(word number, address, [fields])], each field (name, mask, [(value, label, text)])."""
    addresses = {}
    words = []
    current = None
    group = []
    highest = 0

    def close_group():
        if current is None or not group:
            return
        mask = 0
        for _, value, _ in group:
            mask |= ~value & WORD
        if mask == 0:
            group.clear()
            return
        name = field_name([n for n, _, _ in group])
        # The later headers give some fields twice under two names (ZCD and ZCDDIS):
        # the second is the same bits, not a field of its own.
        if any(field_mask == mask for _, field_mask, _ in current[2]):
            group.clear()
            return
        options = []
        seen = set()
        for option, value, text in group:
            bits = value & mask
            if bits in seen:
                continue
            seen.add(bits)
            options.append((bits, option_name(option, name), text))
        current[2].append((name, mask, options))
        group.clear()

    with open(path, encoding="latin-1") as header:
        for raw in header:
            line = raw.rstrip("\r\n")
            section = SECTION.match(line)
            if section:
                close_group()
                number = int(section.group(2) or "1")
                address = addresses.get(section.group(1), 0x2006 + number)
                current = (number, address, [])
                words.append(current)
                continue
            if current is not None and line.startswith(";-----"):
                close_group()
                current = None
                continue
            match = EQU.match(line)
            if match and current is None:
                if re.fullmatch(r"_CONFIG\d*", match.group(1)):
                    addresses[match.group(1).lstrip("_")] = int(match.group(2), 16)
                continue
            if current is None:
                continue
            if not line.strip():
                close_group()
                continue
            if match:
                highest = max(highest, int(match.group(2), 16))
                group.append((match.group(1), int(match.group(2), 16) & WORD,
                              (match.group(3) or "").strip()))
        close_group()
    # The 12-bit parts (12F5xx, 16F5x) have a 12-bit configuration word: not ours.
    return words if highest > 0x0FFF else []


def check_word(chip, number, fields):
    taken = 0
    for name, mask, _ in fields:
        if taken & mask:
            raise SystemExit(f"{chip}: field {name} of word {number} overlaps another field")
        taken |= mask


SHIPPED = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "data",
                       "corvanelconfig.txt")
LATER_MARK = "# later: "


def header_paths(folder):
    """Chip name -> header, for the F headers and for the LF headers."""
    def collect(patterns):
        return {"PIC" + os.path.basename(path)[1:-4].upper(): path
                for pattern in patterns for path in glob.glob(os.path.join(folder, pattern))}
    return collect(["p12f*.inc", "p16f*.inc"]), collect(["p12lf*.inc", "p16lf*.inc"])


def shipped_later_chips():
    """Chip name -> its lines in the shipped file, for the chips marked as taken from the
    later headers."""
    chips = {}
    if not os.path.exists(SHIPPED):
        return chips
    with open(SHIPPED, encoding="ascii") as shipped:
        blocks = shipped.read().split("\n\n")
    for block in blocks:
        lines = block.splitlines()
        if lines and lines[0].startswith(LATER_MARK) and len(lines) > 1:
            chips[lines[1].split(": ", 1)[1]] = lines
    return chips


def later_chips(folder, known):
    """Chip name -> (header file name, words), from the later headers, for the chips of the
    8-bit command set's configuration layout (from 8007h) that `known` lacks."""
    paths, lf_paths = header_paths(folder)
    chips = {}
    for chip in sorted(set(paths) | set(lf_paths)):
        if chip in known:
            continue
        path = paths.get(chip) or lf_paths[chip]
        words = read_header(path)
        if not any(fields for _, _, fields in words) or words[0][1] < ENHANCED_CONFIG:
            continue
        chips[chip] = (os.path.basename(path), words)
    return chips


def word_lines(chip, words):
    lines = [f"chip: {chip}"]
    for number, address, fields in words:
        check_word(chip, number, fields)
        lines.append(f"word: {number} {address:04X}")
        for name, mask, options in fields:
            lines.append(f"field: {name} {mask:04X} {TITLES.get(name, name)}")
            for value, label, text in options:
                lines.append(f"option: {value:04X} {label} {text}".rstrip())
    return lines


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else "/usr/share/gputils/header"
    output = sys.argv[2] if len(sys.argv) > 2 else SHIPPED
    later_folder = sys.argv[3] if len(sys.argv) > 3 else None
    paths = {"PIC" + os.path.basename(path)[1:-4].upper(): path
             for path in glob.glob(os.path.join(folder, "p12f*.inc")) +
             glob.glob(os.path.join(folder, "p16f*.inc"))}
    lf_paths = {"PIC" + os.path.basename(path)[1:-4].upper(): path
                for path in glob.glob(os.path.join(folder, "p12lf*.inc")) +
                glob.glob(os.path.join(folder, "p16lf*.inc"))}
    for chip, header in BORROWED.items():
        if chip not in paths and chip not in lf_paths and os.path.exists(os.path.join(folder, header)):
            lf_paths[chip] = os.path.join(folder, header)
    lines = [
        "# Tavrelix Corvanel configuration word fields.",
        "# Written by tools/make_config_fields.py from the gputils processor headers; do not edit.",
        "# A chip after a line \"# later: FILE\" is from that header of gputils 1.5.2 (Subversion",
        "# trunk of 22 October 2018, github.com/svn2github/gputils, gputils/header).",
        "# chip: NAME starts a chip. word: N ADDRESS is configuration word N (1 to 7) at that",
        "# address. field: NAME MASK TITLE names the bits MASK of the word. option: VALUE NAME TEXT",
        "# is one setting of the field: the field's bits equal VALUE.",
        "",
    ]
    chips = 0
    described = {}
    for chip in sorted(set(paths) | set(lf_paths)):
        words = read_header(paths.get(chip) or lf_paths[chip])
        if not any(fields for _, _, fields in words):
            continue
        if chip not in paths and words[0][1] < ENHANCED_CONFIG:
            continue
        described[chip] = words
    for chip, count in enhanced_config_words().items():
        if chip not in described:
            described[chip] = [(number, ENHANCED_CONFIG + 6 + number,
                                [CP_ONLY_FIELD] if number == 1 else [])
                               for number in range(1, count + 1)]
    later = {}
    if later_folder:
        for chip, (header, words) in later_chips(later_folder, described).items():
            later[chip] = [LATER_MARK + header] + word_lines(chip, words)
    else:
        later = {chip: block for chip, block in shipped_later_chips().items()
                 if chip not in described}
    for chip in sorted(set(described) | set(later)):
        chips += 1
        lines.extend(later[chip] if chip in later else word_lines(chip, described[chip]))
        lines.append("")
    with open(output, "w", encoding="ascii", errors="replace", newline="\n") as out:
        out.write("\n".join(lines))
    print(f"{chips} chips written to {os.path.normpath(output)}")


if __name__ == "__main__":
    main()
