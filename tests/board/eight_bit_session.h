// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A programming session of the 8-bit command set in board bytes (108-110), with the
// answers a board must give and the waits the host keeps after each step: entry,
// bulk erase (by PC or by payload, as the family takes it), a few program words, CONFIG1, a user
// ID, an EEPROM byte, each written by E0h, and everything read back with 110. The virtual board and
// the simulated firmware run the same steps.

#include <cstdint>
#include <string>
#include <vector>

#include "board/pic14_chip.h"
#include "core/link/board_protocol.h"

namespace corvanel::test {

struct EightBitStep {
    std::vector<std::uint8_t> send;
    std::vector<std::uint8_t> answers;
    std::uint32_t wait_us = 0;  // after the answers, before the next step
};

struct EightBitSession {
    std::vector<EightBitStep> steps;
    std::vector<std::uint16_t> flash;  // written from 0000h
    std::uint16_t config1 = 0;         // written to 8007h
    std::uint16_t user_id = 0;         // written to 8000h
    int eeprom_byte = -1;              // written to F000h (-1: the chip has none)
};

// Waits the catalogue gives the host: TERAB 14 ms, TPINT 2.8 ms (rows), 5.6 ms
// (configuration words), the EEPROM 6 ms.
inline EightBitSession eight_bit_session(const ChipInfo& chip, bool low_voltage) {
    using namespace board_command;
    EightBitSession s;
    s.flash = {0x3FFE, 0x0123, 0x2ABC, 0x1555};
    s.config1 = 0x3F00;
    s.user_id = 0x0ACE;
    s.eeprom_byte = chip.eeprom_bytes > 0 ? 0x5A : -1;
    const auto cmd = [&](std::uint8_t code, std::uint32_t wait = 0) {
        s.steps.push_back({{kChipCommand8, code}, {kChipCommand8}, wait});
    };
    const auto put = [&](std::uint16_t value) {
        s.steps.push_back({{kPayload24, static_cast<std::uint8_t>(value & 0xFF),
                            static_cast<std::uint8_t>(value >> 8)},
                           {kPayload24},
                           0});
    };
    const auto get = [&](std::uint16_t expected) {
        s.steps.push_back({{kReadPayload24},
                           {static_cast<std::uint8_t>(expected & 0xFF),
                            static_cast<std::uint8_t>(expected >> 8), kReadPayload24},
                           0});
    };
    const auto pc = [&](std::uint16_t address) {
        cmd(0x80);
        put(address);
    };
    const auto write_one = [&](std::uint16_t address, std::uint16_t value, std::uint32_t wait) {
        pc(address);
        cmd(0x00);
        put(value);
        cmd(0xE0, wait);
    };

    if (low_voltage) {
        s.steps.push_back({{kChipCommand, board_extension::kLowVoltageEntry8}, {kChipCommand}, 0});
    } else {
        s.steps.push_back({{kVoltagesOnVppFirst}, {kVoltagesOnVppFirst}, 0});
    }
    if (family_rules(chip.family).erase_select == EraseSelect::ByPayload) {
        cmd(0x18);
        put(0x000F);  // every region: the payload's bits 4:1
        s.steps.back().wait_us = 14'000;
    } else {
        pc(0x8000);
        cmd(0x18, 14'000);
    }
    // A row: 02h for all words but the last, 00h for the last, so PC stays in the row.
    pc(0x0000);
    for (std::size_t i = 0; i < s.flash.size(); ++i) {
        cmd(i + 1 < s.flash.size() ? 0x02 : 0x00);
        put(s.flash[i]);
    }
    cmd(0xE0, 3'000);
    write_one(0x8007, s.config1, 6'000);
    write_one(0x8000, s.user_id, 6'000);
    if (s.eeprom_byte >= 0) {
        write_one(0xF000, static_cast<std::uint16_t>(s.eeprom_byte), 6'000);
    }

    pc(0x0000);
    for (const std::uint16_t word : s.flash) {
        cmd(0xFE);
        get(word);
    }
    pc(0x8000);
    cmd(0xFC);
    get(s.user_id);
    pc(0x8006);
    cmd(0xFE);
    get(chip.device_id);
    cmd(0xFC);  // 8007h: unimplemented bits read 1
    get(static_cast<std::uint16_t>((s.config1 & chip.config1_mask) |
                                   (~chip.config1_mask & 0x3FFF)));
    if (s.eeprom_byte >= 0) {
        pc(0xF000);
        cmd(0xFC);
        get(static_cast<std::uint16_t>(s.eeprom_byte));
    }
    s.steps.push_back({{kVoltagesOff}, {kVoltagesOff}, 0});
    return s;
}

// The chips of the session: a part of each family of the 8-bit set.
inline const std::vector<std::string>& eight_bit_session_chips() {
    static const std::vector<std::string> chips = {"PIC16F18877",  "PIC16F15313", "PIC16F18446",
                                                   "PIC16LF15376", "PIC16F15244", "PIC16F17146"};
    return chips;
}

}  // namespace corvanel::test
