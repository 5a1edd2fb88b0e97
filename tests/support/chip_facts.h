// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What the chip catalogue says about every chip the program supports, written out
// by hand once for the tests. The device file (what the program believes) and the
// emulator's chip rows (what the silicon does) are kept apart on purpose; the tests
// compare each of them with this table, so a slip in either one shows.

#include <cstdint>

#include "core/devices/voltage_sequence.h"

namespace corvanel::test {

struct ChipFacts {
    const char* name;
    std::int32_t flash_words;
    std::int32_t eeprom_bytes;
    std::uint16_t device_id;  // bits 13:5 of the word at 2006h; 0: the chip has none
    std::uint16_t id_mask;    // the bits naming the part (3FF0h: a four-bit revision)
    std::int32_t write_latches;
    VoltageSequence voltages;
    std::int32_t config_mask1;
    std::int32_t config_mask2;  // 0: no configuration word 2
    std::int32_t config_erased1;
    double vpp_min;  // the programming voltage window, in volts
    double vpp_max;
};

constexpr auto kVdd = VoltageSequence::VddFirst;
constexpr auto kVpp = VoltageSequence::VppFirst;

// The chips the device file must list, in its order, copied by hand from the chip
// catalogue (sizes, IDs, implemented configuration bits, erased values; the write
// latches are those the algorithms use, four where the sources disagree; the Vpp
// windows from the catalogue's table of VIHH, "Vdd + 3.5 V" taken at 5 V).
constexpr ChipFacts kChips[] = {
    {"PIC16F84A", 1024, 64, 0x0560, 0x3FE0, 1, kVdd, 0x3FFF, 0, 0x3FFF, 12.0, 14.0},
    {"PIC16F627A", 1024, 128, 0x1040, 0x3FE0, 1, kVpp, 0x21FF, 0, 0x3FFF, 10.0, 13.5},
    {"PIC16F628A", 2048, 128, 0x1060, 0x3FE0, 1, kVpp, 0x21FF, 0, 0x3FFF, 10.0, 13.5},
    {"PIC16F648A", 4096, 256, 0x1100, 0x3FE0, 1, kVpp, 0x21FF, 0, 0x3FFF, 10.0, 13.5},
    {"PIC16F873A", 4096, 128, 0x0E40, 0x3FF0, 8, kVdd, 0x2FCF, 0, 0x3FFF, 8.5, 13.5},
    {"PIC16F874A", 4096, 128, 0x0E60, 0x3FF0, 8, kVdd, 0x2FCF, 0, 0x3FFF, 8.5, 13.5},
    {"PIC16F876A", 8192, 256, 0x0E00, 0x3FF0, 8, kVdd, 0x2FCF, 0, 0x3FFF, 8.5, 13.5},
    {"PIC16F877A", 8192, 256, 0x0E20, 0x3FF0, 8, kVdd, 0x2FCF, 0, 0x3FFF, 8.5, 13.5},
    {"PIC16F87", 4096, 256, 0x0720, 0x3FF0, 4, kVpp, 0x3FFF, 0x0003, 0x3FFF, 8.5, 13.5},
    {"PIC16F88", 4096, 256, 0x0760, 0x3FF0, 4, kVpp, 0x3FFF, 0x0003, 0x3FFF, 8.5, 13.5},
    {"PIC16F818", 1024, 128, 0x04C0, 0x3FF0, 4, kVpp, 0x3FFF, 0, 0x3FFF, 8.5, 13.5},
    {"PIC16F819", 2048, 256, 0x04E0, 0x3FF0, 4, kVpp, 0x3FFF, 0, 0x3FFF, 8.5, 13.5},
    {"PIC16F83", 512, 64, 0, 0, 1, kVdd, 0x3FFF, 0, 0x3FFF, 12.0, 14.0},
    {"PIC16F84", 1024, 64, 0, 0, 1, kVdd, 0x3FFF, 0, 0x3FFF, 12.0, 14.0},
    {"PIC16F627", 1024, 128, 0x07A0, 0x3FE0, 1, kVpp, 0x3DFF, 0, 0x3FFF, 8.5, 13.5},
    {"PIC16F628", 2048, 128, 0x07C0, 0x3FE0, 1, kVpp, 0x3DFF, 0, 0x3FFF, 8.5, 13.5},
    {"PIC16F870", 2048, 64, 0x0D00, 0x3FE0, 1, kVdd, 0x3BFF, 0, 0x3FFF, 8.5, 13.5},
    {"PIC16F871", 2048, 64, 0x0D20, 0x3FE0, 1, kVdd, 0x3BFF, 0, 0x3FFF, 8.5, 13.5},
    {"PIC16F872", 2048, 64, 0x08E0, 0x3FE0, 1, kVdd, 0x3BFF, 0, 0x3FFF, 8.5, 13.5},
    {"PIC16F873", 4096, 128, 0x0960, 0x3FE0, 1, kVdd, 0x3BFF, 0, 0x3FFF, 8.5, 13.5},
    {"PIC16F874", 4096, 128, 0x0920, 0x3FE0, 1, kVdd, 0x3BFF, 0, 0x3FFF, 8.5, 13.5},
    {"PIC16F876", 8192, 256, 0x09E0, 0x3FE0, 1, kVdd, 0x3BFF, 0, 0x3FFF, 8.5, 13.5},
    {"PIC16F877", 8192, 256, 0x09A0, 0x3FE0, 1, kVdd, 0x3BFF, 0, 0x3FFF, 8.5, 13.5},
    {"PIC12F629", 1024, 128, 0x0F80, 0x3FE0, 1, kVpp, 0x31FF, 0, 0x31FF, 8.5, 13.5},
    {"PIC12F675", 1024, 128, 0x0FC0, 0x3FE0, 1, kVpp, 0x31FF, 0, 0x31FF, 8.5, 13.5},
    {"PIC16F630", 1024, 128, 0x10C0, 0x3FE0, 1, kVpp, 0x31FF, 0, 0x31FF, 8.5, 13.5},
    {"PIC16F676", 1024, 128, 0x10E0, 0x3FE0, 1, kVpp, 0x31FF, 0, 0x31FF, 8.5, 13.5},
    {"PIC12F683", 2048, 256, 0x0460, 0x3FE0, 4, kVpp, 0x0FFF, 0, 0x3FFF, 10.0, 13.0},
    {"PIC16F684", 2048, 256, 0x1080, 0x3FE0, 4, kVpp, 0x0FFF, 0, 0x3FFF, 10.0, 13.0},
    {"PIC16F688", 4096, 256, 0x1180, 0x3FE0, 4, kVpp, 0x0FFF, 0, 0x3FFF, 10.0, 13.0},
    {"PIC16F631", 1024, 128, 0x1420, 0x3FE0, 4, kVpp, 0x0FFF, 0, 0x3FFF, 10.0, 13.0},
    {"PIC16F677", 2048, 256, 0x1440, 0x3FE0, 4, kVpp, 0x0FFF, 0, 0x3FFF, 10.0, 13.0},
    {"PIC16F685", 4096, 256, 0x04A0, 0x3FE0, 4, kVpp, 0x0FFF, 0, 0x3FFF, 10.0, 13.0},
    {"PIC16F687", 2048, 256, 0x1320, 0x3FE0, 4, kVpp, 0x0FFF, 0, 0x3FFF, 10.0, 13.0},
    {"PIC16F689", 4096, 256, 0x1340, 0x3FE0, 4, kVpp, 0x0FFF, 0, 0x3FFF, 10.0, 13.0},
    {"PIC16F690", 4096, 256, 0x1400, 0x3FE0, 4, kVpp, 0x0FFF, 0, 0x3FFF, 10.0, 13.0},
    {"PIC12F635", 1024, 128, 0x0FA0, 0x3FE0, 4, kVpp, 0x1FFF, 0, 0x3FFF, 10.0, 13.0},
    {"PIC16F636", 2048, 256, 0x10A0, 0x3FE0, 4, kVpp, 0x1FFF, 0, 0x3FFF, 10.0, 13.0},
    {"PIC16F639", 2048, 256, 0x10A0, 0x3FE0, 4, kVpp, 0x1FFF, 0, 0x3FFF, 10.0, 13.0},
    {"PIC16F785", 2048, 256, 0x1200, 0x3FE0, 4, kVpp, 0x0FFF, 0, 0x3FFF, 10.0, 12.0},
    {"PIC16F913", 4096, 256, 0x13E0, 0x3FF0, 4, kVpp, 0x1FFF, 0, 0x3FFF, 10.0, 12.0},
    {"PIC16F914", 4096, 256, 0x13C0, 0x3FF0, 4, kVpp, 0x1FFF, 0, 0x3FFF, 10.0, 12.0},
    {"PIC16F916", 8192, 256, 0x13A0, 0x3FF0, 8, kVpp, 0x1FFF, 0, 0x3FFF, 10.0, 12.0},
    {"PIC16F917", 8192, 256, 0x1380, 0x3FF0, 8, kVpp, 0x1FFF, 0, 0x3FFF, 10.0, 12.0},
    {"PIC16F946", 8192, 256, 0x1460, 0x3FF0, 8, kVpp, 0x1FFF, 0, 0x3FFF, 10.0, 12.0},
    {"PIC16F882", 2048, 128, 0x2000, 0x3FE0, 4, kVpp, 0x3FFF, 0x0700, 0x3FFF, 10.0, 12.0},
    {"PIC16F883", 4096, 256, 0x2020, 0x3FE0, 4, kVpp, 0x3FFF, 0x0700, 0x3FFF, 10.0, 12.0},
    {"PIC16F884", 4096, 256, 0x2040, 0x3FE0, 4, kVpp, 0x3FFF, 0x0700, 0x3FFF, 10.0, 12.0},
    {"PIC16F886", 8192, 256, 0x2060, 0x3FE0, 8, kVpp, 0x3FFF, 0x0700, 0x3FFF, 10.0, 12.0},
    {"PIC16F887", 8192, 256, 0x2080, 0x3FE0, 8, kVpp, 0x3FFF, 0x0700, 0x3FFF, 10.0, 12.0},
    {"PIC12F609", 1024, 0, 0x2240, 0x3FE0, 1, kVpp, 0x03FF, 0, 0x3FFF, 10.0, 13.0},
    {"PIC12F615", 1024, 0, 0x2180, 0x3FE0, 1, kVpp, 0x03FF, 0, 0x3FFF, 10.0, 13.0},
    {"PIC16F610", 1024, 0, 0x2260, 0x3FE0, 1, kVpp, 0x03FF, 0, 0x3FFF, 10.0, 13.0},
    {"PIC16F616", 2048, 0, 0x1240, 0x3FE0, 4, kVpp, 0x03FF, 0, 0x3FFF, 10.0, 13.0},
    {"PIC16F716", 2048, 0, 0x1140, 0x3FE0, 4, kVdd, 0x20CF, 0, 0x3FFF, 11.0, 13.5},
    {"PIC16F72", 2048, 0, 0x00A0, 0x3FE0, 2, kVpp, 0x005F, 0, 0x3FFF, 12.75, 13.25},
    {"PIC16F73", 4096, 0, 0x0600, 0x3FE0, 2, kVpp, 0x005F, 0, 0x3FFF, 12.75, 13.25},
    {"PIC16F74", 4096, 0, 0x0620, 0x3FE0, 2, kVpp, 0x005F, 0, 0x3FFF, 12.75, 13.25},
    {"PIC16F76", 8192, 0, 0x0640, 0x3FE0, 2, kVpp, 0x005F, 0, 0x3FFF, 12.75, 13.25},
    {"PIC16F77", 8192, 0, 0x0660, 0x3FE0, 2, kVpp, 0x005F, 0, 0x3FFF, 12.75, 13.25},
    {"PIC16F737", 4096, 0, 0x0BA0, 0x3FE0, 2, kVpp, 0x39FF, 0x0043, 0x3FFF, 12.75, 13.25},
    {"PIC16F747", 4096, 0, 0x0BE0, 0x3FE0, 2, kVpp, 0x39FF, 0x0043, 0x3FFF, 12.75, 13.25},
    {"PIC16F767", 8192, 0, 0x0EA0, 0x3FE0, 2, kVpp, 0x39FF, 0x0043, 0x3FFF, 12.75, 13.25},
    {"PIC16F777", 8192, 0, 0x0DE0, 0x3FE0, 2, kVpp, 0x39FF, 0x0043, 0x3FFF, 12.75, 13.25},
    {"PIC16F722", 2048, 0, 0x1880, 0x3FE0, 8, kVpp, 0x377F, 0x0030, 0x3FFF, 8.0, 9.0},
    {"PIC16F723", 4096, 0, 0x1860, 0x3FE0, 8, kVpp, 0x377F, 0x0030, 0x3FFF, 8.0, 9.0},
    {"PIC16F724", 4096, 0, 0x1840, 0x3FE0, 8, kVpp, 0x377F, 0x0030, 0x3FFF, 8.0, 9.0},
    {"PIC16F726", 8192, 0, 0x1820, 0x3FE0, 8, kVpp, 0x377F, 0x0030, 0x3FFF, 8.0, 9.0},
    {"PIC16F727", 8192, 0, 0x1800, 0x3FE0, 8, kVpp, 0x377F, 0x0030, 0x3FFF, 8.0, 9.0},
};

}  // namespace corvanel::test
