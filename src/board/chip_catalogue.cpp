// SPDX-License-Identifier: GPL-3.0-or-later
#include "board/chip_catalogue.h"

#include <initializer_list>
#include <stdexcept>
#include <string>

#include "board/pic14_chip.h"

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

std::vector<FamilyRules> make_family_rules() {
    return {f84a(), f83_84(), f62x(), f62xa(), f87x(), f87xa(), f87_88(), f81x(), f629_675(),
            f6xx(), f785(),   f91x(), f88x(),  f61x(), f716(),  f7x(),    f7x7(), f72x()};
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
    return table;
}

}  // namespace corvanel
