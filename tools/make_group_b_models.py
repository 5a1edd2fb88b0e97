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
- 18h Bulk Erase picks its regions in one of two ways, a property of the family
  (the model key "bulkerase:"). The older families (16F188xx, 16F153xx, 16F184xx,
  16F191xx, 16F152xx) take them from the PC and no data: at 8000h program memory,
  the configuration words and the user IDs (and code protection with them); at
  F000h the EEPROM, erased on its own because whether the 8000h erase reaches it
  differs by family. The newer ones (16F171xx, 16F181xx, 16F180xx, 16F175xx,
  16F131xx) take them from a 24-bit payload: bit 0 the EEPROM, bit 1 program
  memory, bit 2 the user IDs, bit 3 the configuration words; code protection is
  cleared only by an erase with bit 3 set. Such a chip clocks in the 24 bits after
  18h as the payload whether the host sends one or not, so a bare 18h would eat
  the next command. Erase All and Program All name every region the part has.
- 00h loads the latch at PC and leaves PC where it is, 02h loads it and moves PC on;
  E0h writes what is loaded (the row of 32 latches that holds PC, one configuration
  word, user ID or EEPROM byte) and is internally timed; F8h moves PC on. Program
  memory is loaded with 02h (one command a word, not 00h and F8h); after a row's last
  word PC has left the row, so Load PC takes it back to the row for E0h and on to the
  next row after it.
- FEh reads the word at PC and moves PC on; FCh reads without moving.
- Each family waits its own times (TERAB after the erase, TPINT after a row and
  after a configuration word, user ID or EEPROM byte), from its documents where one
  could be had, with the margin the rest of the file keeps (about a fifth above the
  document's maximum, rounded up to a whole millisecond); see FAMILIES.

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
# The 16F132xx's seven configuration words (all have EEPROM).
READ_SLOT_SEVEN_WORDS = 11
ID_SLOT = 4

CONFIG_WORDS = 5


class Family:
    """What sets a family apart: its notes, how its bulk erase picks the regions,
    its waits in ms (erase, program memory row, configuration word or user ID,
    EEPROM byte) and its programming supply window."""

    def __init__(self, name, notes, erase, erase_wait, row_wait, config_wait, eeprom_wait,
                 vdd="2.7 5.5", config_words=CONFIG_WORDS):
        self.name = name
        self.notes = notes
        self.erase = erase
        self.erase_wait = erase_wait
        self.row_wait = row_wait
        self.config_wait = config_wait
        self.eeprom_wait = eeprom_wait
        self.vdd = vdd
        self.config_words = config_words


# The families read from the catalogue and found right by the review against the
# chip maker's online documents and two other programmers' data: TERAB 8.4 ms
# (14 ms waited: the longest wait of the chip maker's own programmer), TPINT 2.8 ms
# a row (3 ms), 5.6 ms a configuration word or user ID (10 ms: one source waits
# that long), 5.6 ms an EEPROM byte (6 ms).
PC_TIMES = dict(erase_wait=14, row_wait=3, config_wait=10, eeprom_wait=6)
# 16F131xx: TPINT 7.5 ms a row and 13.5 ms a configuration word, TERAB 20 ms, the
# figures the chip maker's own web programmer (github.com/MicrochipTech/veryVerilog,
# www/js/pic/pic.js) settled on after its shorter waits left a 16F13145 partly
# programmed; the family's programming specification, Table 4-1, as
# the review read it, gives 7, 12 and 20 ms. The longer figures with the margin: 9,
# 17 and 24 ms.
F131_TIMES = dict(erase_wait=24, row_wait=9, config_wait=17, eeprom_wait=17)
# 16F180xx: TPINT 2.5 ms a row and 6 ms a configuration word, TERAB 13 ms, from the
# same web programmer; an EEPROM byte 5 ms (the set's data sheets: TD_BEW at most
# 5.0 ms; that programmer waits twice the row's 2.5 ms and finds less too short).
# With the margin 16, 3, 8 and 6 ms.
F180_TIMES = dict(erase_wait=16, row_wait=3, config_wait=8, eeprom_wait=6)
# The payload families whose figures could be had nowhere here (16F171xx, 16F181xx,
# 16F175xx): the 16F131xx's row and configuration times as the review read them,
# the erase as long as the longest another programmer waits for it on these parts
# (40 ms on the 16F175xx and 16F131xx), an EEPROM byte as a configuration word.
UNREAD_PAYLOAD_TIMES = dict(erase_wait=40, row_wait=9, config_wait=15, eeprom_wait=15)
# 16F132xx: DS40002646A as the chip maker's own web programmer quotes it (TERAB 40 ms,
# TPINT 8 ms a row, 13.5 ms a configuration word); with the margin 48, 10 and 17 ms.
F132_TIMES = dict(erase_wait=48, row_wait=10, config_wait=17, eeprom_wait=17)

# Order of the families in the file, and what sets each apart.
FAMILIES = [
    Family("16F188xx", [
        "The oldest family of the set (DS40001753): CONFIG4 holds only WRT<1:0>, SCANE",
        "and LVP, CONFIG5 CP and CPD. 256 bytes of EEPROM.",
        "Documents: programming specification DS40001753, not read here (the times are",
        "the catalogue's, which the review found right)."], "pc", **PC_TIMES),
    Family("16F153xx", [
        "DS40001838. No data EEPROM. The 16F15385/15386 are not in every source's table;",
        "two programmers put them in this family.",
        "Documents: programming specification DS40001838, not read here (the times are",
        "the catalogue's, which the review found right).",
        "CONFIG4 mask: two programmers' data differ in bit 10 (2F9Fh and 2B9Fh); not",
        "settled: no document of the family could be read here. Bit 10 is WRTD, the",
        "EEPROM's write protection, on the parts with EEPROM (16F184xx, 16F180xx data",
        "sheets) and unimplemented on the 16F152xx, which have none, as the 16F153xx",
        "have none; that favours 2B9Fh, but each row keeps the mask of its sources",
        "until a 16F153xx document says so."],
        "pc", **PC_TIMES),
    Family("16F184xx", [
        "DS40001970. 256 bytes of EEPROM, which the 8000h bulk erase leaves as it is",
        "(hence the separate F000h erase).",
        "Documents: programming specification DS40001970, not read here (the times are",
        "the catalogue's, which the review found right). The data sheet (two online",
        "revisions): CONFIG5 (4.7.5) holds CP alone, bit 0, bits 15:1 unimplemented, so",
        "the mask is 0001h and there is no CPD; Memory Programming Specifications",
        "(39.3.5): VIHH 8-9 V, an EEPROM byte's erase and write 5.0 ms at most."],
        "pc", **PC_TIMES),
    Family("16F191xx", [
        "DS40001880 (16F1915x-1918x) and DS40001846 (16F19195-19197). 256 bytes of EEPROM.",
        "One programmer's table shifts the IDs of the 16F19196/19197 by one.",
        "Documents: programming specifications DS40001880 and DS40001846, not read here",
        "(the times are the catalogue's, which the review found right)."], "pc", **PC_TIMES),
    Family("16F152xx", [
        "DS40002149. No data EEPROM, no LF parts (each part covers the whole supply",
        "range). CONFIG3 has no implemented bit in the one source that gives the masks.",
        "Documents: the family's programming specification, online edition (Bulk Erase",
        "Table 3-2: the regions by PC, 8000h-80FDh program memory, configuration and",
        "user IDs, 80FEh-80FFh program memory alone; Electrical Specifications: VIHH",
        "7.9-9.0 V, VBE from VBORMAX; its timing rows could not be read here); the data",
        "sheet's Memory Programming Specifications table (32.3.5, two online revisions):",
        "VIHH 7.9-9 V, self-timed row write 2.8 ms at most (3.0 ms typical in the older",
        "revision), VBE 2.9 V in the newer revision (2.7 V in the older): bulk erase",
        "needs 2.9 V, the rest of programming 2.7 V. User IDs: four words, 8000h-8003h,",
        "as the rest of the set (the fifth word one source gives is not written)."],
        "pc", **PC_TIMES, vdd="2.7 5.5 erase 2.9 5.5"),
    Family("16F171xx", [
        "Programming specification DS40002266 (revision B, August 2021): named in a",
        "public reference list, not read here; its times could not be had. 128 or 256",
        "bytes of EEPROM. No LF parts. Bulk Erase takes its regions from a payload (the",
        "family's programming specification, Code Protection section, as the review",
        "read it; two other programmers clock the payload). Times: none known (see",
        "docs/device-database.md); the longest of the set's other payload families."],
        "payload", **UNREAD_PAYLOAD_TIMES),
    Family("16F181xx", [
        "No programming document could be had here; as the 16F171xx. No LF parts. The",
        "data sheets' Device ID tables (8.7.1) give ten of the fourteen IDs (16F18114-",
        "18145, 16F18154/55/74/75) as the table here; the other four were not seen."],
        "payload", **UNREAD_PAYLOAD_TIMES),
    Family("16F180xx", [
        "The family's programming specification is in the chip maker's online documents",
        "(\"an SPI-based programming method for the PIC16F180XX family\"); its electrical",
        "table could not be read to its timing rows here. 128 or 256 bytes of EEPROM.",
        "CONFIG3 has no implemented bit in the one source that gives the masks. No LF",
        "parts. Bulk Erase takes its regions from a payload, as the 16F171xx. Times: the",
        "chip maker's own web programmer (github.com/MicrochipTech/veryVerilog,",
        "www/js/pic/pic.js, its PIC16F180XY class): TPINT 2.5 ms a row, 6 ms a",
        "configuration word, TERAB 13 ms, TERAR 2.5 ms; an EEPROM byte 5 ms (the set's",
        "data sheets: TD_BEW 5.0 ms at most). Device IDs: the programming",
        "specification's table (2.6) and that programmer give the same sixteen as the",
        "table here; the rest of each row (sizes, masks) still rests on one source."],
        "payload", **F180_TIMES),
    Family("16F175xx", [
        "No programming document could be had here. 256 bytes of EEPROM. No calibration",
        "words. No LF parts. Bulk Erase takes its regions from a payload, as the 16F171xx."],
        "payload", **UNREAD_PAYLOAD_TIMES),
    Family("16F131xx", [
        "No data EEPROM, no calibration words, no LF parts. Bulk Erase takes its regions",
        "from a payload. Times: the chip maker's own web programmer",
        "(github.com/MicrochipTech/veryVerilog, www/js/pic/pic.js, its PIC16F131XY",
        "class): TPINT 7.5 ms a row, 13.5 ms a configuration word, TERAB 20 ms, TERAR",
        "9.5 ms, the waits it took up after its first ones (2.5, 6 and 13 ms) left a",
        "16F13145 partly programmed. The family's programming specification, Table 4-1,",
        "as the review read it, gives 7, 12 and 20 ms; the longer figures are kept.",
        "The document itself could not be had here."], "payload", **F131_TIMES),
    Family("16F132xx", [
        "Seven configuration words, CONFIG1-CONFIG7 at 8007h-800Dh (HEX byte address",
        "1000Eh-1001Dh). EEPROM at F000h. No LF parts. Bulk Erase takes its regions from a",
        "payload. Device IDs and times from the chip maker's own web programmer",
        "(github.com/MicrochipTech/veryVerilog, www/js/pic/pic.js, source VV), which cites",
        "DS40002646A pages 31-32: TERAB 40 ms, TPINT 8 ms a row and 13.5 ms a",
        "configuration word; the document itself could not be had here. No source had",
        "here gives the implemented bits of the seven words (configmask: whole words,",
        "every bit verified), the EEPROM size (256 bytes, as the other families with",
        "EEPROM), calibration words (none) or where code protection lies (CP and CPD",
        "are taken to be CONFIG5 bits 0 and 1, as on the rest of the set)."],
        "payload", **F132_TIMES, config_words=7),
]

VDD_NOTE = [
    "Vdd: no document read here gives this set's supply window. 2.7-5.5 V (LF parts",
    "2.7-3.6 V): the bulk-erase window of DS41390A and DS41360A Table 8-1 (the 6-bit",
    "enhanced parts), which holds every step; the LF parts take 3.6 V at most.",
]

ONE_SOURCE_NOTE = [
    "One source: every value of the models marked \"sources: 1\" rests on a single",
    "programmer's device table (no programming document, no second table); they are",
    "listed as \"one source\" wherever the program shows them.",
]


def erase_regions(eeprom):
    """The payload naming every region the part has."""
    regions = 0x2 | 0x4 | 0x8  # program memory, user IDs, configuration
    return regions | (0x1 if eeprom else 0)


def erase_algorithm(family, eeprom):
    wait = family.erase_wait
    if family.erase == "payload":
        return f"begin,s18-{erase_regions(eeprom):04x},w{wait},end"
    erase = f"begin,s80-8000,s18,w{wait}"
    if eeprom:
        erase += f",s80-f000,s18,w{wait}"
    return erase + ",end"


def config_steps(step, words):
    return ",".join(step(k) for k in range(1, words + 1))


def program_erase(family, eeprom):
    """Program All's erase: on a payload family only the regions the operation does not
    keep ("s18-regions"), so that a kept memory stays on the chip without a read."""
    if family.erase == "payload":
        return f"begin,s18-regions,w{family.erase_wait},end"
    return erase_algorithm(family, eeprom)


def program_algorithm(family, eeprom):
    sections = [
        program_erase(family, eeprom),
        "begin,s80-0000,calcflashpage,setflashloop,s02-flash,ifpage,s80-row,se0,wprog,"
        "s80-address,endifpage,loop,end",
    ]
    if eeprom:
        sections.append(f"begin,s80-f000,calceeprom,seteepromloop,s00-eeprom,se0,"
                        f"w{family.eeprom_wait},sf8,loop,end")
    # The user IDs before the configuration words, and CONFIG5 (code protection) last.
    wait = family.config_wait
    ids = ",sf8,".join(f"s00-userid{k},se0,w{wait}" for k in range(1, 5))
    sections.append(f"begin,ifuserids,s80-8000,{ids},endifuserids,end")
    words = ",sf8,".join(f"s00-config{k},se0,w{wait}"
                         for k in range(1, family.config_words + 1))
    sections.append(f"begin,s80-8007,{words},end")
    return ",".join(sections)


def walk_algorithms(eeprom, config_words=CONFIG_WORDS):
    """The read, blank check and verify texts: the same walk, different steps."""

    def walk(flash_step, eeprom_step, config_step, userid_section):
        sections = [f"begin,s80-0000,setflashloop,{flash_step},loop,end"]
        if eeprom:
            sections.append(f"begin,s80-f000,seteepromloop,{eeprom_step},loop,end")
        sections.append(f"begin,s80-8007,{config_steps(config_step, config_words)},end")
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


def read_slot(family, eeprom):
    if family.config_words != CONFIG_WORDS:
        return READ_SLOT_SEVEN_WORDS
    return READ_SLOT_EEPROM if eeprom else READ_SLOT_NO_EEPROM


def model_lines(name, device_id, row, slot, family):
    eeprom = int(row["eeprom"]) > 0
    words = family.config_words
    lines = []
    if row["note"]:
        lines.append(f"# {name}: the sources differ ({row['note']}); the ID is the majority's.")
    lines += [
        f"model: {name}",
        f"flash: {row['flash']}",
        f"eeprom: {row['eeprom']}",
        "configerased: " + " ".join(["3FFF"] * words),
        "config2used: true",
        "voltageseq: vppvdd",
        f"progtime: {family.row_wait}",
        f"pagesize: {row['latches']}",
        f"erasealg: {slot}",
        f"programalg: {slot}",
        f"readalg: {read_slot(family, eeprom)}",
        f"blankcheckalg: {read_slot(family, eeprom)}",
        f"verifyalg: {read_slot(family, eeprom)}",
        f"configmask: {row['config_masks']}",
        f"deviceid: {device_id} 3FFF",
        f"idalg: {ID_SLOT}",
        "vpp: 8.0 9.0",
        "vdd: " + ("2.7 3.6" if "LF" in name else family.vdd),
        f"configwords: {words}",
        "configaddr: 8007",
        "idaddr: 8000",
        "eepromaddr: F000",
        "revaddr: 8005",
        "lvp: true",
        "commandset: 8bit",
        f"bulkerase: {family.erase}",
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
    "# the enhanced mid-range's with five configuration words (seven on the 16F132xx,",
    "# CONFIG6-CONFIG7 at 800Ch-800Dh): user IDs 8000h-8003h,",
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
    "# Erase (bulkerase: pc): Load PC 8000h and 18, then on parts with EEPROM Load PC",
    "# F000h and 18 again. Erase (bulkerase: payload): 18 with the payload naming every",
    "# region the part has (000Fh with EEPROM, 000Eh without). Each waits TERAB.",
    "# Program All's erase on a payload family is s18-regions: the program fills the",
    "# payload with every region the part has that the operation does not keep (EEPROM",
    "# kept: 000Eh; --only flash on a part without EEPROM: 0002h), and leaves out each",
    "# section that writes a kept memory; so each memory has a section of its own.",
    "# A code-protected chip erases every region or none: the program reads CONFIG5",
    "# first and then keeps the memories by reading them and writing them back.",
    "# Program: the erase; program memory in rows of 32 words (02 per word; after a row's",
    "# last word Load PC back to the row, E0 and the programming time, and Load PC on to",
    "# the next row: 02 has moved PC out of the row, and E0 writes the row that holds",
    "# PC); EEPROM bytes one at a time (00, E0, the wait, F8); the user IDs when the image",
    "# has any; the configuration words one at a time (00, E0, the wait, F8), CONFIG5",
    "# with code protection last. The waits are each family's: see its notes and",
    "# docs/device-database.md.",
    "",
    f"# Read, blank check and verify: slot {READ_SLOT_EEPROM} for the parts with data EEPROM,",
    f"# {READ_SLOT_NO_EEPROM} for those without, {READ_SLOT_SEVEN_WORDS} for the 16F132xx's seven "
    "configuration words.",
    "# Each section loads PC, then reads with FE, which moves PC on.",
]


def generate(rows):
    by_family = {}
    for row in rows:
        by_family.setdefault(row["family"], []).append(row)
    known = [family.name for family in FAMILIES]
    unknown = sorted(set(by_family) - set(known))
    if unknown:
        raise SystemExit("group-b-models.csv: no family notes for " + ", ".join(unknown))

    out = list(HEADER)
    slots = [(READ_SLOT_EEPROM, True, CONFIG_WORDS), (READ_SLOT_NO_EEPROM, False, CONFIG_WORDS)]
    if any(family.config_words == 7 and by_family.get(family.name) for family in FAMILIES):
        slots.append((READ_SLOT_SEVEN_WORDS, True, 7))
    for slot, eeprom, words in slots:
        read, blank, verify = walk_algorithms(eeprom, words)
        out += [f"readalgdef {slot}: {read}", f"blankcheckalgdef {slot}: {blank}",
                f"verifyalgdef {slot}: {verify}"]
    out += [
        "",
        "# Device ID: Load PC 8005h, the revision; Load PC 8006h, the ID (whole word).",
        f"idalgdef {ID_SLOT}: begin,s80-8005,revision=sfc,s80-8006,deviceid=sfc,end",
        "",
    ]
    out += ["# " + line for line in ONE_SOURCE_NOTE]

    for index, family in enumerate(FAMILIES):
        family_rows = by_family.get(family.name, [])
        if not family_rows:
            continue
        slot = FIRST_SLOT + index
        eeprom = {int(row["eeprom"]) > 0 for row in family_rows}
        if len(eeprom) != 1:
            raise SystemExit(f"family {family.name}: parts with and without EEPROM")
        eeprom = eeprom.pop()
        names = [name for row in family_rows for name, _ in models_of(row)]
        documents = sorted({row["document"] for row in family_rows if row["document"]})
        cal = max(int(row["cal"]) for row in family_rows)
        out += [
            "",
            f"# ==== Slot {slot}: {', '.join(names)} ====",
            f"# Family: {family.name}",
            "# Calibration: " + (f"E000h-{0xE000 + cal - 1:04X}h, never erased" if cal else "none"),
            "",
        ]
        if documents:
            out.append("# Programming document DS" + ", DS".join(documents) + ".")
        out += ["# " + line for line in family.notes]
        out += ["# " + line for line in VDD_NOTE]
        how = "the payload" if family.erase == "payload" else "the PC"
        out += [f"# Bulk erase regions from {how} (bulkerase: {family.erase}). Waits: erase "
                f"{family.erase_wait} ms,",
                f"# row {family.row_wait} ms, configuration word or user ID {family.config_wait} ms"
                + (f", EEPROM byte {family.eeprom_wait} ms." if eeprom else ".")]
        out += [f"erasealgdef {slot}: {erase_algorithm(family, eeprom)}",
                f"programalgdef {slot}: {program_algorithm(family, eeprom)}"]
        for row in family_rows:
            for name, device_id in models_of(row):
                out.append("")
                out += model_lines(name, device_id, row, slot, family)
    out += ["", END]
    return "\r\n".join(out) + "\r\n"


def main(argv):
    return run(argv, "group-b-models.csv", "group-b-models.txt", generate, BEGIN, END,
               "make_group_b_models.py")


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
