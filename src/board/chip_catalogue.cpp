// SPDX-License-Identifier: GPL-3.0-or-later
#include "board/chip_catalogue.h"

#include <initializer_list>
#include <stdexcept>
#include <string>

namespace corvanel {

namespace {

constexpr std::uint64_t commands(std::initializer_list<int> codes) {
    std::uint64_t set = 0;
    for (const int code : codes) {
        set |= std::uint64_t{1} << code;
    }
    return set;
}

constexpr std::uint32_t ms(double milliseconds) {
    return static_cast<std::uint32_t>(milliseconds * 1000.0);
}

// Each family is written out from a named base: a family that shares most of its
// rules with another starts from that family's function and says what differs, so
// no family inherits by accident from the block written above it. Cycle times are
// the longest figure the chip's programming documents give, so an algorithm that
// waits less than the chip may need fails on the emulated chip.

// 16F84A: 09 and 0B are carried out by the 08 that follows them; 01, 07 and 08 at
// 2007h remove code protection with a full erase. 18 is internally timed.
FamilyRules f84a() {
    FamilyRules r;
    r.family = ChipFamily::F84A;
    r.label = "16F84A";
    r.commands = commands({0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0B, 0x18});
    r.begin_08 = WriteCycle::EraseProgram;
    r.begin_18 = WriteCycle::ProgramOnly;
    r.program_us = r.data_us = r.config_us = ms(8);
    r.program_only_us = ms(4);
    r.bulk_erase_us = r.setup_erase_us = ms(10);
    r.bulk_erase_needs_begin = true;
    r.cp_bits = 0x3FF0;
    r.unimplemented_config_bits = 0;
    return r;
}

// 16F83, 16F84: as the 16F84A, slower, without 18 and without a device ID.
FamilyRules f83_84() {
    FamilyRules r = f84a();
    r.family = ChipFamily::F83_84;
    r.label = "16F83/84";
    r.commands = commands({0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0B});
    r.begin_18 = WriteCycle::None;
    r.program_us = r.data_us = r.config_us = ms(20);
    r.program_only_us = 0;
    r.bulk_erase_us = r.setup_erase_us = ms(10);
    r.revision_bits = 0;
    return r;
}

// 16F627, 16F628: 08 erases and programs (Tera + Tprog), 18 only programs; 09 and
// 0B are carried out by the 08 after them; the set-up erase of a protected part
// (01, 07, 08) takes erase and programming time. Vpp before Vdd.
FamilyRules f62x() {
    FamilyRules r;
    r.family = ChipFamily::F62x;
    r.label = "16F62x";
    r.commands = commands({0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0B, 0x18});
    r.begin_18 = WriteCycle::ProgramOnly;
    r.program_us = r.data_us = r.config_us = ms(13);
    r.program_only_us = ms(8);
    r.bulk_erase_us = ms(5);
    r.bulk_erase_needs_begin = true;
    r.setup_erase_us = ms(13);
    r.cp_bits = 0x3C00;
    r.cpd_bits = 0x0100;
    r.needs_vpp_first = true;
    return r;
}

// 16F627A, 16F628A, 16F648A: 08 only programs (the cell must have been erased);
// 09 always clears the configuration word, and the user IDs with the counter in
// configuration space; only 2000h-200Fh exist in configuration space.
FamilyRules f62xa() {
    FamilyRules r;
    r.family = ChipFamily::F62xA;
    r.label = "16F62xA";
    r.commands = commands({0x00, 0x02, 0x03, 0x04, 0x05, 0x06, 0x08, 0x09, 0x0B});
    r.begin_08 = WriteCycle::ProgramOnly;
    r.program_us = r.config_us = ms(4);
    r.data_us = ms(6);
    r.bulk_erase_us = ms(6);
    r.bulk_reach = BulkEraseReach::ConfigAlways;
    r.cp_bits = 0x2000;
    r.cpd_bits = 0x0100;
    r.config_space_top = 0x200F;
    r.needs_vpp_first = true;
    return r;
}

// 16F870-16F877: no bulk erase commands; 01, 07, 08 erase what the address
// counter and the last load point at, everything from 2007h. 18 internally timed.
FamilyRules f87x() {
    FamilyRules r;
    r.family = ChipFamily::F87x;
    r.label = "16F87x";
    r.commands = commands({0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x18});
    r.begin_18 = WriteCycle::ProgramOnly;
    r.program_us = r.data_us = r.config_us = ms(8);
    r.program_only_us = ms(4);
    r.setup_erase_us = ms(8);
    r.cp_bits = 0x3030;
    r.cpd_bits = 0x0100;
    return r;
}

// 16F873A-16F877A: eight latches; 08 internally timed, 18 ended by 17.
FamilyRules f87xa() {
    FamilyRules r;
    r.family = ChipFamily::F87xA;
    r.label = "16F87xA";
    r.commands = commands({0x00, 0x02, 0x03, 0x04, 0x05, 0x06, 0x08, 0x09, 0x0B, 0x17, 0x18, 0x1F});
    r.latches = 8;
    r.begin_18 = WriteCycle::ProgramOnly;
    r.external_18 = true;
    r.end_command = 0x17;
    r.program_us = r.data_us = r.config_us = ms(8);
    r.program_only_us = ms(1);
    r.bulk_erase_us = r.chip_erase_us = ms(8);
    r.bulk_erase_needs_begin = true;
    r.cp_bits = 0x2000;
    r.cpd_bits = 0x0100;
    r.revision_bits = 4;
    return r;
}

// 16F87, 16F88: four latches; 08 is Begin Erase only (a 32-word row or one data
// byte, 2 ms); program words, data bytes and configuration words are all written by
// 18 (1 ms); both are ended by 17. Vpp before Vdd.
FamilyRules f87_88() {
    FamilyRules r = f87xa();
    r.family = ChipFamily::F87_88;
    r.label = "16F87/88";
    r.latches = 4;
    r.begin_08 = WriteCycle::None;
    r.begin_08_erases_only = true;
    r.external_08 = true;
    r.row_words = 32;
    r.row_erase_us = ms(2);
    r.program_us = r.data_us = r.config_us = 0;
    r.program_only_us = ms(1);
    r.bulk_erase_us = r.chip_erase_us = ms(10);
    r.bulk_erase_needs_begin = false;
    r.needs_vpp_first = true;
    return r;
}

// 16F818, 16F819: as the 16F87/88. MCLR must reach VIHH within 250 us of Vdd,
// which only Vpp first guarantees.
FamilyRules f81x() {
    FamilyRules r = f87_88();
    r.family = ChipFamily::F81x;
    r.label = "16F818/819";
    r.bulk_erase_us = ms(2);
    r.chip_erase_us = ms(8);
    r.unimplemented_config_bits = 0;
    return r;
}

// 12F629, 12F675, 16F630, 16F676: 09 erases program memory (the OSCCAL word
// included) and the configuration word (band-gap bits back to 11b); bits 11:9 of
// the configuration word read 0. 18 is ended by 0A.
FamilyRules f629_675() {
    FamilyRules r;
    r.family = ChipFamily::F629_675;
    r.label = "12F629/675";
    r.commands = commands({0x00, 0x02, 0x03, 0x04, 0x05, 0x06, 0x08, 0x09, 0x0A, 0x0B, 0x18});
    r.begin_08 = WriteCycle::ProgramOnly;
    r.begin_18 = WriteCycle::ProgramOnly;
    r.external_18 = true;
    r.end_command = 0x0A;
    r.program_us = r.config_us = ms(2.5);
    r.data_us = ms(6);
    r.program_only_us = ms(2);
    r.bulk_erase_us = ms(8);
    r.bulk_reach = BulkEraseReach::ConfigAlways;
    r.bulk_erase_clears_protected_data = true;
    r.osccal_and_bandgap = true;
    r.cp_bits = 0x0080;
    r.cpd_bits = 0x0100;
    r.needs_vpp_first = true;
    r.unimplemented_config_bits = 0;
    return r;
}

// 12F635, 12F683, 16F631-16F690: four latches, row erase of 16 words, 09 with the
// address counter on a calibration word erases it; 18 ended by 0A. Vpp first is
// needed when the configuration selects the internal oscillator with MCLR as an
// input: the emulated chip always behaves so.
FamilyRules f6xx() {
    FamilyRules r;
    r.family = ChipFamily::F6xx;
    r.label = "12F6xx/16F6xx";
    r.commands = commands({0x00, 0x02, 0x03, 0x04, 0x05, 0x06, 0x08, 0x09, 0x0A, 0x0B, 0x11, 0x18});
    r.latches = 4;
    r.begin_08 = WriteCycle::ProgramOnly;
    r.begin_18 = WriteCycle::ProgramOnly;
    r.external_18 = true;
    r.end_command = 0x0A;
    r.program_us = r.config_us = r.program_only_us = ms(3);
    r.data_us = ms(6);
    r.bulk_erase_us = r.row_erase_us = ms(6);
    r.row_words = 16;
    r.bulk_reach = BulkEraseReach::ConfigAlways;
    r.cp_bits = 0x0040;
    r.cpd_bits = 0x0080;
    r.needs_vpp_first = true;
    return r;
}

// 16F785: as the 12F6xx/16F6xx, with its own programming times.
FamilyRules f785() {
    FamilyRules r = f6xx();
    r.family = ChipFamily::F785;
    r.label = "16F785";
    r.program_us = r.config_us = r.program_only_us = ms(2.5);
    r.data_us = ms(6);
    return r;
}

// 16F913-16F946: as the 12F6xx/16F6xx; four or eight latches (per chip), four-bit
// revision.
FamilyRules f91x() {
    FamilyRules r = f6xx();
    r.family = ChipFamily::F91x;
    r.label = "16F91x/946";
    r.revision_bits = 4;
    return r;
}

// 16F882-16F887: as the 12F6xx/16F6xx; four or eight latches (per chip),
// configuration word 2, calibration word at 2009h.
FamilyRules f88x() {
    FamilyRules r = f6xx();
    r.family = ChipFamily::F88x;
    r.label = "16F88x";
    r.program_only_us = ms(2.5);
    return r;
}

// 12F609, 12F615, 16F610, 16F616: externally timed programming only (18, ended by
// 0A), no data memory.
FamilyRules f61x() {
    FamilyRules r;
    r.family = ChipFamily::F61x;
    r.label = "12F61x/16F61x";
    r.commands = commands({0x00, 0x02, 0x04, 0x06, 0x09, 0x0A, 0x18});
    r.begin_08 = WriteCycle::None;
    r.begin_18 = WriteCycle::ProgramOnly;
    r.external_18 = true;
    r.end_command = 0x0A;
    r.program_only_us = ms(3);
    r.bulk_erase_us = ms(6);
    r.bulk_reach = BulkEraseReach::ConfigAlways;
    r.cp_bits = 0x0040;
    r.needs_vpp_first = true;
    return r;
}

// 16F716: four latches, 18 ended by 0E (2 ms at most). Vdd first.
FamilyRules f716() {
    FamilyRules r;
    r.family = ChipFamily::F716;
    r.label = "16F716";
    r.commands = commands({0x00, 0x02, 0x04, 0x06, 0x09, 0x0E, 0x18});
    r.latches = 4;
    r.begin_08 = WriteCycle::None;
    r.begin_18 = WriteCycle::ProgramOnly;
    r.external_18 = true;
    r.end_command = 0x0E;
    r.program_only_us = ms(2);
    r.bulk_erase_us = ms(6);
    r.cp_bits = 0x2000;
    return r;
}

// 16F72-16F77: two latches, 08 externally timed (1 ms) and ended by 0E, a slow bulk
// erase. The sources disagree on the entry order, so either is accepted.
FamilyRules f7x() {
    FamilyRules r;
    r.family = ChipFamily::F7x;
    r.label = "16F7x";
    r.commands = commands({0x00, 0x02, 0x04, 0x06, 0x08, 0x09, 0x0E});
    r.latches = 2;
    r.begin_08 = WriteCycle::ProgramOnly;
    r.external_08 = true;
    r.end_command = 0x0E;
    r.program_us = r.config_us = ms(1);
    r.bulk_erase_us = ms(30);
    r.cp_bits = 0x0010;
    return r;
}

// 16F737-16F777: as the 16F7x, with the protection bit at 13; MCLR must reach
// VIHH within 100 us of Vdd, which only Vpp first guarantees.
FamilyRules f7x7() {
    FamilyRules r = f7x();
    r.family = ChipFamily::F7x7;
    r.label = "16F7x7";
    r.cp_bits = 0x2000;
    r.needs_vpp_first = true;
    return r;
}

// 16F722-16F727: eight latches, 32-word rows, Reset Address; 18 ended by 0A; a bulk
// erase with the address counter past 2008h wipes the calibration words. Vpp first
// as the 12F6xx/16F6xx.
FamilyRules f72x() {
    FamilyRules r;
    r.family = ChipFamily::F72x;
    r.label = "16F72x";
    r.commands = commands({0x00, 0x02, 0x04, 0x06, 0x08, 0x09, 0x0A, 0x11, 0x16, 0x18});
    r.latches = 8;
    r.begin_08 = WriteCycle::ProgramOnly;
    r.begin_18 = WriteCycle::ProgramOnly;
    r.external_18 = true;
    r.end_command = 0x0A;
    r.program_us = ms(2.5);
    r.config_us = ms(5);
    r.program_only_us = ms(1);
    r.bulk_erase_us = ms(5);
    r.row_erase_us = ms(2.5);
    r.row_words = 32;
    r.row_erase_ignored_when_protected = true;
    r.bulk_reach = BulkEraseReach::ConfigAlways;
    r.calibration_erase = CalibrationErase::AllPast2008;
    r.cp_bits = 0x0040;
    r.needs_vpp_first = true;
    return r;
}

// The enhanced mid-range: 6-bit commands, configuration space at 8000h, program
// memory written a row of latches at a time (program only, 2.5 ms), configuration
// words and user IDs one word at a time (5 ms for a configuration word), an EEPROM
// byte in 5 ms, 18 ended by 0A after 1.0 ms, bulk erases of 5 ms, row erase (11) of
// 2.5 ms, code protection in configuration word 1 (CP bit 7, CPD bit 8), low-voltage
// entry allowed by bit 13 of configuration word 2. Either voltage order enters.
FamilyRules enhanced(ChipFamily family, const char* label, bool eeprom) {
    FamilyRules r;
    r.family = family;
    r.label = label;
    r.enhanced = true;
    r.commands = eeprom ? commands({0x00, 0x02, 0x03, 0x04, 0x05, 0x06, 0x08, 0x09, 0x0A, 0x0B,
                                    0x11, 0x16, 0x18})
                        : commands({0x00, 0x02, 0x04, 0x06, 0x08, 0x09, 0x0A, 0x11, 0x16, 0x18});
    r.latches = 32;
    r.begin_08 = WriteCycle::ProgramOnly;
    r.begin_18 = WriteCycle::ProgramOnly;
    r.external_18 = true;
    r.end_command = 0x0A;
    r.program_us = ms(2.5);
    r.config_us = ms(5);
    r.data_us = eeprom ? ms(5) : 0;
    r.program_only_us = ms(1);
    r.bulk_erase_us = ms(5);
    r.row_erase_us = ms(2.5);
    r.row_words = 32;
    r.row_erase_ignored_when_protected = true;
    r.bulk_reach = BulkEraseReach::ConfigWithAddress;
    r.bulk_erase_clears_protected_data = eeprom;
    r.cp_bits = 0x0080;
    r.cpd_bits = eeprom ? 0x0100 : 0;
    return r;
}

// 16F183xx: as the group with EEPROM, but the EEPROM lies at F000h in the PC space,
// reached with 1D Load PC Address and written with 02/08 (erased by 09 there); no
// 03, 05 or 0B. Four configuration words: LVP is bit 13 of word 3, CP and CPD bits 0
// and 1 of word 4.
FamilyRules e183xx() {
    FamilyRules r = enhanced(ChipFamily::E183xx, "16F183xx", true);
    r.commands = commands({0x00, 0x02, 0x04, 0x06, 0x08, 0x09, 0x0A, 0x11, 0x16, 0x18, 0x1D});
    r.load_pc_address = true;
    r.protect_word = 4;
    r.cp_bits = 0x0001;
    r.cpd_bits = 0x0002;
    r.lvp_word = 3;
    return r;
}

// The 8-bit command set's families: the 16F183xx's memories and cycles (EEPROM at
// F000h, calibration at E000h) behind 8-bit commands and 24-bit payloads. Five
// configuration words: LVP is bit 13 of CONFIG4, CP and CPD bits 0 and 1 of CONFIG5.
// The times of the 16F188xx's programming specification (DS40001753B): a row 2.8 ms
// (TPINT), a configuration word 5.6 ms, an externally timed write 1.0 ms (TPEXT), a
// bulk erase 8.4 ms (TERAB), a row erase 2.8 ms (TERAR); an EEPROM byte by E0h
// takes the configuration word's TPINT.
FamilyRules group_b(ChipFamily family, const char* label, bool eeprom, const char* document) {
    FamilyRules r = e183xx();
    r.family = family;
    r.label = label;
    r.document = document;
    r.enhanced = false;
    r.eight_bit = true;
    r.commands = commands({0x02, 0x04, 0x06, 0x08, 0x09, 0x0A, 0x11, 0x18, 0x1D});
    r.program_us = ms(2.8);
    r.config_us = ms(5.6);
    r.data_us = eeprom ? ms(5.6) : 0;
    r.program_only_us = ms(1.0);
    r.bulk_erase_us = ms(8.4);
    r.row_erase_us = ms(2.8);
    r.protect_word = 5;
    r.cpd_bits = eeprom ? 0x0002 : 0;
    r.lvp_word = 4;
    return r;
}

// The later families take the regions of 18h from a payload; their Code Protection
// sections name Bulk Erase with the configuration bit set as the only way to clear CP.
FamilyRules payload_erase(ChipFamily family, const char* label, bool eeprom, const char* document) {
    FamilyRules r = group_b(family, label, eeprom, document);
    r.erase_select = EraseSelect::ByPayload;
    return r;
}

// 16F131xx: the chip maker's own web programmer (github.com/MicrochipTech/veryVerilog,
// www/js/pic/pic.js) waits 7.5 ms a row, 13.5 ms a configuration word, 20 ms for
// the bulk erase and 9.5 ms for a row erase, the times it took up after the 16F180xx's
// left a 16F13145 partly programmed; the family's programming specification's Table
// 4-1, as quoted from the chip maker's online documents, gives 7, 12 and 20 ms. The
// chip here needs the longer ones.
FamilyRules b131xx() {
    FamilyRules r = payload_erase(ChipFamily::B131xx, "16F131xx", false,
                                  "the chip maker's own web programmer (its PIC16F131XY "
                                  "times: TPINT 7.5 ms a row, 13.5 ms a configuration word, "
                                  "TERAB 20 ms, TERAR 9.5 ms), longer than the 7 and 12 ms "
                                  "of the 16F131xx programming specification's Table 4-1 as "
                                  "quoted from the chip maker's online documents; payload "
                                  "erase as the 16F171xx/181xx");
    r.program_us = ms(7.5);
    r.config_us = ms(13.5);
    r.bulk_erase_us = ms(20);
    r.row_erase_us = ms(9.5);
    return r;
}

// 16F180xx: the same web programmer's PIC16F180XY times, 2.5 ms a row, 6 ms a
// configuration word, 13 ms for the bulk erase and 2.5 ms for a row erase; an EEPROM
// byte 5 ms, the most the set's data sheets give for it (TD_BEW), which that
// programmer also finds it needs (twice a row's time). The family's programming
// specification is online but its timing rows could not be read.
FamilyRules b180xx() {
    FamilyRules r = payload_erase(ChipFamily::B180xx, "16F180xx", true,
                                  "the chip maker's own web programmer (its PIC16F180XY "
                                  "times: TPINT 2.5 ms a row, 6 ms a configuration word, "
                                  "TERAB 13 ms, TERAR 2.5 ms); an EEPROM byte 5 ms (TD_BEW "
                                  "of the set's data sheets); payload erase as the "
                                  "16F171xx/181xx");
    r.program_us = ms(2.5);
    r.config_us = ms(6);
    r.data_us = ms(5);
    r.bulk_erase_us = ms(13);
    r.row_erase_us = ms(2.5);
    return r;
}

// 16F184xx: the data sheet's CONFIG5 holds CP alone (bit 0); there is no CPD, so
// the EEPROM is never hidden.
FamilyRules b184xx() {
    FamilyRules r = group_b(ChipFamily::B184xx, "16F184xx", true,
                            "DS40001970, the 16F184xx programming specification: erase by "
                            "PC; the 16F188xx's times (other programmers' public data gives "
                            "both one set); CONFIG5 CP only, as its data sheet gives it");
    r.cpd_bits = 0;
    return r;
}

// 16F132xx: seven configuration words (8007h-800Dh), EEPROM at F000h, payload erase.
// The chip maker's own web programmer (github.com/MicrochipTech/veryVerilog,
// www/js/pic/pic.js) waits, citing DS40002646A pages 31-32, 8 ms a row, 13.5 ms a
// configuration word and 40 ms for the bulk erase; taken here as the document's
// limits, the document itself not had here.
FamilyRules b132xx() {
    FamilyRules r = payload_erase(ChipFamily::B132xx, "16F132xx", true,
                                  "DS40002646A as the chip maker's web programmer quotes it "
                                  "(the document itself not had here): TPINT 8 ms a row, "
                                  "13.5 ms a configuration word, TERAB 40 ms, TERAR 10 ms; "
                                  "payload erase; seven configuration words");
    r.program_us = ms(8);
    r.config_us = ms(13.5);
    r.data_us = ms(13.5);
    r.bulk_erase_us = ms(40);
    r.row_erase_us = ms(10);
    return r;
}

// 16F191xx: CONFIG5 holds CP alone, as the processor header of the 16F19195-97
// (gputils 1.5.2, p16f19197.inc) names it; the 16F1915x-1918x, whose document was
// not had, are taken to be the same. No CPD: the EEPROM is never hidden.
FamilyRules b191xx() {
    FamilyRules r = group_b(ChipFamily::B191xx, "16F191xx", true,
                            "DS40001880, the 16F191xx programming specification: erase by "
                            "PC; the 16F188xx's times (other programmers' public data gives "
                            "both one set); CONFIG5 CP only, as the 16F19197's header names it");
    r.cpd_bits = 0;
    return r;
}

std::vector<FamilyRules> make_family_rules() {
    using F = ChipFamily;
    return {f84a(),
            f83_84(),
            f62x(),
            f62xa(),
            f87x(),
            f87xa(),
            f87_88(),
            f81x(),
            f629_675(),
            f6xx(),
            f785(),
            f91x(),
            f88x(),
            f61x(),
            f716(),
            f7x(),
            f7x7(),
            f72x(),
            enhanced(F::E145x, "16F145x", false),
            enhanced(F::E150x, "12F150x/16F150x", false),
            enhanced(F::E151x, "16F151x/152x", false),
            enhanced(F::E1552, "12LF1552", false),
            enhanced(F::E155x, "16LF1554/1559", false),
            enhanced(F::E156x, "16LF1566/1567", false),
            enhanced(F::E1571, "12F157x", false),
            enhanced(F::E157x, "16F157x", false),
            enhanced(F::E161x, "12F1612/16F161x", false),
            enhanced(F::E170x, "16F170x", false),
            enhanced(F::E171x, "16F171x", false),
            enhanced(F::E176x, "16F176x", false),
            enhanced(F::E177x, "16F177x", false),
            enhanced(F::E178x, "16F178x", true),
            enhanced(F::E182x, "12F1822/16F182x", true),
            enhanced(F::E1840, "12F1840/16F1847", true),
            enhanced(F::E193x, "16F193x/194x, 16LF190x", true),
            e183xx(),
            group_b(F::B188xx, "16F188xx", true,
                    "DS40001753B, the 16F188xx programming specification (TERAB 8.4 ms, "
                    "TPINT 2.8 ms a row, 5.6 ms a configuration word, TERAR 2.8 ms)"),
            group_b(F::B153xx, "16F153xx", false,
                    "DS40001838, the 16F153xx programming specification: erase by PC; the "
                    "16F188xx's times (other programmers' public data gives both one set)"),
            b184xx(),
            group_b(F::B152xx, "16F152xx", false,
                    "no programming document had: erase by PC (80FEh program memory only) "
                    "as other programmers' public device data has it; the 16F188xx's times"),
            payload_erase(F::B171xx, "16F171xx/181xx", true,
                          "no programming document of the family had: payload erase as other "
                          "programmers' public device data has it (00001Eh clocked after "
                          "18h), its bits as the 8-bit set's payload Bulk Erase documents "
                          "give them; the 16F188xx's times"),
            b191xx(),
            b180xx(),
            payload_erase(F::B175xx, "16F175xx", true,
                          "no programming document of the family had: payload erase as the "
                          "16F171xx/181xx; the 16F188xx's times, though other programmers "
                          "wait 40 ms for its erase as for the 16F131xx's"),
            b131xx(),
            b132xx()};
}

struct Row {
    const char* name;
    ChipFamily family;
    std::int32_t flash;
    std::int32_t eeprom;
    std::uint16_t id;
    std::uint16_t config1_mask;
    std::uint16_t config2_mask;
    std::int32_t calibration_first;  // 0: none
    int calibration_count;
    std::int32_t latches;  // 0: the family's count
};

ChipInfo from_row(const Row& row) {
    const FamilyRules& rules = family_rules(row.family);
    ChipInfo info;
    info.name = row.name;
    info.family = row.family;
    info.flash_words = row.flash;
    info.eeprom_bytes = row.eeprom;
    info.device_id = row.id;
    info.revision_bits = rules.revision_bits;
    info.latches = row.latches > 0 ? row.latches : rules.latches;
    info.config1_mask = row.config1_mask;
    info.config2_mask = row.config2_mask;
    info.unimplemented_config_bits = rules.unimplemented_config_bits;
    info.needs_vpp_first = rules.needs_vpp_first;
    for (int i = 0; i < row.calibration_count; ++i) {
        info.calibration_words.push_back(row.calibration_first + i);
    }
    return info;
}

// An enhanced mid-range chip: masks of configuration words 1-4 (0 for a word the
// chip lacks), calibration words after the last configuration word (E000h on the
// 16F183xx), latches and row size, the ID format.
struct EnhancedRow {
    const char* name;
    ChipFamily family;
    std::int32_t flash;
    std::int32_t eeprom;
    std::uint16_t id;
    std::uint16_t masks[4];
    int calibration_count;
    std::int32_t latches;
    std::int32_t row_words;
    bool revision_word;  // full-word ID at 8006h, revision at 8005h
};

ChipInfo from_enhanced_row(const EnhancedRow& row) {
    const FamilyRules& rules = family_rules(row.family);
    ChipInfo info;
    info.name = row.name;
    info.family = row.family;
    info.flash_words = row.flash;
    info.eeprom_bytes = row.eeprom;
    info.device_id = row.id;
    info.revision_bits = 5;  // full-word parts: the ID word holds no revision bits
    info.revision_word = row.revision_word;
    info.latches = row.latches;
    info.row_words = row.row_words;
    info.config1_mask = row.masks[0];
    info.config2_mask = row.masks[1];
    info.config3_mask = row.masks[2];
    info.config4_mask = row.masks[3];
    info.config_words = 0;
    for (const std::uint16_t mask : row.masks) {
        info.config_words += mask != 0 ? 1 : 0;
    }
    info.unimplemented_config_bits = rules.unimplemented_config_bits;
    info.needs_vpp_first = rules.needs_vpp_first;
    const std::int32_t first = rules.load_pc_address ? 0xE000 : 0x8007 + info.config_words;
    for (int i = 0; i < row.calibration_count; ++i) {
        info.calibration_words.push_back(first + i);
    }
    info.vpp_min_volts = 8.0;
    info.vpp_max_volts = 9.0;
    return info;
}

// Table 7.1 of the enhanced catalogue: every base model with a device ID, each
// followed by its LF twin where the twin has its own ID (LF masks without the VCAP
// bit where they differ). The 16F1458 has no known ID and is left out.
using F = ChipFamily;
// clang-format off
const EnhancedRow kEnhancedRows[] = {
    {"PIC16F1454", F::E145x, 8192, 0, 0x3020, {0x3EFF, 0x3FF3}, 2, 32, 32, true},
    {"PIC16LF1454", F::E145x, 8192, 0, 0x3024, {0x3EFF, 0x3FF3}, 2, 32, 32, true},
    {"PIC16F1455", F::E145x, 8192, 0, 0x3021, {0x3EFF, 0x3FF3}, 2, 32, 32, true},
    {"PIC16LF1455", F::E145x, 8192, 0, 0x3025, {0x3EFF, 0x3FF3}, 2, 32, 32, true},
    {"PIC16F1459", F::E145x, 8192, 0, 0x3023, {0x3EFF, 0x3FF3}, 2, 32, 32, true},
    {"PIC16LF1459", F::E145x, 8192, 0, 0x3027, {0x3EFF, 0x3FF3}, 2, 32, 32, true},
    {"PIC12F1501", F::E150x, 1024, 0, 0x2CC0, {0x0EFB, 0x2E03}, 2, 16, 16, false},
    {"PIC12LF1501", F::E150x, 1024, 0, 0x2D80, {0x0EFB, 0x2E03}, 2, 16, 16, false},
    {"PIC16F1503", F::E150x, 2048, 0, 0x2CE0, {0x0EFB, 0x2E03}, 2, 16, 16, false},
    {"PIC16LF1503", F::E150x, 2048, 0, 0x2DA0, {0x0EFB, 0x2E03}, 2, 16, 16, false},
    {"PIC16F1507", F::E150x, 2048, 0, 0x2D00, {0x0EFB, 0x2E03}, 2, 16, 16, false},
    {"PIC16LF1507", F::E150x, 2048, 0, 0x2DC0, {0x0EFB, 0x2E03}, 2, 16, 16, false},
    {"PIC16F1508", F::E150x, 4096, 0, 0x2D20, {0x3EFF, 0x3E03}, 2, 32, 32, false},
    {"PIC16LF1508", F::E150x, 4096, 0, 0x2DE0, {0x3EFF, 0x3E03}, 2, 32, 32, false},
    {"PIC16F1509", F::E150x, 8192, 0, 0x2D40, {0x3EFF, 0x3E03}, 2, 32, 32, false},
    {"PIC16LF1509", F::E150x, 8192, 0, 0x2E00, {0x3EFF, 0x3E03}, 2, 32, 32, false},
    {"PIC16F1512", F::E151x, 2048, 0, 0x1700, {0x3EFF, 0x3E13}, 2, 32, 32, false},
    {"PIC16LF1512", F::E151x, 2048, 0, 0x1720, {0x3EFF, 0x3E03}, 2, 32, 32, false},
    {"PIC16F1513", F::E151x, 4096, 0, 0x1640, {0x3EFF, 0x3E13}, 2, 32, 32, false},
    {"PIC16LF1513", F::E151x, 4096, 0, 0x1740, {0x3EFF, 0x3E03}, 2, 32, 32, false},
    {"PIC16F1516", F::E151x, 8192, 0, 0x1680, {0x3EFF, 0x3E13}, 2, 32, 32, false},
    {"PIC16LF1516", F::E151x, 8192, 0, 0x1780, {0x3EFF, 0x3E03}, 2, 32, 32, false},
    {"PIC16F1517", F::E151x, 8192, 0, 0x16A0, {0x3EFF, 0x3E13}, 2, 32, 32, false},
    {"PIC16LF1517", F::E151x, 8192, 0, 0x17A0, {0x3EFF, 0x3E03}, 2, 32, 32, false},
    {"PIC16F1518", F::E151x, 16384, 0, 0x16C0, {0x3EFF, 0x3E13}, 2, 32, 32, false},
    {"PIC16LF1518", F::E151x, 16384, 0, 0x17C0, {0x3EFF, 0x3E03}, 2, 32, 32, false},
    {"PIC16F1519", F::E151x, 16384, 0, 0x16E0, {0x3EFF, 0x3E13}, 2, 32, 32, false},
    {"PIC16LF1519", F::E151x, 16384, 0, 0x17E0, {0x3EFF, 0x3E03}, 2, 32, 32, false},
    {"PIC16F1526", F::E151x, 8192, 0, 0x1580, {0x3EFF, 0x3E13}, 2, 32, 32, false},
    {"PIC16LF1526", F::E151x, 8192, 0, 0x15C0, {0x3EFF, 0x3E03}, 2, 32, 32, false},
    {"PIC16F1527", F::E151x, 16384, 0, 0x15A0, {0x3EFF, 0x3E13}, 2, 32, 32, false},
    {"PIC16LF1527", F::E151x, 16384, 0, 0x15E0, {0x3EFF, 0x3E03}, 2, 32, 32, false},
    {"PIC12LF1552", F::E1552, 2048, 0, 0x2BC0, {0x0EFB, 0x3E03}, 2, 16, 16, false},
    {"PIC16LF1554", F::E155x, 4096, 0, 0x2F00, {0x0EFB, 0x3E03}, 2, 32, 32, false},
    {"PIC16LF1559", F::E155x, 8192, 0, 0x2F20, {0x0EFB, 0x3E03}, 2, 32, 32, false},
    {"PIC16LF1566", F::E156x, 8192, 0, 0x3046, {0x0EFB, 0x3E03}, 2, 32, 32, true},
    {"PIC16LF1567", F::E156x, 8192, 0, 0x3047, {0x0EFB, 0x3E03}, 2, 32, 32, true},
    {"PIC12F1571", F::E1571, 1024, 0, 0x3051, {0x0EFB, 0x3F03}, 3, 16, 16, true},
    {"PIC12LF1571", F::E1571, 1024, 0, 0x3053, {0x0EFB, 0x3F03}, 3, 16, 16, true},
    {"PIC12F1572", F::E1571, 2048, 0, 0x3050, {0x0EFB, 0x3F03}, 3, 16, 16, true},
    {"PIC12LF1572", F::E1571, 2048, 0, 0x3052, {0x0EFB, 0x3F03}, 3, 16, 16, true},
    {"PIC16F1574", F::E157x, 4096, 0, 0x3000, {0x0EFB, 0x3F07}, 3, 32, 32, true},
    {"PIC16LF1574", F::E157x, 4096, 0, 0x3004, {0x0EFB, 0x3F07}, 3, 32, 32, true},
    {"PIC16F1575", F::E157x, 8192, 0, 0x3001, {0x0EFB, 0x3F07}, 3, 32, 32, true},
    {"PIC16LF1575", F::E157x, 8192, 0, 0x3005, {0x0EFB, 0x3F07}, 3, 32, 32, true},
    {"PIC16F1578", F::E157x, 4096, 0, 0x3002, {0x0EFB, 0x3F07}, 3, 32, 32, true},
    {"PIC16LF1578", F::E157x, 4096, 0, 0x3006, {0x0EFB, 0x3F07}, 3, 32, 32, true},
    {"PIC16F1579", F::E157x, 8192, 0, 0x3003, {0x0EFB, 0x3F07}, 3, 32, 32, true},
    {"PIC16LF1579", F::E157x, 8192, 0, 0x3007, {0x0EFB, 0x3F07}, 3, 32, 32, true},
    {"PIC12F1612", F::E161x, 2048, 0, 0x3058, {0x0EE3, 0x3F83, 0x3F7F}, 3, 16, 16, true},
    {"PIC12LF1612", F::E161x, 2048, 0, 0x3059, {0x0EE3, 0x3F83, 0x3F7F}, 3, 16, 16, true},
    {"PIC16F1613", F::E161x, 2048, 0, 0x304C, {0x0EE3, 0x3F83, 0x3F7F}, 3, 16, 16, true},
    {"PIC16LF1613", F::E161x, 2048, 0, 0x304D, {0x0EE3, 0x3F83, 0x3F7F}, 3, 16, 16, true},
    {"PIC16F1614", F::E161x, 4096, 0, 0x3078, {0x0EE3, 0x3F87, 0x3F7F}, 3, 32, 32, true},
    {"PIC16LF1614", F::E161x, 4096, 0, 0x307A, {0x0EE3, 0x3F87, 0x3F7F}, 3, 32, 32, true},
    {"PIC16F1615", F::E161x, 8192, 0, 0x307C, {0x3EE7, 0x3F87, 0x3F7F}, 3, 32, 32, true},
    {"PIC16LF1615", F::E161x, 8192, 0, 0x307E, {0x3EE7, 0x3F87, 0x3F7F}, 3, 32, 32, true},
    {"PIC16F1618", F::E161x, 4096, 0, 0x3079, {0x0EE3, 0x3F87, 0x3F7F}, 3, 32, 32, true},
    {"PIC16LF1618", F::E161x, 4096, 0, 0x307B, {0x0EE3, 0x3F87, 0x3F7F}, 3, 32, 32, true},
    {"PIC16F1619", F::E161x, 8192, 0, 0x307D, {0x3EE7, 0x3F87, 0x3F7F}, 3, 32, 32, true},
    {"PIC16LF1619", F::E161x, 8192, 0, 0x307F, {0x3EE7, 0x3F87, 0x3F7F}, 3, 32, 32, true},
    {"PIC16F1703", F::E170x, 2048, 0, 0x3061, {0x0EFB, 0x3F87}, 4, 16, 16, true},
    {"PIC16LF1703", F::E170x, 2048, 0, 0x3063, {0x0EFB, 0x3F87}, 4, 16, 16, true},
    {"PIC16F1704", F::E170x, 4096, 0, 0x3043, {0x3EFF, 0x3F87}, 8, 32, 32, true},
    {"PIC16LF1704", F::E170x, 4096, 0, 0x3045, {0x3EFF, 0x3F87}, 8, 32, 32, true},
    {"PIC16F1705", F::E170x, 8192, 0, 0x3055, {0x3EFF, 0x3F87}, 8, 32, 32, true},
    {"PIC16LF1705", F::E170x, 8192, 0, 0x3057, {0x3EFF, 0x3F87}, 8, 32, 32, true},
    {"PIC16F1707", F::E170x, 2048, 0, 0x3060, {0x0EFB, 0x3F87}, 4, 16, 16, true},
    {"PIC16LF1707", F::E170x, 2048, 0, 0x3062, {0x0EFB, 0x3F87}, 4, 16, 16, true},
    {"PIC16F1708", F::E170x, 4096, 0, 0x3042, {0x3EFF, 0x3F87}, 8, 32, 32, true},
    {"PIC16LF1708", F::E170x, 4096, 0, 0x3044, {0x3EFF, 0x3F87}, 8, 32, 32, true},
    {"PIC16F1709", F::E170x, 8192, 0, 0x3054, {0x3EFF, 0x3F87}, 8, 32, 32, true},
    {"PIC16LF1709", F::E170x, 8192, 0, 0x3056, {0x3EFF, 0x3F87}, 8, 32, 32, true},
    {"PIC16F1713", F::E171x, 4096, 0, 0x3049, {0x3EFF, 0x3F87}, 8, 32, 32, true},
    {"PIC16LF1713", F::E171x, 4096, 0, 0x304B, {0x3EFF, 0x3F87}, 8, 32, 32, true},
    {"PIC16F1716", F::E171x, 8192, 0, 0x3048, {0x3EFF, 0x3F87}, 8, 32, 32, true},
    {"PIC16LF1716", F::E171x, 8192, 0, 0x304A, {0x3EFF, 0x3F87}, 8, 32, 32, true},
    {"PIC16F1717", F::E171x, 8192, 0, 0x305C, {0x3EFF, 0x3F87}, 8, 32, 32, true},
    {"PIC16LF1717", F::E171x, 8192, 0, 0x305F, {0x3EFF, 0x3F87}, 8, 32, 32, true},
    {"PIC16F1718", F::E171x, 16384, 0, 0x305B, {0x3EFF, 0x3F87}, 8, 32, 32, true},
    {"PIC16LF1718", F::E171x, 16384, 0, 0x305E, {0x3EFF, 0x3F87}, 8, 32, 32, true},
    {"PIC16F1719", F::E171x, 16384, 0, 0x305A, {0x3EFF, 0x3F87}, 8, 32, 32, true},
    {"PIC16LF1719", F::E171x, 16384, 0, 0x305D, {0x3EFF, 0x3F87}, 8, 32, 32, true},
    {"PIC16F1764", F::E176x, 4096, 0, 0x3080, {0x3EFF, 0x3F87}, 9, 32, 32, true},
    {"PIC16LF1764", F::E176x, 4096, 0, 0x3082, {0x3EFF, 0x3F87}, 9, 32, 32, true},
    {"PIC16F1765", F::E176x, 8192, 0, 0x3081, {0x3EFF, 0x3F87}, 9, 32, 32, true},
    {"PIC16LF1765", F::E176x, 8192, 0, 0x3083, {0x3EFF, 0x3F87}, 9, 32, 32, true},
    {"PIC16F1768", F::E176x, 4096, 0, 0x3084, {0x3EFF, 0x3F87}, 12, 32, 32, true},
    {"PIC16LF1768", F::E176x, 4096, 0, 0x3086, {0x3EFF, 0x3F87}, 12, 32, 32, true},
    {"PIC16F1769", F::E176x, 8192, 0, 0x3085, {0x3EFF, 0x3F87}, 12, 32, 32, true},
    {"PIC16LF1769", F::E176x, 8192, 0, 0x3087, {0x3EFF, 0x3F87}, 12, 32, 32, true},
    {"PIC16F1773", F::E177x, 4096, 0, 0x308A, {0x3EFF, 0x3F87}, 16, 32, 32, true},
    {"PIC16LF1773", F::E177x, 4096, 0, 0x308C, {0x3EFF, 0x3F87}, 16, 32, 32, true},
    {"PIC16F1776", F::E177x, 8192, 0, 0x308B, {0x3EFF, 0x3F87}, 16, 32, 32, true},
    {"PIC16LF1776", F::E177x, 8192, 0, 0x308D, {0x3EFF, 0x3F87}, 16, 32, 32, true},
    {"PIC16F1777", F::E177x, 8192, 0, 0x308E, {0x3EFF, 0x3F87}, 16, 32, 32, true},
    {"PIC16LF1777", F::E177x, 8192, 0, 0x3091, {0x3EFF, 0x3F87}, 16, 32, 32, true},
    {"PIC16F1778", F::E177x, 16384, 0, 0x308F, {0x3EFF, 0x3F87}, 16, 32, 32, true},
    {"PIC16LF1778", F::E177x, 16384, 0, 0x3092, {0x3EFF, 0x3F87}, 16, 32, 32, true},
    {"PIC16F1779", F::E177x, 16384, 0, 0x3090, {0x3EFF, 0x3F87}, 16, 32, 32, true},
    {"PIC16LF1779", F::E177x, 16384, 0, 0x3093, {0x3EFF, 0x3F87}, 16, 32, 32, true},
    {"PIC16F1782", F::E178x, 2048, 256, 0x2A00, {0x3FFF, 0x3F23}, 11, 32, 32, false},
    {"PIC16LF1782", F::E178x, 2048, 256, 0x2AA0, {0x3FFF, 0x3F03}, 11, 32, 32, false},
    {"PIC16F1783", F::E178x, 4096, 256, 0x2A20, {0x3FFF, 0x3F23}, 11, 32, 32, false},
    {"PIC16LF1783", F::E178x, 4096, 256, 0x2AC0, {0x3FFF, 0x3F03}, 11, 32, 32, false},
    {"PIC16F1784", F::E178x, 4096, 256, 0x2A40, {0x3FFF, 0x3F23}, 11, 32, 32, false},
    {"PIC16LF1784", F::E178x, 4096, 256, 0x2AE0, {0x3FFF, 0x3F03}, 11, 32, 32, false},
    {"PIC16F1786", F::E178x, 8192, 256, 0x2A60, {0x3FFF, 0x3F23}, 11, 32, 32, false},
    {"PIC16LF1786", F::E178x, 8192, 256, 0x2B00, {0x3FFF, 0x3F03}, 11, 32, 32, false},
    {"PIC16F1787", F::E178x, 8192, 256, 0x2A80, {0x3FFF, 0x3F23}, 11, 32, 32, false},
    {"PIC16LF1787", F::E178x, 8192, 256, 0x2B20, {0x3FFF, 0x3F03}, 11, 32, 32, false},
    {"PIC16F1788", F::E178x, 16384, 256, 0x302B, {0x3FFF, 0x3F23}, 11, 32, 32, true},
    {"PIC16LF1788", F::E178x, 16384, 256, 0x302D, {0x3FFF, 0x3F03}, 11, 32, 32, true},
    {"PIC16F1789", F::E178x, 16384, 256, 0x302A, {0x3FFF, 0x3F23}, 11, 32, 32, true},
    {"PIC16LF1789", F::E178x, 16384, 256, 0x302C, {0x3FFF, 0x3F03}, 11, 32, 32, true},
    {"PIC12F1822", F::E182x, 2048, 256, 0x2700, {0x3FFF, 0x3703}, 2, 16, 16, false},
    {"PIC12LF1822", F::E182x, 2048, 256, 0x2800, {0x3FFF, 0x3703}, 2, 16, 16, false},
    {"PIC16F1823", F::E182x, 2048, 256, 0x2720, {0x3FFF, 0x3703}, 2, 16, 16, false},
    {"PIC16LF1823", F::E182x, 2048, 256, 0x2820, {0x3FFF, 0x3703}, 2, 16, 16, false},
    {"PIC16F1824", F::E182x, 4096, 256, 0x2740, {0x3FFF, 0x3703}, 2, 32, 32, false},
    {"PIC16LF1824", F::E182x, 4096, 256, 0x2840, {0x3FFF, 0x3703}, 2, 32, 32, false},
    {"PIC16F1825", F::E182x, 8192, 256, 0x2760, {0x3FFF, 0x3703}, 2, 32, 32, false},
    {"PIC16LF1825", F::E182x, 8192, 256, 0x2860, {0x3FFF, 0x3703}, 2, 32, 32, false},
    {"PIC16F1826", F::E182x, 2048, 256, 0x2780, {0x3FFF, 0x3713}, 2, 8, 32, false},
    {"PIC16LF1826", F::E182x, 2048, 256, 0x2880, {0x3FFF, 0x3703}, 2, 8, 32, false},
    {"PIC16F1827", F::E182x, 4096, 256, 0x27A0, {0x3FFF, 0x3713}, 2, 8, 32, false},
    {"PIC16LF1827", F::E182x, 4096, 256, 0x28A0, {0x3FFF, 0x3703}, 2, 8, 32, false},
    {"PIC16F1828", F::E182x, 4096, 256, 0x27C0, {0x3FFF, 0x3703}, 2, 32, 32, false},
    {"PIC16LF1828", F::E182x, 4096, 256, 0x28C0, {0x3FFF, 0x3703}, 2, 32, 32, false},
    {"PIC16F1829", F::E182x, 8192, 256, 0x27E0, {0x3FFF, 0x3703}, 2, 32, 32, false},
    {"PIC16LF1829", F::E182x, 8192, 256, 0x28E0, {0x3FFF, 0x3703}, 2, 32, 32, false},
    {"PIC12F1840", F::E1840, 4096, 256, 0x1B80, {0x3FFF, 0x3703}, 2, 32, 32, false},
    {"PIC12LF1840", F::E1840, 4096, 256, 0x1BC0, {0x3FFF, 0x3703}, 2, 32, 32, false},
    {"PIC16F1847", F::E1840, 8192, 256, 0x1480, {0x3FFF, 0x3703}, 2, 32, 32, false},
    {"PIC16LF1847", F::E1840, 8192, 256, 0x14A0, {0x3FFF, 0x3703}, 2, 32, 32, false},
    {"PIC16LF1902", F::E193x, 2048, 0, 0x2C20, {0x0EFB, 0x3E03}, 2, 8, 32, false},
    {"PIC16LF1903", F::E193x, 4096, 0, 0x2C00, {0x0EFB, 0x3E03}, 2, 8, 32, false},
    {"PIC16LF1904", F::E193x, 4096, 0, 0x2C80, {0x0EFB, 0x3E03}, 2, 8, 32, false},
    {"PIC16LF1906", F::E193x, 8192, 0, 0x2C60, {0x0EFB, 0x3E03}, 2, 8, 32, false},
    {"PIC16LF1907", F::E193x, 8192, 0, 0x2C40, {0x0EFB, 0x3E03}, 2, 8, 32, false},
    {"PIC16F1933", F::E193x, 4096, 256, 0x2300, {0x3FFF, 0x3733}, 2, 8, 32, false},
    {"PIC16LF1933", F::E193x, 4096, 256, 0x2400, {0x3FFF, 0x3703}, 2, 8, 32, false},
    {"PIC16F1934", F::E193x, 4096, 256, 0x2340, {0x3FFF, 0x3733}, 2, 8, 32, false},
    {"PIC16LF1934", F::E193x, 4096, 256, 0x2440, {0x3FFF, 0x3703}, 2, 8, 32, false},
    {"PIC16F1936", F::E193x, 8192, 256, 0x2360, {0x3FFF, 0x3733}, 2, 8, 32, false},
    {"PIC16LF1936", F::E193x, 8192, 256, 0x2460, {0x3FFF, 0x3703}, 2, 8, 32, false},
    {"PIC16F1937", F::E193x, 8192, 256, 0x2380, {0x3FFF, 0x3733}, 2, 8, 32, false},
    {"PIC16LF1937", F::E193x, 8192, 256, 0x2480, {0x3FFF, 0x3703}, 2, 8, 32, false},
    {"PIC16F1938", F::E193x, 16384, 256, 0x23A0, {0x3FFF, 0x3733}, 2, 8, 32, false},
    {"PIC16LF1938", F::E193x, 16384, 256, 0x24A0, {0x3FFF, 0x3703}, 2, 8, 32, false},
    {"PIC16F1939", F::E193x, 16384, 256, 0x23C0, {0x3FFF, 0x3733}, 2, 8, 32, false},
    {"PIC16LF1939", F::E193x, 16384, 256, 0x24C0, {0x3FFF, 0x3703}, 2, 8, 32, false},
    {"PIC16F1946", F::E193x, 8192, 256, 0x2500, {0x3FFF, 0x3713}, 2, 8, 32, false},
    {"PIC16LF1946", F::E193x, 8192, 256, 0x2580, {0x3FFF, 0x3703}, 2, 8, 32, false},
    {"PIC16F1947", F::E193x, 16384, 256, 0x2520, {0x3FFF, 0x3713}, 2, 8, 32, false},
    {"PIC16LF1947", F::E193x, 16384, 256, 0x25A0, {0x3FFF, 0x3703}, 2, 8, 32, false},
    {"PIC16F18313", F::E183xx, 2048, 256, 0x3066, {0x2977, 0x3AEF, 0x2003, 0x0003}, 4, 32, 32, true},
    {"PIC16LF18313", F::E183xx, 2048, 256, 0x3068, {0x2977, 0x3AEF, 0x2003, 0x0003}, 4, 32, 32, true},
    {"PIC16F18323", F::E183xx, 2048, 256, 0x3067, {0x2977, 0x3AEF, 0x2003, 0x0003}, 4, 32, 32, true},
    {"PIC16LF18323", F::E183xx, 2048, 256, 0x3069, {0x2977, 0x3AEF, 0x2003, 0x0003}, 4, 32, 32, true},
    {"PIC16F18324", F::E183xx, 4096, 256, 0x303A, {0x2977, 0x3AEF, 0x2003, 0x0003}, 4, 32, 32, true},
    {"PIC16LF18324", F::E183xx, 4096, 256, 0x303C, {0x2977, 0x3AEF, 0x2003, 0x0003}, 4, 32, 32, true},
    {"PIC16F18325", F::E183xx, 8192, 256, 0x303E, {0x2977, 0x3AEF, 0x2003, 0x0003}, 4, 32, 32, true},
    {"PIC16LF18325", F::E183xx, 8192, 256, 0x3040, {0x2977, 0x3AEF, 0x2003, 0x0003}, 4, 32, 32, true},
    {"PIC16F18326", F::E183xx, 16384, 256, 0x30A4, {0x2977, 0x3AEF, 0x2003, 0x0003}, 4, 32, 32, true},
    {"PIC16LF18326", F::E183xx, 16384, 256, 0x30A6, {0x2977, 0x3AEF, 0x2003, 0x0003}, 4, 32, 32, true},
    {"PIC16F18344", F::E183xx, 4096, 256, 0x303B, {0x2977, 0x3AEF, 0x2003, 0x0003}, 4, 32, 32, true},
    {"PIC16LF18344", F::E183xx, 4096, 256, 0x303D, {0x2977, 0x3AEF, 0x2003, 0x0003}, 4, 32, 32, true},
    {"PIC16F18345", F::E183xx, 8192, 256, 0x303F, {0x2977, 0x3AEF, 0x2003, 0x0003}, 4, 32, 32, true},
    {"PIC16LF18345", F::E183xx, 8192, 256, 0x3041, {0x2977, 0x3AEF, 0x2003, 0x0003}, 4, 32, 32, true},
    {"PIC16F18346", F::E183xx, 16384, 256, 0x30A5, {0x2977, 0x3AEF, 0x2003, 0x0003}, 4, 32, 32, true},
    {"PIC16LF18346", F::E183xx, 16384, 256, 0x30A7, {0x2977, 0x3AEF, 0x2003, 0x0003}, 4, 32, 32, true},
};
// clang-format on

// A part of the 8-bit command set: five configuration words, seven on the 16F132xx
// (a 0 mask is a word without implemented bits, which reads 3FFFh), the full-word ID
// at 8006h with the revision at 8005h, 32 latches and 32-word rows, four calibration
// words at E000h.
struct GroupBRow {
    const char* name;
    ChipFamily family;
    std::int32_t flash;
    std::int32_t eeprom;
    std::uint16_t id;
    std::uint16_t masks[5];
    int calibration_count;             // at E000h
    std::uint16_t more_masks[2] = {};  // CONFIG6, CONFIG7
    int config_words = 5;
};

ChipInfo from_group_b_row(const GroupBRow& row) {
    const EnhancedRow enhanced{row.name,
                               row.family,
                               row.flash,
                               row.eeprom,
                               row.id,
                               {row.masks[0], row.masks[1], row.masks[2], row.masks[3]},
                               row.calibration_count,
                               32,
                               32,
                               true};
    ChipInfo info = from_enhanced_row(enhanced);
    info.config5_mask = row.masks[4];
    info.config6_mask = row.more_masks[0];
    info.config7_mask = row.more_masks[1];
    info.config_words = row.config_words;
    return info;
}

// Table 7.2 of the enhanced catalogue: every part with a known device ID, each
// followed by its LF twin. Rows the catalogue leaves unknown ("32 / ?") erase the
// 32 words every part of the set that states it erases.
// clang-format off
const GroupBRow kGroupBRows[] = {
    {"PIC16F13113", F::B131xx, 2048, 0, 0x3121, {0x3977, 0x3BE7, 0x3F7F, 0x2B9F, 0x0001}, 0},
    {"PIC16F13114", F::B131xx, 4096, 0, 0x3124, {0x3977, 0x3BE7, 0x3F7F, 0x2B9F, 0x0001}, 0},
    {"PIC16F13115", F::B131xx, 8192, 0, 0x3127, {0x3977, 0x3BE7, 0x3F7F, 0x2B9F, 0x0001}, 0},
    {"PIC16F13123", F::B131xx, 2048, 0, 0x3122, {0x3977, 0x3BE7, 0x3F7F, 0x2B9F, 0x0001}, 0},
    {"PIC16F13124", F::B131xx, 4096, 0, 0x3125, {0x3977, 0x3BE7, 0x3F7F, 0x2B9F, 0x0001}, 0},
    {"PIC16F13125", F::B131xx, 8192, 0, 0x3128, {0x3977, 0x3BE7, 0x3F7F, 0x2B9F, 0x0001}, 0},
    {"PIC16F13143", F::B131xx, 2048, 0, 0x3123, {0x3977, 0x3BE7, 0x3F7F, 0x2B9F, 0x0001}, 0},
    {"PIC16F13144", F::B131xx, 4096, 0, 0x3126, {0x3977, 0x3BE7, 0x3F7F, 0x2B9F, 0x0001}, 0},
    {"PIC16F13145", F::B131xx, 8192, 0, 0x3129, {0x3977, 0x3BE7, 0x3F7F, 0x2B9F, 0x0001}, 0},
    // The IDs from the chip maker's web programmer (github.com/MicrochipTech/veryVerilog,
    // www/js/pic/pic.js). No source had here gives the implemented bits of the seven
    // words or the EEPROM size: whole words, and 256 bytes as the other families with EEPROM.
    {"PIC16F13214", F::B132xx, 4096, 256, 0x3130, {0x3FFF, 0x3FFF, 0x3FFF, 0x3FFF, 0x3FFF}, 0, {0x3FFF, 0x3FFF}, 7},
    {"PIC16F13215", F::B132xx, 8192, 256, 0x3135, {0x3FFF, 0x3FFF, 0x3FFF, 0x3FFF, 0x3FFF}, 0, {0x3FFF, 0x3FFF}, 7},
    {"PIC16F13224", F::B132xx, 4096, 256, 0x3131, {0x3FFF, 0x3FFF, 0x3FFF, 0x3FFF, 0x3FFF}, 0, {0x3FFF, 0x3FFF}, 7},
    {"PIC16F13225", F::B132xx, 8192, 256, 0x3136, {0x3FFF, 0x3FFF, 0x3FFF, 0x3FFF, 0x3FFF}, 0, {0x3FFF, 0x3FFF}, 7},
    {"PIC16F13226", F::B132xx, 16384, 256, 0x3141, {0x3FFF, 0x3FFF, 0x3FFF, 0x3FFF, 0x3FFF}, 0, {0x3FFF, 0x3FFF}, 7},
    {"PIC16F13244", F::B132xx, 4096, 256, 0x3132, {0x3FFF, 0x3FFF, 0x3FFF, 0x3FFF, 0x3FFF}, 0, {0x3FFF, 0x3FFF}, 7},
    {"PIC16F13245", F::B132xx, 8192, 256, 0x3137, {0x3FFF, 0x3FFF, 0x3FFF, 0x3FFF, 0x3FFF}, 0, {0x3FFF, 0x3FFF}, 7},
    {"PIC16F13246", F::B132xx, 16384, 256, 0x3142, {0x3FFF, 0x3FFF, 0x3FFF, 0x3FFF, 0x3FFF}, 0, {0x3FFF, 0x3FFF}, 7},
    {"PIC16F13254", F::B132xx, 4096, 256, 0x3133, {0x3FFF, 0x3FFF, 0x3FFF, 0x3FFF, 0x3FFF}, 0, {0x3FFF, 0x3FFF}, 7},
    {"PIC16F13255", F::B132xx, 8192, 256, 0x3138, {0x3FFF, 0x3FFF, 0x3FFF, 0x3FFF, 0x3FFF}, 0, {0x3FFF, 0x3FFF}, 7},
    {"PIC16F13256", F::B132xx, 16384, 256, 0x3143, {0x3FFF, 0x3FFF, 0x3FFF, 0x3FFF, 0x3FFF}, 0, {0x3FFF, 0x3FFF}, 7},
    {"PIC16F13274", F::B132xx, 4096, 256, 0x3134, {0x3FFF, 0x3FFF, 0x3FFF, 0x3FFF, 0x3FFF}, 0, {0x3FFF, 0x3FFF}, 7},
    {"PIC16F13275", F::B132xx, 8192, 256, 0x3139, {0x3FFF, 0x3FFF, 0x3FFF, 0x3FFF, 0x3FFF}, 0, {0x3FFF, 0x3FFF}, 7},
    {"PIC16F13276", F::B132xx, 16384, 256, 0x3144, {0x3FFF, 0x3FFF, 0x3FFF, 0x3FFF, 0x3FFF}, 0, {0x3FFF, 0x3FFF}, 7},
    {"PIC16F15213", F::B152xx, 2048, 0, 0x30E3, {0x1133, 0x3ADF, 0x0000, 0x2B9F, 0x0001}, 4},
    {"PIC16F15214", F::B152xx, 4096, 0, 0x30E6, {0x1133, 0x3ADF, 0x0000, 0x2B9F, 0x0001}, 4},
    {"PIC16F15223", F::B152xx, 2048, 0, 0x30E4, {0x1133, 0x3ADF, 0x0000, 0x2B9F, 0x0001}, 4},
    {"PIC16F15224", F::B152xx, 4096, 0, 0x30E7, {0x1133, 0x3ADF, 0x0000, 0x2B9F, 0x0001}, 4},
    {"PIC16F15225", F::B152xx, 8192, 0, 0x30E9, {0x1133, 0x3ADF, 0x0000, 0x2B9F, 0x0001}, 4},
    {"PIC16F15243", F::B152xx, 2048, 0, 0x30E5, {0x1133, 0x3ADF, 0x0000, 0x2B9F, 0x0001}, 4},
    {"PIC16F15244", F::B152xx, 4096, 0, 0x30E8, {0x1133, 0x3ADF, 0x0000, 0x2B9F, 0x0001}, 4},
    {"PIC16F15245", F::B152xx, 8192, 0, 0x30EA, {0x1133, 0x3ADF, 0x0000, 0x2B9F, 0x0001}, 4},
    {"PIC16F15254", F::B152xx, 4096, 0, 0x30F0, {0x1133, 0x3ADF, 0x0000, 0x2B9F, 0x0001}, 4},
    {"PIC16F15255", F::B152xx, 8192, 0, 0x30EF, {0x1133, 0x3ADF, 0x0000, 0x2B9F, 0x0001}, 4},
    {"PIC16F15256", F::B152xx, 16384, 0, 0x30EB, {0x1133, 0x3ADF, 0x0000, 0x2B9F, 0x0001}, 4},
    {"PIC16F15274", F::B152xx, 4096, 0, 0x30EE, {0x1133, 0x3ADF, 0x0000, 0x2B9F, 0x0001}, 4},
    {"PIC16F15275", F::B152xx, 8192, 0, 0x30ED, {0x1133, 0x3ADF, 0x0000, 0x2B9F, 0x0001}, 4},
    {"PIC16F15276", F::B152xx, 16384, 0, 0x30EC, {0x1133, 0x3ADF, 0x0000, 0x2B9F, 0x0001}, 4},
    {"PIC16F15313", F::B153xx, 2048, 0, 0x30BE, {0x2977, 0x3EE3, 0x3F7F, 0x2F9F, 0x0001}, 4},
    {"PIC16LF15313", F::B153xx, 2048, 0, 0x30BF, {0x2977, 0x3EE3, 0x3F7F, 0x2F9F, 0x0001}, 4},
    {"PIC16F15323", F::B153xx, 2048, 0, 0x30C0, {0x2977, 0x3EE3, 0x3F7F, 0x2F9F, 0x0001}, 4},
    {"PIC16LF15323", F::B153xx, 2048, 0, 0x30C1, {0x2977, 0x3EE3, 0x3F7F, 0x2F9F, 0x0001}, 4},
    {"PIC16F15324", F::B153xx, 4096, 0, 0x30C2, {0x2977, 0x3EE3, 0x3F7F, 0x2F9F, 0x0001}, 4},
    {"PIC16LF15324", F::B153xx, 4096, 0, 0x30C3, {0x2977, 0x3EE3, 0x3F7F, 0x2F9F, 0x0001}, 4},
    {"PIC16F15325", F::B153xx, 8192, 0, 0x30C6, {0x2977, 0x3EE3, 0x3F7F, 0x2F9F, 0x0001}, 4},
    {"PIC16LF15325", F::B153xx, 8192, 0, 0x30C7, {0x2977, 0x3EE3, 0x3F7F, 0x2F9F, 0x0001}, 4},
    {"PIC16F15344", F::B153xx, 4096, 0, 0x30C4, {0x2977, 0x3EE3, 0x3F7F, 0x2F9F, 0x0001}, 4},
    {"PIC16LF15344", F::B153xx, 4096, 0, 0x30C5, {0x2977, 0x3EE3, 0x3F7F, 0x2F9F, 0x0001}, 4},
    {"PIC16F15345", F::B153xx, 8192, 0, 0x30C8, {0x2977, 0x3EE3, 0x3F7F, 0x2F9F, 0x0001}, 4},
    {"PIC16LF15345", F::B153xx, 8192, 0, 0x30C9, {0x2977, 0x3EE3, 0x3F7F, 0x2F9F, 0x0001}, 4},
    {"PIC16F15354", F::B153xx, 4096, 0, 0x30AC, {0x2977, 0x3EE3, 0x3F7F, 0x2F9F, 0x0001}, 4},
    {"PIC16LF15354", F::B153xx, 4096, 0, 0x30AD, {0x2977, 0x3EE3, 0x3F7F, 0x2F9F, 0x0001}, 4},
    {"PIC16F15355", F::B153xx, 8192, 0, 0x30AE, {0x2977, 0x3EE3, 0x3F7F, 0x2F9F, 0x0001}, 4},
    {"PIC16LF15355", F::B153xx, 8192, 0, 0x30AF, {0x2977, 0x3EE3, 0x3F7F, 0x2F9F, 0x0001}, 4},
    {"PIC16F15356", F::B153xx, 16384, 0, 0x30B0, {0x2977, 0x3EE3, 0x3F7F, 0x2F9F, 0x0001}, 4},
    {"PIC16LF15356", F::B153xx, 16384, 0, 0x30B1, {0x2977, 0x3EE3, 0x3F7F, 0x2F9F, 0x0001}, 4},
    {"PIC16F15375", F::B153xx, 8192, 0, 0x30B2, {0x2977, 0x3EE3, 0x3F7F, 0x2F9F, 0x0001}, 4},
    {"PIC16LF15375", F::B153xx, 8192, 0, 0x30B3, {0x2977, 0x3EE3, 0x3F7F, 0x2F9F, 0x0001}, 4},
    {"PIC16F15376", F::B153xx, 16384, 0, 0x30B4, {0x2977, 0x3EE3, 0x3F7F, 0x2F9F, 0x0001}, 4},
    {"PIC16LF15376", F::B153xx, 16384, 0, 0x30B5, {0x2977, 0x3EE3, 0x3F7F, 0x2F9F, 0x0001}, 4},
    {"PIC16F15385", F::B153xx, 8192, 0, 0x30B6, {0x2977, 0x3EE3, 0x3F7F, 0x2B9F, 0x0001}, 4},
    {"PIC16LF15385", F::B153xx, 8192, 0, 0x30B7, {0x2977, 0x3EE3, 0x3F7F, 0x2B9F, 0x0001}, 4},
    {"PIC16F15386", F::B153xx, 16384, 0, 0x30B8, {0x2977, 0x3EE3, 0x3F7F, 0x2B9F, 0x0001}, 4},
    {"PIC16LF15386", F::B153xx, 16384, 0, 0x30B9, {0x2977, 0x3EE3, 0x3F7F, 0x2B9F, 0x0001}, 4},
    {"PIC16F17114", F::B171xx, 4096, 128, 0x30DB, {0x3977, 0x3FE7, 0x3F7F, 0x2F9F, 0x0003}, 4},
    {"PIC16F17115", F::B171xx, 8192, 128, 0x30E2, {0x3977, 0x3FE7, 0x3F7F, 0x2F9F, 0x0003}, 4},
    {"PIC16F17124", F::B171xx, 4096, 128, 0x30DC, {0x3977, 0x3FE7, 0x3F7F, 0x2F9F, 0x0003}, 4},
    {"PIC16F17125", F::B171xx, 8192, 128, 0x30DE, {0x3977, 0x3FE7, 0x3F7F, 0x2F9F, 0x0003}, 4},
    {"PIC16F17126", F::B171xx, 16384, 256, 0x30E0, {0x3977, 0x3FE7, 0x3F7F, 0x2F9F, 0x0003}, 4},
    {"PIC16F17144", F::B171xx, 4096, 128, 0x30DD, {0x3977, 0x3FE7, 0x3F7F, 0x2F9F, 0x0003}, 4},
    {"PIC16F17145", F::B171xx, 8192, 128, 0x30DF, {0x3977, 0x3FE7, 0x3F7F, 0x2F9F, 0x0003}, 4},
    {"PIC16F17146", F::B171xx, 16384, 256, 0x30E1, {0x3977, 0x3FE7, 0x3F7F, 0x2F9F, 0x0003}, 4},
    {"PIC16F17154", F::B171xx, 4096, 128, 0x3101, {0x3977, 0x3FE7, 0x3F7F, 0x2F9F, 0x0003}, 4},
    {"PIC16F17155", F::B171xx, 8192, 128, 0x3103, {0x3977, 0x3FE7, 0x3F7F, 0x2F9F, 0x0003}, 4},
    {"PIC16F17156", F::B171xx, 16384, 256, 0x3105, {0x3977, 0x3FE7, 0x3F7F, 0x2F9F, 0x0003}, 4},
    {"PIC16F17174", F::B171xx, 4096, 128, 0x3102, {0x3977, 0x3FE7, 0x3F7F, 0x2F9F, 0x0003}, 4},
    {"PIC16F17175", F::B171xx, 8192, 128, 0x3104, {0x3977, 0x3FE7, 0x3F7F, 0x2F9F, 0x0003}, 4},
    {"PIC16F17176", F::B171xx, 16384, 256, 0x3106, {0x3977, 0x3FE7, 0x3F7F, 0x2F9F, 0x0003}, 4},
    {"PIC16F17524", F::B175xx, 4096, 256, 0x3115, {0x3977, 0x3FE7, 0x3F7F, 0x2F9F, 0x0003}, 0},
    {"PIC16F17525", F::B175xx, 8192, 256, 0x3119, {0x3977, 0x3FE7, 0x3F7F, 0x2F9F, 0x0003}, 0},
    {"PIC16F17526", F::B175xx, 16384, 256, 0x311D, {0x3977, 0x3FE7, 0x3F7F, 0x2F9F, 0x0003}, 0},
    {"PIC16F17544", F::B175xx, 4096, 256, 0x3116, {0x3977, 0x3FE7, 0x3F7F, 0x2F9F, 0x0003}, 0},
    {"PIC16F17545", F::B175xx, 8192, 256, 0x311A, {0x3977, 0x3FE7, 0x3F7F, 0x2F9F, 0x0003}, 0},
    {"PIC16F17546", F::B175xx, 16384, 256, 0x311E, {0x3977, 0x3FE7, 0x3F7F, 0x2F9F, 0x0003}, 0},
    {"PIC16F17554", F::B175xx, 4096, 256, 0x3117, {0x3977, 0x3FE7, 0x3F7F, 0x2F9F, 0x0003}, 0},
    {"PIC16F17555", F::B175xx, 8192, 256, 0x311B, {0x3977, 0x3FE7, 0x3F7F, 0x2F9F, 0x0003}, 0},
    {"PIC16F17556", F::B175xx, 16384, 256, 0x311F, {0x3977, 0x3FE7, 0x3F7F, 0x2F9F, 0x0003}, 0},
    {"PIC16F17574", F::B175xx, 4096, 256, 0x3118, {0x3977, 0x3FE7, 0x3F7F, 0x2F9F, 0x0003}, 0},
    {"PIC16F17575", F::B175xx, 8192, 256, 0x311C, {0x3977, 0x3FE7, 0x3F7F, 0x2F9F, 0x0003}, 0},
    {"PIC16F17576", F::B175xx, 16384, 256, 0x3120, {0x3977, 0x3FE7, 0x3F7F, 0x2F9F, 0x0003}, 0},
    {"PIC16F18013", F::B180xx, 2048, 128, 0x30F1, {0x1173, 0x3FDF, 0x0000, 0x2F9F, 0x0003}, 4},
    {"PIC16F18014", F::B180xx, 4096, 128, 0x30F2, {0x1173, 0x3FDF, 0x0000, 0x2F9F, 0x0003}, 4},
    {"PIC16F18015", F::B180xx, 8192, 128, 0x30F5, {0x1173, 0x3FDF, 0x0000, 0x2F9F, 0x0003}, 4},
    {"PIC16F18023", F::B180xx, 2048, 128, 0x30F3, {0x1173, 0x3FDF, 0x0000, 0x2F9F, 0x0003}, 4},
    {"PIC16F18024", F::B180xx, 4096, 128, 0x30F4, {0x1173, 0x3FDF, 0x0000, 0x2F9F, 0x0003}, 4},
    {"PIC16F18025", F::B180xx, 8192, 128, 0x30F6, {0x1173, 0x3FDF, 0x0000, 0x2F9F, 0x0003}, 4},
    {"PIC16F18026", F::B180xx, 16384, 256, 0x30F9, {0x1173, 0x3FDF, 0x0000, 0x2F9F, 0x0003}, 4},
    {"PIC16F18044", F::B180xx, 4096, 128, 0x30F7, {0x1173, 0x3FDF, 0x0000, 0x2F9F, 0x0003}, 4},
    {"PIC16F18045", F::B180xx, 8192, 128, 0x30F8, {0x1173, 0x3FDF, 0x0000, 0x2F9F, 0x0003}, 4},
    {"PIC16F18046", F::B180xx, 16384, 256, 0x30FA, {0x1173, 0x3FDF, 0x0000, 0x2F9F, 0x0003}, 4},
    {"PIC16F18054", F::B180xx, 4096, 128, 0x30FB, {0x1173, 0x3FDF, 0x0000, 0x2F9F, 0x0003}, 4},
    {"PIC16F18055", F::B180xx, 8192, 128, 0x30FC, {0x1173, 0x3FDF, 0x0000, 0x2F9F, 0x0003}, 4},
    {"PIC16F18056", F::B180xx, 16384, 256, 0x30FF, {0x1173, 0x3FDF, 0x0000, 0x2F9F, 0x0003}, 4},
    {"PIC16F18074", F::B180xx, 4096, 128, 0x30FD, {0x1173, 0x3FDF, 0x0000, 0x2F9F, 0x0003}, 4},
    {"PIC16F18075", F::B180xx, 8192, 128, 0x30FE, {0x1173, 0x3FDF, 0x0000, 0x2F9F, 0x0003}, 4},
    {"PIC16F18076", F::B180xx, 16384, 256, 0x3100, {0x1173, 0x3FDF, 0x0000, 0x2F9F, 0x0003}, 4},
    {"PIC16F18114", F::B171xx, 4096, 128, 0x3107, {0x3977, 0x3FE7, 0x3F7F, 0x2F9F, 0x0003}, 4},
    {"PIC16F18115", F::B171xx, 8192, 128, 0x310C, {0x3977, 0x3FE7, 0x3F7F, 0x2F9F, 0x0003}, 4},
    {"PIC16F18124", F::B171xx, 4096, 128, 0x3108, {0x3977, 0x3FE7, 0x3F7F, 0x2F9F, 0x0003}, 4},
    {"PIC16F18125", F::B171xx, 8192, 128, 0x310D, {0x3977, 0x3FE7, 0x3F7F, 0x2F9F, 0x0003}, 4},
    {"PIC16F18126", F::B171xx, 16384, 256, 0x3111, {0x3977, 0x3FE7, 0x3F7F, 0x2F9F, 0x0003}, 4},
    {"PIC16F18144", F::B171xx, 4096, 128, 0x3109, {0x3977, 0x3FE7, 0x3F7F, 0x2F9F, 0x0003}, 4},
    {"PIC16F18145", F::B171xx, 8192, 128, 0x310E, {0x3977, 0x3FE7, 0x3F7F, 0x2F9F, 0x0003}, 4},
    {"PIC16F18146", F::B171xx, 16384, 256, 0x3112, {0x3977, 0x3FE7, 0x3F7F, 0x2F9F, 0x0003}, 4},
    {"PIC16F18154", F::B171xx, 4096, 128, 0x310A, {0x3977, 0x3FE7, 0x3F7F, 0x2F9F, 0x0003}, 4},
    {"PIC16F18155", F::B171xx, 8192, 128, 0x310F, {0x3977, 0x3FE7, 0x3F7F, 0x2F9F, 0x0003}, 4},
    {"PIC16F18156", F::B171xx, 16384, 256, 0x3113, {0x3977, 0x3FE7, 0x3F7F, 0x2F9F, 0x0003}, 4},
    {"PIC16F18174", F::B171xx, 4096, 128, 0x310B, {0x3977, 0x3FE7, 0x3F7F, 0x2F9F, 0x0003}, 4},
    {"PIC16F18175", F::B171xx, 8192, 128, 0x3110, {0x3977, 0x3FE7, 0x3F7F, 0x2F9F, 0x0003}, 4},
    {"PIC16F18176", F::B171xx, 16384, 256, 0x3114, {0x3977, 0x3FE7, 0x3F7F, 0x2F9F, 0x0003}, 4},
    {"PIC16F18424", F::B184xx, 4096, 256, 0x30CA, {0x2977, 0x3EE7, 0x3F7F, 0x2F9F, 0x0001}, 4},
    {"PIC16LF18424", F::B184xx, 4096, 256, 0x30CB, {0x2977, 0x3EE7, 0x3F7F, 0x2F9F, 0x0001}, 4},
    {"PIC16F18425", F::B184xx, 8192, 256, 0x30CC, {0x2977, 0x3EE7, 0x3F7F, 0x2F9F, 0x0001}, 4},
    {"PIC16LF18425", F::B184xx, 8192, 256, 0x30CD, {0x2977, 0x3EE7, 0x3F7F, 0x2F9F, 0x0001}, 4},
    {"PIC16F18426", F::B184xx, 16384, 256, 0x30D2, {0x2977, 0x3EE7, 0x3F7F, 0x2F9F, 0x0001}, 4},
    {"PIC16LF18426", F::B184xx, 16384, 256, 0x30D3, {0x2977, 0x3EE7, 0x3F7F, 0x2F9F, 0x0001}, 4},
    {"PIC16F18444", F::B184xx, 4096, 256, 0x30CE, {0x2977, 0x3EE7, 0x3F7F, 0x2F9F, 0x0001}, 4},
    {"PIC16LF18444", F::B184xx, 4096, 256, 0x30CF, {0x2977, 0x3EE7, 0x3F7F, 0x2F9F, 0x0001}, 4},
    {"PIC16F18445", F::B184xx, 8192, 256, 0x30D0, {0x2977, 0x3EE7, 0x3F7F, 0x2F9F, 0x0001}, 4},
    {"PIC16LF18445", F::B184xx, 8192, 256, 0x30D1, {0x2977, 0x3EE7, 0x3F7F, 0x2F9F, 0x0001}, 4},
    {"PIC16F18446", F::B184xx, 16384, 256, 0x30D4, {0x2977, 0x3EE7, 0x3F7F, 0x2F9F, 0x0001}, 4},
    {"PIC16LF18446", F::B184xx, 16384, 256, 0x30D5, {0x2977, 0x3EE7, 0x3F7F, 0x2F9F, 0x0001}, 4},
    {"PIC16F18455", F::B184xx, 8192, 256, 0x30D7, {0x2977, 0x3EE7, 0x3F7F, 0x2F9F, 0x0001}, 4},
    {"PIC16LF18455", F::B184xx, 8192, 256, 0x30D8, {0x2977, 0x3EE7, 0x3F7F, 0x2F9F, 0x0001}, 4},
    {"PIC16F18456", F::B184xx, 16384, 256, 0x30D9, {0x2977, 0x3EE7, 0x3F7F, 0x2F9F, 0x0001}, 4},
    {"PIC16LF18456", F::B184xx, 16384, 256, 0x30DA, {0x2977, 0x3EE7, 0x3F7F, 0x2F9F, 0x0001}, 4},
    {"PIC16F18854", F::B188xx, 4096, 256, 0x306A, {0x2977, 0x3EE3, 0x3F7F, 0x3003, 0x0003}, 4},
    {"PIC16LF18854", F::B188xx, 4096, 256, 0x306B, {0x2977, 0x3EE3, 0x3F7F, 0x3003, 0x0003}, 4},
    {"PIC16F18855", F::B188xx, 8192, 256, 0x306C, {0x2977, 0x3EE3, 0x3F7F, 0x3003, 0x0003}, 4},
    {"PIC16LF18855", F::B188xx, 8192, 256, 0x306E, {0x2977, 0x3EE3, 0x3F7F, 0x3003, 0x0003}, 4},
    {"PIC16F18856", F::B188xx, 16384, 256, 0x3070, {0x2977, 0x3EE3, 0x3F7F, 0x3003, 0x0003}, 4},
    {"PIC16LF18856", F::B188xx, 16384, 256, 0x3072, {0x2977, 0x3EE3, 0x3F7F, 0x3003, 0x0003}, 4},
    {"PIC16F18857", F::B188xx, 32768, 256, 0x3074, {0x2977, 0x3EE3, 0x3F7F, 0x3003, 0x0003}, 4},
    {"PIC16LF18857", F::B188xx, 32768, 256, 0x3076, {0x2977, 0x3EE3, 0x3F7F, 0x3003, 0x0003}, 4},
    {"PIC16F18875", F::B188xx, 8192, 256, 0x306D, {0x2977, 0x3EE3, 0x3F7F, 0x3003, 0x0003}, 4},
    {"PIC16LF18875", F::B188xx, 8192, 256, 0x306F, {0x2977, 0x3EE3, 0x3F7F, 0x3003, 0x0003}, 4},
    {"PIC16F18876", F::B188xx, 16384, 256, 0x3071, {0x2977, 0x3EE3, 0x3F7F, 0x3003, 0x0003}, 4},
    {"PIC16LF18876", F::B188xx, 16384, 256, 0x3073, {0x2977, 0x3EE3, 0x3F7F, 0x3003, 0x0003}, 4},
    {"PIC16F18877", F::B188xx, 32768, 256, 0x3075, {0x2977, 0x3EE3, 0x3F7F, 0x3003, 0x0003}, 4},
    {"PIC16LF18877", F::B188xx, 32768, 256, 0x3077, {0x2977, 0x3EE3, 0x3F7F, 0x3003, 0x0003}, 4},
    {"PIC16F19155", F::B191xx, 8192, 256, 0x3096, {0x2F77, 0x3EE7, 0x3F7F, 0x2F9F, 0x0001}, 4},
    {"PIC16LF19155", F::B191xx, 8192, 256, 0x3097, {0x2F77, 0x3EE7, 0x3F7F, 0x2F9F, 0x0001}, 4},
    {"PIC16F19156", F::B191xx, 16384, 256, 0x3098, {0x2F77, 0x3EE7, 0x3F7F, 0x2F9F, 0x0001}, 4},
    {"PIC16LF19156", F::B191xx, 16384, 256, 0x3099, {0x2F77, 0x3EE7, 0x3F7F, 0x2F9F, 0x0001}, 4},
    {"PIC16F19175", F::B191xx, 8192, 256, 0x309A, {0x2F77, 0x3EE7, 0x3F7F, 0x2F9F, 0x0001}, 4},
    {"PIC16LF19175", F::B191xx, 8192, 256, 0x309B, {0x2F77, 0x3EE7, 0x3F7F, 0x2F9F, 0x0001}, 4},
    {"PIC16F19176", F::B191xx, 16384, 256, 0x309C, {0x2F77, 0x3EE7, 0x3F7F, 0x2F9F, 0x0001}, 4},
    {"PIC16LF19176", F::B191xx, 16384, 256, 0x309D, {0x2F77, 0x3EE7, 0x3F7F, 0x2F9F, 0x0001}, 4},
    {"PIC16F19185", F::B191xx, 8192, 256, 0x30BA, {0x2F77, 0x3EE7, 0x3F7F, 0x2F9F, 0x0001}, 4},
    {"PIC16LF19185", F::B191xx, 8192, 256, 0x30BB, {0x2F77, 0x3EE7, 0x3F7F, 0x2F9F, 0x0001}, 4},
    {"PIC16F19186", F::B191xx, 16384, 256, 0x30BC, {0x2F77, 0x3EE7, 0x3F7F, 0x2F9F, 0x0001}, 4},
    {"PIC16LF19186", F::B191xx, 16384, 256, 0x30BD, {0x2F77, 0x3EE7, 0x3F7F, 0x2F9F, 0x0001}, 4},
    {"PIC16F19195", F::B191xx, 8192, 256, 0x309E, {0x2F77, 0x3EE7, 0x3F7F, 0x2F9F, 0x0001}, 4},
    {"PIC16LF19195", F::B191xx, 8192, 256, 0x309F, {0x2F77, 0x3EE7, 0x3F7F, 0x2F9F, 0x0001}, 4},
    {"PIC16F19196", F::B191xx, 16384, 256, 0x30A0, {0x2F77, 0x3EE7, 0x3F7F, 0x2F9F, 0x0001}, 4},
    {"PIC16LF19196", F::B191xx, 16384, 256, 0x30A1, {0x2F77, 0x3EE7, 0x3F7F, 0x2F9F, 0x0001}, 4},
    {"PIC16F19197", F::B191xx, 32768, 256, 0x30A2, {0x2F77, 0x3EE7, 0x3F7F, 0x2F9F, 0x0001}, 4},
    {"PIC16LF19197", F::B191xx, 32768, 256, 0x30A3, {0x2F77, 0x3EE7, 0x3F7F, 0x2F9F, 0x0001}, 4},
};
// clang-format on

}  // namespace

const FamilyRules& family_rules(ChipFamily family) {
    static const std::vector<FamilyRules> all = make_family_rules();
    for (const FamilyRules& rules : all) {
        if (rules.family == family) {
            return rules;
        }
    }
    throw std::logic_error("no programming rules for chip family " +
                           std::to_string(static_cast<int>(family)));
}

std::vector<ChipInfo> make_chip_table() {
    using F = ChipFamily;
    // name, family, words, EEPROM, ID, config 1 mask, config 2 mask, calibration
    // words (first, count), latches where the member differs from its family.
    static const Row rows[] = {
        {"PIC16F84A", F::F84A, 1024, 64, 0x0560, 0x3FFF, 0, 0, 0, 0},
        {"PIC16F627A", F::F62xA, 1024, 128, 0x1040, 0x21FF, 0, 0, 0, 0},
        {"PIC16F628A", F::F62xA, 2048, 128, 0x1060, 0x21FF, 0, 0, 0, 0},
        {"PIC16F648A", F::F62xA, 4096, 256, 0x1100, 0x21FF, 0, 0, 0, 0},
        {"PIC16F873A", F::F87xA, 4096, 128, 0x0E40, 0x2FCF, 0, 0, 0, 0},
        {"PIC16F874A", F::F87xA, 4096, 128, 0x0E60, 0x2FCF, 0, 0, 0, 0},
        {"PIC16F876A", F::F87xA, 8192, 256, 0x0E00, 0x2FCF, 0, 0, 0, 0},
        {"PIC16F877A", F::F87xA, 8192, 256, 0x0E20, 0x2FCF, 0, 0, 0, 0},
        {"PIC16F87", F::F87_88, 4096, 256, 0x0720, 0x3FFF, 0x0003, 0, 0, 0},
        {"PIC16F88", F::F87_88, 4096, 256, 0x0760, 0x3FFF, 0x0003, 0, 0, 0},
        {"PIC16F818", F::F81x, 1024, 128, 0x04C0, 0x3FFF, 0, 0, 0, 0},
        {"PIC16F819", F::F81x, 2048, 256, 0x04E0, 0x3FFF, 0, 0, 0, 0},
        {"PIC12F629", F::F629_675, 1024, 128, 0x0F80, 0x31FF, 0, 0, 0, 0},
        {"PIC12F675", F::F629_675, 1024, 128, 0x0FC0, 0x31FF, 0, 0, 0, 0},
        {"PIC16F630", F::F629_675, 1024, 128, 0x10C0, 0x31FF, 0, 0, 0, 0},
        {"PIC16F676", F::F629_675, 1024, 128, 0x10E0, 0x31FF, 0, 0, 0, 0},
        {"PIC12F635", F::F6xx, 1024, 128, 0x0FA0, 0x1FFF, 0, 0x2008, 2, 0},
        {"PIC16F631", F::F6xx, 1024, 128, 0x1420, 0x0FFF, 0, 0x2008, 1, 0},
        {"PIC12F683", F::F6xx, 2048, 256, 0x0460, 0x0FFF, 0, 0x2008, 1, 0},
        {"PIC16F636", F::F6xx, 2048, 256, 0x10A0, 0x1FFF, 0, 0x2008, 2, 0},
        {"PIC16F639", F::F6xx, 2048, 256, 0x10A0, 0x1FFF, 0, 0x2008, 2, 0},
        {"PIC16F677", F::F6xx, 2048, 256, 0x1440, 0x0FFF, 0, 0x2008, 1, 0},
        {"PIC16F684", F::F6xx, 2048, 256, 0x1080, 0x0FFF, 0, 0x2008, 1, 0},
        {"PIC16F687", F::F6xx, 2048, 256, 0x1320, 0x0FFF, 0, 0x2008, 1, 0},
        {"PIC16F685", F::F6xx, 4096, 256, 0x04A0, 0x0FFF, 0, 0x2008, 1, 0},
        {"PIC16F688", F::F6xx, 4096, 256, 0x1180, 0x0FFF, 0, 0x2008, 1, 0},
        {"PIC16F689", F::F6xx, 4096, 256, 0x1340, 0x0FFF, 0, 0x2008, 1, 0},
        {"PIC16F690", F::F6xx, 4096, 256, 0x1400, 0x0FFF, 0, 0x2008, 1, 0},
        {"PIC16F785", F::F785, 2048, 256, 0x1200, 0x0FFF, 0, 0x2008, 2, 0},
        {"PIC16F913", F::F91x, 4096, 256, 0x13E0, 0x1FFF, 0, 0x2008, 2, 4},
        {"PIC16F914", F::F91x, 4096, 256, 0x13C0, 0x1FFF, 0, 0x2008, 2, 4},
        {"PIC16F916", F::F91x, 8192, 256, 0x13A0, 0x1FFF, 0, 0x2008, 2, 8},
        {"PIC16F917", F::F91x, 8192, 256, 0x1380, 0x1FFF, 0, 0x2008, 2, 8},
        {"PIC16F946", F::F91x, 8192, 256, 0x1460, 0x1FFF, 0, 0x2008, 2, 8},
        {"PIC16F882", F::F88x, 2048, 128, 0x2000, 0x3FFF, 0x0700, 0x2009, 1, 4},
        {"PIC16F883", F::F88x, 4096, 256, 0x2020, 0x3FFF, 0x0700, 0x2009, 1, 4},
        {"PIC16F884", F::F88x, 4096, 256, 0x2040, 0x3FFF, 0x0700, 0x2009, 1, 4},
        {"PIC16F886", F::F88x, 8192, 256, 0x2060, 0x3FFF, 0x0700, 0x2009, 1, 8},
        {"PIC16F887", F::F88x, 8192, 256, 0x2080, 0x3FFF, 0x0700, 0x2009, 1, 8},
        {"PIC12F609", F::F61x, 1024, 0, 0x2240, 0x03FF, 0, 0x2008, 1, 1},
        {"PIC12F615", F::F61x, 1024, 0, 0x2180, 0x03FF, 0, 0x2008, 1, 1},
        {"PIC16F610", F::F61x, 1024, 0, 0x2260, 0x03FF, 0, 0x2008, 1, 1},
        {"PIC16F616", F::F61x, 2048, 0, 0x1240, 0x03FF, 0, 0x2008, 1, 4},
        {"PIC16F716", F::F716, 2048, 0, 0x1140, 0x20CF, 0, 0, 0, 0},
        {"PIC16F72", F::F7x, 2048, 0, 0x00A0, 0x005F, 0, 0, 0, 0},
        {"PIC16F73", F::F7x, 4096, 0, 0x0600, 0x005F, 0, 0, 0, 0},
        {"PIC16F74", F::F7x, 4096, 0, 0x0620, 0x005F, 0, 0, 0, 0},
        {"PIC16F76", F::F7x, 8192, 0, 0x0640, 0x005F, 0, 0, 0, 0},
        {"PIC16F77", F::F7x, 8192, 0, 0x0660, 0x005F, 0, 0, 0, 0},
        {"PIC16F737", F::F7x7, 4096, 0, 0x0BA0, 0x39FF, 0x0043, 0, 0, 0},
        {"PIC16F747", F::F7x7, 4096, 0, 0x0BE0, 0x39FF, 0x0043, 0, 0, 0},
        {"PIC16F767", F::F7x7, 8192, 0, 0x0EA0, 0x39FF, 0x0043, 0, 0, 0},
        {"PIC16F777", F::F7x7, 8192, 0, 0x0DE0, 0x39FF, 0x0043, 0, 0, 0},
        {"PIC16F722", F::F72x, 2048, 0, 0x1880, 0x377F, 0x0030, 0x2009, 2, 0},
        {"PIC16F723", F::F72x, 4096, 0, 0x1860, 0x377F, 0x0030, 0x2009, 2, 0},
        {"PIC16F724", F::F72x, 4096, 0, 0x1840, 0x377F, 0x0030, 0x2009, 2, 0},
        {"PIC16F726", F::F72x, 8192, 0, 0x1820, 0x377F, 0x0030, 0x2009, 2, 0},
        {"PIC16F727", F::F72x, 8192, 0, 0x1800, 0x377F, 0x0030, 0x2009, 2, 0},
        {"PIC16F870", F::F87x, 2048, 64, 0x0D00, 0x3BFF, 0, 0, 0, 0},
        {"PIC16F871", F::F87x, 2048, 64, 0x0D20, 0x3BFF, 0, 0, 0, 0},
        {"PIC16F872", F::F87x, 2048, 64, 0x08E0, 0x3BFF, 0, 0, 0, 0},
        {"PIC16F873", F::F87x, 4096, 128, 0x0960, 0x3BFF, 0, 0, 0, 0},
        {"PIC16F874", F::F87x, 4096, 128, 0x0920, 0x3BFF, 0, 0, 0, 0},
        {"PIC16F876", F::F87x, 8192, 256, 0x09E0, 0x3BFF, 0, 0, 0, 0},
        {"PIC16F877", F::F87x, 8192, 256, 0x09A0, 0x3BFF, 0, 0, 0, 0},
        {"PIC16F83", F::F83_84, 512, 64, 0x0000, 0x3FFF, 0, 0, 0, 0},
        {"PIC16F84", F::F83_84, 1024, 64, 0x0000, 0x3FFF, 0, 0, 0, 0},
        {"PIC16F627", F::F62x, 1024, 128, 0x07A0, 0x3DFF, 0, 0, 0, 0},
        {"PIC16F628", F::F62x, 2048, 128, 0x07C0, 0x3DFF, 0, 0, 0, 0},
    };
    std::vector<ChipInfo> table;
    for (const Row& row : rows) {
        table.push_back(from_row(row));
    }
    for (const EnhancedRow& row : kEnhancedRows) {
        table.push_back(from_enhanced_row(row));
    }
    for (const GroupBRow& row : kGroupBRows) {
        table.push_back(from_group_b_row(row));
    }
    return table;
}

double absolute_max_vdd_volts(const ChipInfo& info) {
    if (info.empty_socket) {
        return 0;
    }
    const bool low_voltage = info.name.size() > 6 && info.name.compare(5, 2, "LF") == 0;
    return low_voltage ? 4.0 : 6.5;
}

}  // namespace corvanel
