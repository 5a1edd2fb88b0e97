#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Writes the device file text of the enhanced mid-range parts (12F1xxx, 16F1xxx and
16F183xx) from the table data/enhanced-models.csv, into data/enhanced-models.txt.

The text goes at the end of data/corvaneldevices.txt, after the classic models, and
needs the keys and instructions of the enhanced parts (configwords, configaddr, idaddr,
eepromaddr, revaddr, lvp; config3/config4, revision=s04, the Load PC board extension
s41) and algorithm slots past 20 (see FIRST_SLOT). Every part of one programming
document gets one slot block, "# ==== Slot N: ... ====" with its "# Family:" line, as
the classic part of the file does, so that tools/make_chip_table.py groups them.

What the algorithms do, in the chips' terms (6-bit commands, LSb first):
- 00 Load Configuration puts the address counter (PC) at 8000h, the only way into
  configuration memory; each section starts with begin, which puts PC at 0, so no
  algorithm needs 16 Reset Address.
- 09 Bulk Erase Program Memory with PC at 8000h erases program memory, the
  configuration words and the user IDs, and clears code protection (and the data
  EEPROM when data protection was on); the calibration words from 8009h (E000h on
  the 16F183xx) take part in no erase. 0B erases the data EEPROM when it was not
  protected. Both are internally timed, 5 ms at most.
- 08 Begin Internally Timed Programming writes the row that holds PC: the loop loads
  the latches with 02 and 06, and sends 08 after the last load of a row, before the
  06 that would take PC into the next row. 2.5 ms at most per row, 5 ms per
  configuration word, user ID and data byte.

Usage: make_enhanced_models.py [--check] [--merge] [REPOSITORY]
  --merge  also put the text into data/corvaneldevices.txt: in place of the lines from
           BEGIN to END when the file has them, else at its end (after the classic models).
  --check  change nothing; exit 1 when data/enhanced-models.txt, or the lines of
           data/corvaneldevices.txt from BEGIN to END where it has them, are not what
           this writes.
"""

import csv
import os
import sys

# The first algorithm slot the enhanced families take. The classic part of the file
# uses 1 to 17 of erasealgdef and programalgdef; the program's tables have 64 slots
# (0 to 63); the 19 families here use slots FIRST_SLOT to FIRST_SLOT + 18.
FIRST_SLOT = 18
# Read, blank check and verify slots (the classic part uses 1 to 4).
READ_SLOTS = {("cmd", 2): 5, ("none", 2): 6, ("none", 3): 7, ("pc", 4): 8}
# Device ID slots (idalgdef; the classic part uses 1).
ID_SLOT_CLASSIC = 2
ID_SLOT_FULL_WORD = 3

BULK_ERASE_WAIT = 10      # ms; the chip needs 5 at most
WRITE_WAIT = 6            # ms for a configuration word, user ID or data byte (5 at most)
PROGRAM_TIME = 3          # ms per row of program memory (2.5 at most): the model's progtime

# The programming supply window of each family ("vdd:"), F part and LF twin, and where
# it comes from. Only two of these documents could be read (DS41390A and DS41360A,
# Table 8-1 in both): reads, writes and row erases from 2.1 V, the bulk erase from 2.7 V,
# up to 5.5 V on the F parts and 3.6 V on the LF parts (their absolute maximum is about
# 4 V). For the families whose own document was not at hand the window starts at
# 2.7 V, where the bulk erase of every read document works, so that each step of the
# algorithms (which all begin with a bulk erase) lies inside it.
VDD_READ = ("2.1 5.5 erase 2.7 5.5", "2.1 3.6 erase 2.7 3.6")
VDD_UNREAD = ("2.7 5.5", "2.7 3.6")
VDD_UNREAD_NOTE = [
    "Vdd: this family's programming document was not available; 2.7-5.5 V (LF 2.7-3.6 V),",
    "the bulk-erase window of DS41390A/DS41360A Table 8-1, which holds every step. A",
    "PICkit 2 device file also gives 3.6 V as the top of every LF part here."]
VDD = {
    "41390": (VDD_READ, [
        "Vdd (DS41390A Table 8-1, which covers the 16F/LF1826/1827; later revisions add the",
        "others): 2.1-5.5 V for reads, writes and row erase, 2.7-5.5 V for the bulk erase;",
        "LF parts 2.1-3.6 V and 2.7-3.6 V."]),
    "41397": (VDD_READ, [
        "Vdd (DS41360A Table 8-1, which covers the 16F/LF1933-1939; the 1946/1947 came with",
        "DS41397, not at hand, and are taken alike): 2.1-5.5 V for reads, writes and row",
        "erase, 2.7-5.5 V for the bulk erase; LF parts 2.1-3.6 V and 2.7-3.6 V."]),
    "41397-190x": (VDD_READ, [
        "Vdd as the 16LF193x (DS41360A Table 8-1; DS41397 itself was not at hand): 2.1-3.6 V,",
        "2.7-3.6 V for the bulk erase."]),
}

# The families in file order: key in the table, name in the table of supported chips,
# and the notes that set the family apart.
FAMILIES = [
    ("41390", "12F1822, 16F1823-1829", [
        "The 12F1822 and 16F1823 have 16 write latches, the 16F1826/1827 eight (in rows",
        "of 32 words), the others 32. CONFIG2 bit 4 (VCAPEN) exists on the 16F1826/1827",
        "only, not on their LF twins. On silicon revision 0 of the 16F182x a bulk erase",
        "does not work after low-voltage entry (the chip's errata): use high voltage there."]),
    ("41397", "16F1933-1939, 16F1946/1947", [
        "Eight write latches in rows of 32 words (the chip's document; one programmer writes",
        "32 on the 1938/1939/1946/1947, which eight-word writes cover). CONFIG2 has the two",
        "VCAPEN bits 5:4 on the 193x, one bit on the 1946/1947, none on the LF twins.",
        "The 16F1933 answers 2300h (later documents and the programmers; the first",
        "document gave 2320h, which no other part uses)."]),
    ("41397-190x", "16LF1902-1907", [
        "LF parts only, without data EEPROM (no 03, 05 or 0B). Eight write latches in rows",
        "of 32 words."]),
    ("41439", "12F1840, 16F1847", [
        "32 write latches; the 12F1840 is written 16 at a time (one programmer gives it 16).",
        "The 12LF1840 answers 1BC0h in this table (its row names DS41439A); another",
        "programmer's data gives 1BA0h. Not settled: the document was not at hand to read",
        "again, and an ID that differs is only asked about before Program All and Erase All."]),
    ("41573", "12F1501, 16F1503-1509", [
        "No data EEPROM (no 03, 05 or 0B). 16 write latches on the 12F1501/16F1503/1507,",
        "32 on the 1508/1509, which are written 16 at a time (one programmer gives them 16;",
        "fewer words than latches is always safe). CONFIG2 bit 11 is LPBOR."]),
    ("41442", "16F1512-1527", [
        "No data EEPROM. 32 write latches. CONFIG2 bit 4 (VCAPEN) on the F parts only."]),
    ("41620", "16F1454/1455/1459", [
        "The USB parts. No data EEPROM. 32 write latches."]),
    ("41457", "16F1782-1789", [
        "32 write latches. The 16F1788/1789 name themselves with the whole ID word and keep",
        "their revision at 8005h; the others have a five-bit revision in the ID word.",
        "Eleven calibration words."]),
    ("41642", "12LF1552", [
        "LF only, no data EEPROM. 16 write latches, written one word at a time as one",
        "programmer does (fewer words than latches is always safe)."]),
    ("40001743", "16LF1554/1559", [
        "LF only, no data EEPROM. 32 write latches, written one word at a time as one",
        "programmer does."]),
    ("40001796", "16LF1566/1567", [
        "LF only, no data EEPROM. 32 write latches, written one word at a time as one",
        "programmer does."]),
    ("40001713", "12F1571/1572", [
        "No data EEPROM. 16 write latches; the 12F1571 is written 8 at a time (one",
        "programmer gives it 8). Three calibration words."]),
    ("40001766", "16F1574-1579", [
        "No data EEPROM. 32 write latches, written 16 at a time as two programmers do",
        "(32-latch rows accept that as well). Three calibration words."]),
    ("40001720", "12F1612, 16F1613-1619", [
        "No data EEPROM. Three configuration words (8007h-8009h; CONFIG3 holds the windowed",
        "watchdog), so the calibration words start at 800Ah. 16 write latches on the",
        "12F1612/16F1613, 32 on the others. The bulk erase is sent with PC at 8000h, never",
        "past the configuration words."]),
    ("40001683", "16F1703-1709", [
        "No data EEPROM. 16 write latches on the 1703/1707, 32 on the others; all are",
        "written 8 at a time (one programmer gives them 8)."]),
    ("40001714", "16F1713-1719", [
        "No data EEPROM. 32 write latches."]),
    ("40001754", "16F1764-1769", [
        "No data EEPROM. 32 write latches, written 8 at a time (one programmer gives them 8)."]),
    ("40001792", "16F1773-1779", [
        "No data EEPROM. 32 write latches."]),
    ("40001738", "16F183xx", [
        "The 6-bit commands of the other families, four configuration words (8007h-800Ah)",
        "and one more command, 1D Load PC Address, followed by the address in a 24-clock",
        "frame: the board's extension 41h sends it (s41-f000: 104 41h, 105 with F000h).",
        "The data EEPROM lies in the same PC space at F000h-F0FFh and has no commands of",
        "its own: Load PC F000h, then 02 and 08 to write a byte, 04 to read one. The erase",
        "is Load Configuration and 09, then Load PC F000h and 09 again for the EEPROM.",
        "The calibration words are at E000h-E003h, out of every erase. The 16F18313/18323",
        "answer 3066h/3067h (3068h/3069h LF); one revision of their document lists",
        "3034h/3035h (3036h/3037h) instead. Code protection lies in CONFIG4 (CP bit 0,",
        "CPD bit 1), not in CONFIG1."]),
]


def calibration_text(family_rows, eeprom_kind):
    """The family's "# Calibration:" line for the table of supported chips."""
    words = max(int(row["cal"]) for row in family_rows)
    if eeprom_kind == "pc":
        return f"E000h-{0xE000 + words - 1:04X}h, never erased"
    first = 0x8007 + int(family_rows[0]["config_words"])
    last = first + words - 1
    counts = sorted({int(row["cal"]) for row in family_rows})
    span = f"{first:04X}h-{last:04X}h" if last > first else f"{first:04X}h"
    if len(counts) > 1:
        span += " (" + " or ".join(str(c) for c in counts) + " words by part)"
    return span + " in configuration space, never erased"


def eeprom_kind(family_key, rows):
    """How the family reaches its data EEPROM: "cmd" with 03/05/0B, "pc" through Load PC
    F000h and the program memory commands (16F183xx), "none" without EEPROM."""
    if family_key == "40001738":
        return "pc"
    return "cmd" if int(rows[0]["eeprom"]) > 0 else "none"


def increments(count):
    return ",".join(["s06"] * count)


def config_words_section(body_per_word, words):
    """Load Configuration, seven increments to 8007h, then one step per word."""
    steps = [body_per_word(k) for k in range(1, words + 1)]
    return "begin,s00-3fff," + increments(7) + "," + ",s06,".join(steps) + ",end"


def erase_algorithm(kind):
    erase = f"begin,s00-3fff,s09,w{BULK_ERASE_WAIT}"
    if kind == "cmd":
        erase += f",s0b,w{BULK_ERASE_WAIT}"
    elif kind == "pc":
        erase += f",s41-f000,s09,w{BULK_ERASE_WAIT}"
    return erase + ",end"


def program_algorithm(kind, words):
    sections = [erase_algorithm(kind),
                "begin,calcflashpage,setflashloop,s02-flash,ifpage,s08,wprog,endifpage,s06,loop,end"]
    if kind == "cmd":
        sections.append(f"begin,calceeprom,seteepromloop,s03-eeprom,s08,w{WRITE_WAIT},s06,loop,end")
    elif kind == "pc":
        sections.append(
            f"begin,s41-f000,calceeprom,seteepromloop,s02-eeprom,s08,w{WRITE_WAIT},s06,loop,end")
    sections.append(config_words_section(lambda k: f"s02-config{k},s08,w{WRITE_WAIT}", words))
    ids = ",s06,".join(f"s02-userid{k},s08,w{WRITE_WAIT}" for k in range(1, 5))
    sections.append(f"begin,ifuserids,s00-3fff,{ids},endifuserids,end")
    return ",".join(sections)


def walk_algorithms(kind, words):
    """The read, blank check and verify texts: the same walk, different steps."""
    read_eeprom = {"cmd": "s05", "pc": "s04"}.get(kind)
    eeprom_start = "s41-f000," if kind == "pc" else ""

    def walk(flash_step, eeprom_step, config_step, userid_section):
        sections = [f"begin,setflashloop,{flash_step},s06,loop,end"]
        if read_eeprom:
            sections.append(f"begin,{eeprom_start}seteepromloop,{eeprom_step},s06,loop,end")
        sections.append(config_words_section(config_step, words))
        if userid_section:
            sections.append(userid_section)
        return ",".join(sections)

    read_ids = ",s06,".join(f"userid{k}=s04" for k in range(1, 5))
    check_ids = ",s06,".join(f"temp=s04,checkuserid{k}" for k in range(1, 5))
    read = walk("flash=s04", f"eeprom={read_eeprom}", lambda k: f"config{k}=s04",
                f"begin,s00-3fff,{read_ids},end")
    blank = walk("temp=s04,checkblankflash", f"temp={read_eeprom},checkblankeeprom",
                 lambda k: f"temp=s04,checkblankconfig{k}", None)
    verify = walk("temp=s04,checkflash", f"temp={read_eeprom},checkeeprom",
                  lambda k: f"temp=s04,checkconfig{k}",
                  f"begin,ifuserids,s00-3fff,{check_ids},endifuserids,end")
    return read, blank, verify


def read_table(path):
    with open(path, newline="") as f:
        lines = [line for line in f if not line.startswith("#")]
    return list(csv.DictReader(lines))


def models_of(row):
    """The base model and its LF twin, each as (name, device ID, config masks)."""
    models = [(row["model"], row["device_id"], row["config_masks"])]
    if row["lf_model"]:
        models.append((row["lf_model"], row["lf_id"], row["lf_config_masks"] or row["config_masks"]))
    return models


def vdd_of(family_key, name):
    """The model's "vdd:" value: the family's window for an F part or for an LF one."""
    windows = VDD.get(family_key, (VDD_UNREAD, None))[0]
    return windows[1] if "LF" in name else windows[0]


def vdd_note(family_key):
    return VDD.get(family_key, (None, VDD_UNREAD_NOTE))[1]


def model_lines(name, device_id, masks, row, slot, read_slot):
    words = int(row["config_words"])
    full_word = row["id_mask"].upper() == "3FFF"
    lines = [
        f"model: {name}",
        f"flash: {row['flash']}",
        f"eeprom: {row['eeprom']}",
        "configerased: " + " ".join(["3FFF"] * words),
        "config2used: true",
        "voltageseq: vppvdd",
        f"progtime: {PROGRAM_TIME}",
        f"pagesize: {row['latches']}",
        f"erasealg: {slot}",
        f"programalg: {slot}",
        f"readalg: {read_slot}",
        f"blankcheckalg: {read_slot}",
        f"verifyalg: {read_slot}",
        f"configmask: {masks}",
        f"deviceid: {device_id} {row['id_mask']}",
        f"idalg: {ID_SLOT_FULL_WORD if full_word else ID_SLOT_CLASSIC}",
        "vpp: 8.0 9.0",
        f"vdd: {vdd_of(row['family'], name)}",
        f"configwords: {words}",
        "configaddr: 8007",
        "idaddr: 8000",
        "eepromaddr: F000",
    ]
    if full_word:
        lines.append("revaddr: 8005")
    lines.append("lvp: true")
    return lines


BEGIN = "# ==== Enhanced mid-range: 12F1xxx, 16F1xxx and 16F183xx ===="
END = "# ==== End of the enhanced mid-range ===="

HEADER = [
    BEGIN,
    "",
    "# Written by tools/make_enhanced_models.py from data/enhanced-models.csv; change the",
    "# table or the script, not these lines.",
    "# These parts keep their user IDs at 8000h-8003h, the revision at 8005h (parts whose",
    "# device ID fills the whole word), the device ID at 8006h, the configuration words",
    "# from 8007h (configwords, configaddr, idaddr), and their data EEPROM at F000h in HEX",
    "# files (eepromaddr; byte address 1E000h behind a type 04 record). Programming voltage",
    "# 8.0-9.0 V on MCLR, never the 12-13 V of the classic parts; Vpp before Vdd, as the",
    "# chips' documents recommend (with MCLR as an input and the internal oscillator, a part",
    "# powered Vdd first may start running). Every part may also enter programming mode at",
    "# low voltage (lvp: true): MCLR low and the 33-clock key, while its LVP bit is set.",
    "# The LF parts take 3.6 V at most on Vdd (vdd: ends at 3.6 on every LF model; the",
    "# absolute maximum is about 4 V), the F parts 5.5 V; each family names its source.",
    "# Commands (6 bits): 00 Load Configuration (PC = 8000h), 02 Load Data for Program",
    "# Memory, 03 Load Data for Data Memory, 04 Read Data from Program Memory, 05 Read Data",
    "# from Data Memory, 06 Increment Address, 08 Begin Internally Timed Programming,",
    "# 09 Bulk Erase Program Memory, 0B Bulk Erase Data Memory, 16 Reset Address (not",
    "# needed here: each section starts with begin, which puts PC at 0). The parts without",
    "# data EEPROM have no 03, 05 or 0B.",
    "# Erase: Load Configuration (PC at 8000h, so the user IDs go too), 09, 10 ms (5 ms at",
    "# most), then 0B, 10 ms on the parts with data EEPROM. PC never goes past 8008h",
    "# before the erase, and the calibration words after the configuration words take no",
    "# part in any erase, so no algorithm reads or writes them.",
    "# Program: the erase, then program memory in rows: 02 and 06 per word, and after the",
    "# last load of a row (ifpage, pagesize = the write latches) 08 and the programming",
    "# time before the 06, since PC at 08 selects the row. Data bytes one at a time (03,",
    "# 08, 6 ms, 06; the chip erases the byte first). The configuration words one at a",
    "# time: Load Configuration, seven increments to 8007h, 02, 08, 6 ms (5 ms at most),",
    "# 06 to the next. The user IDs at 8000h-8003h the same way, when the image has any.",
    "",
    f"# Read, blank check and verify: slot {READ_SLOTS[('cmd', 2)]} for two configuration words and data",
    f"# EEPROM, {READ_SLOTS[('none', 2)]} for two words without, {READ_SLOTS[('none', 3)]} "
    f"for three words (16F161x), {READ_SLOTS[('pc', 4)]} for the 16F183xx (four",
    "# words; the data EEPROM read with 04 after Load PC F000h). The same walks as slots 1",
    "# to 4: every section from begin, configuration words from 8007h.",
]


def generate(rows):
    by_family = {}
    for row in rows:
        by_family.setdefault(row["family"], []).append(row)
    known = [key for key, _, _ in FAMILIES]
    unknown = sorted(set(by_family) - set(known))
    if unknown:
        raise SystemExit("enhanced-models.csv: no family notes for " + ", ".join(unknown))

    out = list(HEADER)
    for (kind, words), slot in sorted(READ_SLOTS.items(), key=lambda item: item[1]):
        read, blank, verify = walk_algorithms(kind, words)
        out += [f"readalgdef {slot}: {read}", f"blankcheckalgdef {slot}: {blank}",
                f"verifyalgdef {slot}: {verify}"]
    out += [
        "",
        "# Device ID: Load Configuration, six increments to 8006h, one read. The parts whose",
        "# ID fills the whole word keep their revision one word earlier, at 8005h. begin, not",
        "# beginvppvdd: every model here powers Vpp first anyway, and begin also enters at",
        "# low voltage when that is chosen.",
        f"idalgdef {ID_SLOT_CLASSIC}: begin,s00-3fff,{increments(6)},deviceid=s04,end",
        f"idalgdef {ID_SLOT_FULL_WORD}: begin,s00-3fff,{increments(5)},revision=s04,s06,deviceid=s04,end",
    ]

    for index, (key, family_name, notes) in enumerate(FAMILIES):
        family_rows = by_family.get(key, [])
        if not family_rows:
            continue
        slot = FIRST_SLOT + index
        kind = eeprom_kind(key, family_rows)
        words = {int(row["config_words"]) for row in family_rows}
        if len(words) != 1:
            raise SystemExit(f"family {key}: parts with different configuration word counts")
        words = words.pop()
        read_slot = READ_SLOTS[(kind, words)]
        names = [name for row in family_rows for name, _, _ in models_of(row)]
        documents = sorted({row["document"] for row in family_rows})
        out += [
            "",
            f"# ==== Slot {slot}: {', '.join(names)} ====",
            f"# Family: {family_name}",
            f"# Calibration: {calibration_text(family_rows, kind)}",
            "",
            "# Programming document DS" + ", DS".join(documents) + ".",
        ]
        out += ["# " + line for line in notes]
        out += ["# " + line for line in vdd_note(key)]
        out += [f"erasealgdef {slot}: {erase_algorithm(kind)}",
                f"programalgdef {slot}: {program_algorithm(kind, words)}"]
        for row in family_rows:
            for name, device_id, masks in models_of(row):
                out.append("")
                out += model_lines(name, device_id, masks, row, slot, read_slot)
    out += ["", END]
    return "\r\n".join(out) + "\r\n"


def merged(device_text, text, begin=BEGIN, end=END):
    """The device file with the generated lines in place: between `begin` and `end` when it
    has them, else at its end (after an empty line)."""
    first = device_text.find(begin + "\r\n")
    last = device_text.find(end + "\r\n")
    if first >= 0 and last > first:
        return device_text[:first] + text + device_text[last + len(end) + 2:]
    if not device_text.endswith("\r\n\r\n"):
        device_text += "\r\n" if device_text.endswith("\r\n") else "\r\n\r\n"
    return device_text + "\r\n" + text


def run(argv, table, output, generate_text, begin, end, script):
    """The generators' command line: writes data/OUTPUT from data/TABLE and, with --merge,
    puts it into the device file; --check only compares."""
    check = "--check" in argv
    merge = "--merge" in argv
    args = [a for a in argv if a not in ("--check", "--merge")]
    root = args[0] if args else os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")
    text = generate_text(read_table(os.path.join(root, "data", table)))
    output = os.path.join(root, "data", output)
    device_file = os.path.join(root, "data", "corvaneldevices.txt")
    with open(device_file, newline="") as f:
        device_text = f.read()
    if check:
        stale = []
        try:
            with open(output, newline="") as f:
                if f.read() != text:
                    stale.append(output)
        except OSError:
            stale.append(output)
        if begin not in device_text or merged(device_text, text, begin, end) != device_text:
            stale.append(device_file)
        for path in stale:
            print(f"{path} is out of date: run tools/{script} --merge", file=sys.stderr)
        return 1 if stale else 0
    with open(output, "w", newline="") as f:
        f.write(text)
    if merge:
        with open(device_file, "w", newline="") as f:
            f.write(merged(device_text, text, begin, end))
    return 0


def main(argv):
    return run(argv, "enhanced-models.csv", "enhanced-models.txt", generate, BEGIN, END,
               "make_enhanced_models.py")


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
