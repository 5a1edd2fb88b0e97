#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Writes the device file text of the 14-bit parts of the 8-bit command set (16F131xx,
16F152xx, 16F153xx, 16F171xx, 16F175xx, 16F180xx, 16F181xx, 16F184xx, 16F188xx,
16F191xx) from the table data/group-b-models.csv, into data/group-b-models.txt.

The text goes into data/corvaneldevices.txt after the enhanced mid-range (between
BEGIN and END below), with one "# ==== Slot N: ... ====" block and "# Family:" line
per family, so that tools/make_chip_table.py and the program group the models.

What the algorithms do, in the chips' terms (8-bit commands and 24-bit payloads, MSb
first; the board frames them: 108 command, 109 payload, 110 read):
- 80h Load PC Address reaches every region: program memory from 0, the user IDs at
  8000h, the configuration words at 8007h-800Bh, the EEPROM at F000h. There is no
  Load Configuration and no Reset Address.
- 18h Bulk Erase with PC at 8000h erases program memory, the configuration words and
  the user IDs (and clears code protection); with PC at F000h the EEPROM. Whether the
  8000h erase also clears the EEPROM differs by family, so the EEPROM is erased on its
  own. 14 ms each (the longest wait of the chip maker's own programmer; another
  programmer's document gives 8.4 ms).
- 00h loads the latch at PC and leaves PC where it is, 02h loads it and moves PC on;
  E0h writes what is loaded (the row of 32 latches that holds PC, one configuration
  word, user ID or EEPROM byte) and is internally timed; F8h moves PC on. Program
  memory is loaded with 02h (one command a word, not 00h and F8h); after a row's last
  word PC has left the row, so Load PC takes it back to the row for E0h and on to the
  next row after it.
- FEh reads the word at PC and moves PC on; FCh reads without moving.

Usage: make_group_b_models.py [--check] [--merge] [REPOSITORY]
  --merge  also put the text into data/corvaneldevices.txt: in place of the lines from
           BEGIN to END when the file has them, else at its end.
  --check  change nothing; exit 1 when data/group-b-models.txt, or the lines of
           data/corvaneldevices.txt from BEGIN to END, are not what this writes.
"""

import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from make_enhanced_models import run  # noqa: E402

# The enhanced mid-range takes program and erase slots up to 36, read slots up to 8
# and ID slots up to 3.
FIRST_SLOT = 37
READ_SLOT_EEPROM = 9
READ_SLOT_NO_EEPROM = 10
ID_SLOT = 4

CONFIG_WORDS = 5
BULK_ERASE_WAIT = 14  # ms (TERAB: 8.4 ms in one source, 14 ms in two)
CONFIG_WAIT = 10      # ms per configuration word or user ID (TPINT 5.6 ms; one source waits 10)
EEPROM_WAIT = 6       # ms per EEPROM byte (TPINT 5.6 ms)
PROGRAM_TIME = 3      # ms per row (TPINT 2.8 ms): the model's progtime

# Order of the families in the file, and what sets each apart.
FAMILIES = [
    ("16F188xx", [
        "The oldest family of the set (DS40001753): CONFIG4 holds only WRT<1:0>, SCANE",
        "and LVP, CONFIG5 CP and CPD. 256 bytes of EEPROM."]),
    ("16F153xx", [
        "DS40001838. No data EEPROM. The 16F15385/15386 are not in every source's table;",
        "two programmers put them in this family."]),
    ("16F184xx", [
        "DS40001970. 256 bytes of EEPROM, which the 8000h bulk erase leaves as it is",
        "(hence the separate F000h erase)."]),
    ("16F191xx", [
        "DS40001880 (16F1915x-1918x) and DS40001846 (16F19195-19197). 256 bytes of EEPROM.",
        "One programmer's table shifts the IDs of the 16F19196/19197 by one."]),
    ("16F152xx", [
        "DS40002149. No data EEPROM, no LF parts (each part covers the whole supply",
        "range). CONFIG3 has no implemented bit in the one source that gives the masks."]),
    ("16F171xx", [
        "No programming document was found. 128 or 256 bytes of EEPROM, which the",
        "8000h bulk erase clears as well. No LF parts."]),
    ("16F181xx", [
        "No programming document was found; as the 16F171xx. No LF parts."]),
    ("16F180xx", [
        "No programming document was found. 128 or 256 bytes of EEPROM, which the",
        "8000h bulk erase clears as well. CONFIG3 has no implemented bit in the one",
        "source that gives the masks. No LF parts."]),
    ("16F175xx", [
        "No programming document was found. 256 bytes of EEPROM. No calibration words.",
        "No LF parts."]),
    ("16F131xx", [
        "No programming document was found. No data EEPROM, no calibration words, no LF",
        "parts."]),
]

VDD_NOTE = [
    "Vdd: no programming document of this command set was available. 2.7-5.5 V (LF parts",
    "2.7-3.6 V): the bulk-erase window of DS41390A and DS41360A Table 8-1 (the 6-bit",
    "enhanced parts), which holds every step; the LF parts take 3.6 V at most.",
]

ONE_SOURCE_NOTE = [
    "One source: every value of the models marked \"sources: 1\" rests on a single",
    "programmer's device table (no programming document, no second table); they are",
    "listed as \"one source\" wherever the program shows them.",
]


def erase_algorithm(eeprom):
    erase = f"begin,s80-8000,s18,w{BULK_ERASE_WAIT}"
    if eeprom:
        erase += f",s80-f000,s18,w{BULK_ERASE_WAIT}"
    return erase + ",end"


def config_steps(step):
    return ",".join(step(k) for k in range(1, CONFIG_WORDS + 1))


def program_algorithm(eeprom):
    sections = [
        erase_algorithm(eeprom),
        "begin,s80-0000,calcflashpage,setflashloop,s02-flash,ifpage,s80-row,se0,wprog,"
        "s80-address,endifpage,loop,end",
    ]
    if eeprom:
        sections.append(f"begin,s80-f000,calceeprom,seteepromloop,s00-eeprom,se0,w{EEPROM_WAIT},"
                        "sf8,loop,end")
    # The user IDs before the configuration words, and CONFIG5 (code protection) last.
    ids = ",sf8,".join(f"s00-userid{k},se0,w{CONFIG_WAIT}" for k in range(1, 5))
    sections.append(f"begin,ifuserids,s80-8000,{ids},endifuserids,end")
    words = ",sf8,".join(f"s00-config{k},se0,w{CONFIG_WAIT}" for k in range(1, CONFIG_WORDS + 1))
    sections.append(f"begin,s80-8007,{words},end")
    return ",".join(sections)


def walk_algorithms(eeprom):
    """The read, blank check and verify texts: the same walk, different steps."""

    def walk(flash_step, eeprom_step, config_step, userid_section):
        sections = [f"begin,s80-0000,setflashloop,{flash_step},loop,end"]
        if eeprom:
            sections.append(f"begin,s80-f000,seteepromloop,{eeprom_step},loop,end")
        sections.append(f"begin,s80-8007,{config_steps(config_step)},end")
        if userid_section:
            sections.append(userid_section)
        return ",".join(sections)

    read_ids = ",".join(f"userid{k}=sfe" for k in range(1, 5))
    check_ids = ",".join(f"temp=sfe,checkuserid{k}" for k in range(1, 5))
    read = walk("flash=sfe", "eeprom=sfe", lambda k: f"config{k}=sfe",
                f"begin,s80-8000,{read_ids},end")
    blank = walk("temp=sfe,checkblankflash", "temp=sfe,checkblankeeprom",
                 lambda k: f"temp=sfe,checkblankconfig{k}", None)
    verify = walk("temp=sfe,checkflash", "temp=sfe,checkeeprom",
                  lambda k: f"temp=sfe,checkconfig{k}",
                  f"begin,ifuserids,s80-8000,{check_ids},endifuserids,end")
    return read, blank, verify


def models_of(row):
    """The base model and its LF twin, each as (name, device ID)."""
    models = [(row["model"], row["device_id"])]
    if row["lf_model"]:
        models.append((row["lf_model"], row["lf_id"]))
    return models


def model_lines(name, device_id, row, slot):
    eeprom = int(row["eeprom"]) > 0
    lines = []
    if row["note"]:
        lines.append(f"# {name}: the sources differ ({row['note']}); the ID is the majority's.")
    lines += [
        f"model: {name}",
        f"flash: {row['flash']}",
        f"eeprom: {row['eeprom']}",
        "configerased: " + " ".join(["3FFF"] * CONFIG_WORDS),
        "config2used: true",
        "voltageseq: vppvdd",
        f"progtime: {PROGRAM_TIME}",
        f"pagesize: {row['latches']}",
        f"erasealg: {slot}",
        f"programalg: {slot}",
        f"readalg: {READ_SLOT_EEPROM if eeprom else READ_SLOT_NO_EEPROM}",
        f"blankcheckalg: {READ_SLOT_EEPROM if eeprom else READ_SLOT_NO_EEPROM}",
        f"verifyalg: {READ_SLOT_EEPROM if eeprom else READ_SLOT_NO_EEPROM}",
        f"configmask: {row['config_masks']}",
        f"deviceid: {device_id} 3FFF",
        f"idalg: {ID_SLOT}",
        "vpp: 8.0 9.0",
        "vdd: " + ("2.7 3.6" if "LF" in name else "2.7 5.5"),
        f"configwords: {CONFIG_WORDS}",
        "configaddr: 8007",
        "idaddr: 8000",
        "eepromaddr: F000",
        "revaddr: 8005",
        "lvp: true",
        "commandset: 8bit",
        f"sources: {row['sources']}",
    ]
    return lines


BEGIN = "# ==== 8-bit command set: 16F131xx to 16F191xx ===="
END = "# ==== End of the 8-bit command set ===="

HEADER = [
    BEGIN,
    "",
    "# Written by tools/make_group_b_models.py from data/group-b-models.csv; change the",
    "# table or the script, not these lines.",
    "# These parts take 8-bit commands, MSb first, and their data in 24-bit payloads",
    "# (commandset: 8bit): the program sends each command of an algorithm with board",
    "# command 108, each data word with 109 and each read with 110. The address map is",
    "# the enhanced mid-range's with five configuration words: user IDs 8000h-8003h,",
    "# revision 8005h, device ID 8006h (the whole word), CONFIG1-CONFIG5 8007h-800Bh,",
    "# calibration words from E000h (never erased, never written), data EEPROM at F000h",
    "# (HEX byte address 1E000h). Code protection: CP is CONFIG5 bit 0, CPD bit 1.",
    "# Programming voltage 8.0-9.0 V on MCLR (no document of this set gives its window;",
    "# the chip maker's own programmer drives 8.0 V), Vpp before Vdd. Low-voltage entry",
    "# (lvp: true): MCLR low, the 32-bit key MSb first, no 33rd clock (board extension",
    "# 42h), while CONFIG4's LVP bit is set.",
    "# Commands: 80 Load PC Address, 00 Load NVM, 02 Load NVM and increment, FC Read NVM,",
    "# FE Read NVM and increment, F8 Increment Address, E0 Begin Internally Timed",
    "# Programming, C0/82 Begin/End Externally Timed Programming, 18 Bulk Erase, F0 Row",
    "# Erase. The algorithms use 80, 00, 02, FE, FC, F8, E0 and 18.",
    f"# Erase: Load PC 8000h and 18 ({BULK_ERASE_WAIT} ms), then on parts with EEPROM Load PC",
    f"# F000h and 18 again ({BULK_ERASE_WAIT} ms).",
    "# Program: the erase; program memory in rows of 32 words (02 per word; after a row's",
    f"# last word Load PC back to the row, E0 and the programming time, {PROGRAM_TIME} ms, and Load PC",
    "# on to the next row: 02 has moved PC out of the row, and E0 writes the row that holds",
    "# PC); EEPROM bytes",
    f"# one at a time (00, E0, {EEPROM_WAIT} ms, F8); the user IDs when the image has any; the",
    f"# configuration words one at a time (00, E0, {CONFIG_WAIT} ms, F8), CONFIG5 with code protection",
    "# last.",
    "",
    f"# Read, blank check and verify: slot {READ_SLOT_EEPROM} for the parts with data EEPROM,",
    f"# {READ_SLOT_NO_EEPROM} for those without. Each section loads PC, then reads with FE,",
    "# which moves PC on.",
]


def generate(rows):
    by_family = {}
    for row in rows:
        by_family.setdefault(row["family"], []).append(row)
    known = [key for key, _ in FAMILIES]
    unknown = sorted(set(by_family) - set(known))
    if unknown:
        raise SystemExit("group-b-models.csv: no family notes for " + ", ".join(unknown))

    out = list(HEADER)
    for slot, eeprom in ((READ_SLOT_EEPROM, True), (READ_SLOT_NO_EEPROM, False)):
        read, blank, verify = walk_algorithms(eeprom)
        out += [f"readalgdef {slot}: {read}", f"blankcheckalgdef {slot}: {blank}",
                f"verifyalgdef {slot}: {verify}"]
    out += [
        "",
        "# Device ID: Load PC 8005h, the revision; Load PC 8006h, the ID (whole word).",
        f"idalgdef {ID_SLOT}: begin,s80-8005,revision=sfc,s80-8006,deviceid=sfc,end",
        "",
    ]
    out += ["# " + line for line in ONE_SOURCE_NOTE]

    for index, (family, notes) in enumerate(FAMILIES):
        family_rows = by_family.get(family, [])
        if not family_rows:
            continue
        slot = FIRST_SLOT + index
        eeprom = {int(row["eeprom"]) > 0 for row in family_rows}
        if len(eeprom) != 1:
            raise SystemExit(f"family {family}: parts with and without EEPROM")
        eeprom = eeprom.pop()
        names = [name for row in family_rows for name, _ in models_of(row)]
        documents = sorted({row["document"] for row in family_rows if row["document"]})
        cal = max(int(row["cal"]) for row in family_rows)
        out += [
            "",
            f"# ==== Slot {slot}: {', '.join(names)} ====",
            f"# Family: {family}",
            "# Calibration: " + (f"E000h-{0xE000 + cal - 1:04X}h, never erased" if cal else "none"),
            "",
        ]
        if documents:
            out.append("# Programming document DS" + ", DS".join(documents) + ".")
        out += ["# " + line for line in notes]
        out += ["# " + line for line in VDD_NOTE]
        out += [f"erasealgdef {slot}: {erase_algorithm(eeprom)}",
                f"programalgdef {slot}: {program_algorithm(eeprom)}"]
        for row in family_rows:
            for name, device_id in models_of(row):
                out.append("")
                out += model_lines(name, device_id, row, slot)
    out += ["", END]
    return "\r\n".join(out) + "\r\n"


def main(argv):
    return run(argv, "group-b-models.csv", "group-b-models.txt", generate, BEGIN, END,
               "make_group_b_models.py")


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
