// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The command decoders of the emulated chip. Pic14Chip (pic14_chip.h) is the core:
// the memories, the write latches, the address counter, the programming cycles and
// their timing, and the fault record. A decoder is the command set the chip speaks
// on its ICSP pins: it turns commands, data frames and read frames into operations
// on that core, and knows the set's address map (where configuration space lies,
// which configuration word protects what). Decoders hold no state: a chip names its
// decoder, so copying a chip copies everything it is.
//
// The 6-bit sets carry 14-bit data in 16-clock frames: the classic mid-range
// (configuration space at 2000h, chip_decoder_classic.cpp) and the enhanced
// mid-range (8000h, chip_decoder_enhanced.cpp). The 8-bit set (8-bit commands,
// 24-bit payloads, chip_decoder_8bit.cpp) is the third.

#include <cstdint>

#include "board/pic14_chip.h"
#include "core/image/program_word.h"

namespace corvanel {

// Enhanced chips: the bit of the LVP configuration word that allows low-voltage entry.
inline constexpr std::uint16_t kLvpBit = 0x2000;

class ChipDecoder {
public:
    virtual ~ChipDecoder() = default;

    // A fresh chip's memories that only this set has, before its first erase.
    virtual void prepare(Pic14Chip& chip) const = 0;

    // A command as the board clocks it; the chip is in programming mode.
    virtual void command(Pic14Chip& chip, std::uint8_t code) const = 0;
    // The frame after a load command; the chip is in programming mode, a load is
    // pending and the running cycle has been settled.
    virtual void data_frame(Pic14Chip& chip, std::uint16_t value) const = 0;
    // The frame after a read command of a chip in programming mode.
    [[nodiscard]] virtual std::uint16_t read_frame(const Pic14Chip& chip,
                                                   Pic14Chip::PendingRead read) const = 0;
    // The 24-clock frame after Load PC Address; sets without that command ignore it.
    virtual void load_pc(Pic14Chip& chip, std::uint32_t frame24) const;
    // The set has low-voltage entry by a key on the pins.
    [[nodiscard]] virtual bool takes_low_voltage_key() const { return false; }
    // The key as the pins assemble it, the first clocked bit in bit 0.
    [[nodiscard]] virtual std::uint32_t low_voltage_key() const { return kLowVoltageKey; }

    // The 8-bit command set: a command, a 24-bit payload in (the value in bits 16:1)
    // and a 24-bit payload out after a read. The 6-bit sets ignore them and drive
    // nothing (0): their shift register never holds a command of theirs after them.
    virtual void command8(Pic14Chip& chip, std::uint8_t code) const;
    virtual void payload(Pic14Chip& chip, std::uint32_t frame24) const;
    [[nodiscard]] virtual std::uint32_t read_payload(Pic14Chip& chip,
                                                     Pic14Chip::PendingRead read) const;

    // --- The set's address map -----------------------------------------------------
    [[nodiscard]] virtual std::uint16_t config_space(const Pic14Chip& chip,
                                                     std::int32_t address) const = 0;
    virtual void set_config_space(Pic14Chip& chip, std::int32_t address,
                                  std::uint16_t value) const = 0;
    [[nodiscard]] virtual std::uint16_t config_word(const Pic14Chip& chip, int number) const = 0;
    [[nodiscard]] virtual int config_word_count(const Pic14Chip& chip) const = 0;
    // Code protection: some of `bits` (the family's CP or CPD bits) are programmed.
    [[nodiscard]] virtual bool protects(const Pic14Chip& chip, std::uint16_t bits) const = 0;
    // The user IDs and configuration words as a chip erase leaves them; calibration
    // words stay.
    virtual void erase_config_space(Pic14Chip& chip) const = 0;
};

// What the 6-bit command sets share: commands in the low six bits of the byte, the
// loads, reads and address moves, 14-bit data frames and the EEPROM read.
class SixBitDecoder : public ChipDecoder {
public:
    void command(Pic14Chip& chip, std::uint8_t code) const final;
    void data_frame(Pic14Chip& chip, std::uint16_t value) const final;
    [[nodiscard]] std::uint16_t read_frame(const Pic14Chip& chip,
                                           Pic14Chip::PendingRead read) const final;

protected:
    using LoadTarget = Pic14Chip::LoadTarget;

    // The supported command `code` ends an externally timed cycle.
    [[nodiscard]] virtual bool ends_cycle(const Pic14Chip& chip, std::uint8_t code) const = 0;
    // Where Load Configuration puts the address counter.
    [[nodiscard]] virtual std::int32_t config_first() const = 0;
    // The address counter after Increment Address.
    [[nodiscard]] virtual std::int32_t incremented(std::int32_t pc) const = 0;
    // A supported command other than the loads, reads and address moves; `previous`
    // is the command before it.
    virtual void decode(Pic14Chip& chip, std::uint8_t code, std::uint8_t previous) const = 0;
    // The 14-bit word of a program load (Load Configuration or Load Program Memory).
    virtual void latch_program_word(Pic14Chip& chip, std::uint16_t word) const = 0;
    // What Row Erase (11) does once its time is up, with the address counter at `pc`.
    virtual void row_erase(Pic14Chip& chip, std::int32_t pc) const = 0;
    // The frame after Read Program Memory.
    [[nodiscard]] virtual std::uint16_t read_program_word(const Pic14Chip& chip) const = 0;
};

// The decoder of a chip's command set (the empty socket answers as a classic chip).
[[nodiscard]] const ChipDecoder& chip_decoder_for(const ChipInfo& info);
[[nodiscard]] const ChipDecoder& classic_decoder();
[[nodiscard]] const ChipDecoder& enhanced_decoder();
[[nodiscard]] const ChipDecoder& eight_bit_decoder();

}  // namespace corvanel
