// SPDX-License-Identifier: GPL-3.0-or-later
// The 8-bit command set of the 14-bit parts sold today (16F188xx, 16F153xx,
// 16F184xx, 16F191xx, 16F152xx, 16F171xx/181xx, 16F180xx, 16F175xx, 16F131xx) as
// their programming documents give it (FamilyRules::document names each family's,
// or says that none was had):
// - Commands of 8 bits, MSb first; a command with data is followed by a 24-bit
//   payload, MSb first, carrying the value in bits 16:1 (bit 0 a stop bit, bits
//   23:17 zero); a read drives the same frame.
// - One PC space reached by 80h Load PC Address: 0000h-7FFFh program memory,
//   8000h-8003h user IDs, 8005h revision, 8006h device ID, 8007h-800Bh CONFIG1-5
//   (8007h-800Dh CONFIG1-7 on the 16F132xx), E000h calibration, F000h the EEPROM.
//   No Load Configuration, no Reset Address.
// - 00h loads the latch (word, user ID, configuration word or EEPROM byte) at PC,
//   02h then moves PC on; FCh reads at PC, FEh then moves PC on; F8h moves PC on.
//   E0h writes what was loaded (the row of latches, one configuration word or user
//   ID, one EEPROM byte) in its internally timed cycle; C0h starts an externally
//   timed write that 82h ends; F0h erases the row at PC.
// - 18h Bulk Erase chooses its regions in one of two ways, a family's programming
//   document says which (FamilyRules::erase_select):
//   by PC (16F188xx, 16F153xx, 16F184xx, 16F191xx, 16F152xx): up to the last
//   configuration word program memory and the configuration words (the user IDs
//   too from 8000h); 80FEh program memory only; F000h the EEPROM;
//   by a 24-bit payload (16F171xx/181xx, 16F180xx, 16F175xx, 16F131xx): bit 1 the
//   EEPROM, bit 2 program memory, bit 3 the user IDs, bit 4 the configuration words
//   (bit 0 is the stop bit: 00001Eh is everything). On a protected chip an erase
//   with bit 4 erases every region and lifts CP; the other regions' erases leave a
//   protected program memory and EEPROM as they are. The erase runs TERAB from the
//   end of the payload. The chip counts clocks: a bare 18h takes the next 24 clocks
//   (the following command and most of its payload) as its payload.
// - CP is CONFIG5 bit 0, CPD bit 1; LVP is CONFIG4 bit 13. The calibration words
//   are never erased.
// Behind the framing the memories, latches and cycles are the enhanced mid-range's
// with Load PC Address (16F183xx), so each command drives that core's operation.
// The 6-bit commands mean nothing to these parts, and the low-voltage key comes MSb
// first without the 33rd clock.

#include <algorithm>

#include "board/chip_decoder.h"

namespace corvanel {

namespace {

// The commands of the set.
constexpr std::uint8_t kLoadPcAddress8 = 0x80;
constexpr std::uint8_t kLoadNvm = 0x00;
constexpr std::uint8_t kLoadNvmIncrement = 0x02;
constexpr std::uint8_t kReadNvm = 0xFC;
constexpr std::uint8_t kReadNvmIncrement = 0xFE;
constexpr std::uint8_t kIncrementAddress8 = 0xF8;
constexpr std::uint8_t kBeginInternallyTimed = 0xE0;
constexpr std::uint8_t kBeginExternallyTimed = 0xC0;
constexpr std::uint8_t kEndExternallyTimed = 0x82;
constexpr std::uint8_t kBulkErase8 = 0x18;
constexpr std::uint8_t kRowErase8 = 0xF0;

// 18h with PC here erases program memory only.
constexpr std::int32_t kFlashOnlyErase = 0x80FE;
// A 6-bit code the core knows by no family: it only ends what is pending.
constexpr std::uint8_t kNoCoreCommand = 0x3F;

// The regions of a payload Bulk Erase, as bits of the 24 clocked (bit 0 is the stop bit).
constexpr std::uint32_t kEraseEeprom = 1U << 1;
constexpr std::uint32_t kEraseFlash = 1U << 2;
constexpr std::uint32_t kEraseUserIds = 1U << 3;
constexpr std::uint32_t kEraseConfig = 1U << 4;

constexpr std::int32_t kUserIdFirst = 0x8000;
constexpr std::int32_t kUserIdLast = 0x8003;

}  // namespace

class EightBitDecoder final : public ChipDecoder {
public:
    void prepare(Pic14Chip& chip) const override { core().prepare(chip); }
    // A 6-bit command: not one of this set's; the chip does nothing with it.
    void command(Pic14Chip& /*chip*/, std::uint8_t /*code*/) const override {}
    void data_frame(Pic14Chip& /*chip*/, std::uint16_t /*value*/) const override {}
    [[nodiscard]] std::uint16_t read_frame(const Pic14Chip& /*chip*/,
                                           Pic14Chip::PendingRead /*read*/) const override {
        return 0;
    }
    [[nodiscard]] bool takes_low_voltage_key() const override { return true; }
    // "MCHP" MSb first: the first clocked bit is the key's bit 31.
    [[nodiscard]] std::uint32_t low_voltage_key() const override {
        return key_msb_first(kLowVoltageKey);
    }

    void command8(Pic14Chip& chip, std::uint8_t code) const override { clock_in(chip, code, 8); }
    void payload(Pic14Chip& chip, std::uint32_t frame24) const override {
        clock_in(chip, frame24 & 0xFFFFFF, 24);
    }
    [[nodiscard]] std::uint32_t read_payload(Pic14Chip& chip,
                                             Pic14Chip::PendingRead read) const override;

    // The address map is the enhanced one with five configuration words (seven on the 16F132xx).
    [[nodiscard]] std::uint16_t config_space(const Pic14Chip& chip,
                                             std::int32_t address) const override {
        return core().config_space(chip, address);
    }
    void set_config_space(Pic14Chip& chip, std::int32_t address,
                          std::uint16_t value) const override {
        core().set_config_space(chip, address, value);
    }
    [[nodiscard]] std::uint16_t config_word(const Pic14Chip& chip, int number) const override {
        return core().config_word(chip, number);
    }
    [[nodiscard]] int config_word_count(const Pic14Chip& chip) const override {
        return core().config_word_count(chip);
    }
    [[nodiscard]] bool protects(const Pic14Chip& chip, std::uint16_t bits) const override {
        return core().protects(chip, bits);
    }
    void erase_config_space(Pic14Chip& chip) const override { core().erase_config_space(chip); }

private:
    [[nodiscard]] static const ChipDecoder& core() { return enhanced_decoder(); }
    // `count` bits, MSb first, into the chip's shift register; each whole command or
    // payload is carried out as it completes.
    void clock_in(Pic14Chip& chip, std::uint32_t bits, int count) const;
    static void take_command(Pic14Chip& chip, std::uint8_t code);
    static void take_payload(Pic14Chip& chip, std::uint8_t command, std::uint32_t frame24);
    [[nodiscard]] static bool takes_payload(const Pic14Chip& chip, std::uint8_t code);
    static void bulk_erase(Pic14Chip& chip);
    static void payload_erase(Pic14Chip& chip, std::uint32_t regions);
    // Moves PC on after a load or read whose command asked for it.
    static void increment_if_asked(Pic14Chip& chip) {
        if (chip.increment_after_) {
            chip.increment_after_ = false;
            core().command(chip, chip_command::kIncrementAddress);
        }
    }
};

const ChipDecoder& eight_bit_decoder() {
    static const EightBitDecoder decoder;
    return decoder;
}

bool EightBitDecoder::takes_payload(const Pic14Chip& chip, std::uint8_t code) {
    switch (code) {
        case kLoadPcAddress8:
        case kLoadNvm:
        case kLoadNvmIncrement:
            return true;
        case kBulkErase8:
            return chip.rules().erase_select == EraseSelect::ByPayload;
        default:
            return false;
    }
}

void EightBitDecoder::clock_in(Pic14Chip& chip, std::uint32_t bits, int count) const {
    // Whole commands and payloads on their boundaries: every well-formed session.
    if (chip.shift8_bits_ == 0 && count == (chip.payload_for_ ? 24 : 8)) {
        if (chip.payload_for_) {
            const std::uint8_t command = *chip.payload_for_;
            chip.payload_for_.reset();
            take_payload(chip, command, bits);
        } else {
            take_command(chip, static_cast<std::uint8_t>(bits));
        }
        return;
    }
    for (int i = count - 1; i >= 0; --i) {
        chip.shift8_ = ((chip.shift8_ << 1) | ((bits >> i) & 1U)) & 0xFFFFFF;
        ++chip.shift8_bits_;
        if (chip.shift8_bits_ != (chip.payload_for_ ? 24 : 8)) {
            continue;
        }
        const std::uint32_t whole = chip.shift8_;
        chip.shift8_ = 0;
        chip.shift8_bits_ = 0;
        if (chip.payload_for_) {
            const std::uint8_t command = *chip.payload_for_;
            chip.payload_for_.reset();
            take_payload(chip, command, whole);
        } else {
            take_command(chip, static_cast<std::uint8_t>(whole));
        }
    }
}

void EightBitDecoder::take_command(Pic14Chip& chip, std::uint8_t code) {
    using namespace chip_command;
    chip.increment_after_ = code == kLoadNvmIncrement || code == kReadNvmIncrement;
    if (takes_payload(chip, code)) {
        chip.payload_for_ = code;
    }
    switch (code) {
        case kLoadPcAddress8:
            core().command(chip, kLoadPcAddress);
            break;
        case kLoadNvm:
        case kLoadNvmIncrement:
            core().command(chip, kLoadProgram);
            break;
        case kReadNvm:
        case kReadNvmIncrement:
            core().command(chip, kReadProgram);
            break;
        case kIncrementAddress8:
            core().command(chip, kIncrementAddress);
            break;
        case kBeginInternallyTimed:
            core().command(chip, kBeginEraseProgramming);
            break;
        case kBeginExternallyTimed:
            core().command(chip, kBeginProgrammingOnly);
            break;
        case kEndExternallyTimed:
            core().command(chip, kEndProgramming629);
            break;
        case kRowErase8:
            core().command(chip, kRowErase);
            break;
        case kBulkErase8:
            if (chip.payload_for_) {
                // The erase starts once its payload is in; the command ends what ran.
                core().command(chip, kNoCoreCommand);
            } else {
                bulk_erase(chip);
            }
            break;
        default:
            // Not a command of the set: it still cuts a running cycle short and
            // abandons a pending load or read.
            core().command(chip, kNoCoreCommand);
            break;
    }
}

void EightBitDecoder::bulk_erase(Pic14Chip& chip) {
    const FamilyRules& family = chip.rules();
    if (chip.pc_ == kFlashOnlyErase) {
        core().command(chip, kNoCoreCommand);
        chip.start_cycle(
            [](Pic14Chip& c) { std::fill(c.flash_.begin(), c.flash_.end(), kBlankFlashWord); },
            family.bulk_erase_us);
        return;
    }
    core().command(chip, chip_command::kBulkEraseProgram);
}

void EightBitDecoder::payload_erase(Pic14Chip& chip, std::uint32_t regions) {
    chip.start_cycle(
        [regions](Pic14Chip& c) {
            const bool locked = c.program_protected() || c.data_protected();
            // Only the configuration region's erase lifts protection, and it takes
            // everything with it.
            const bool everything = locked && (regions & kEraseConfig) != 0;
            if (everything || (!locked && (regions & kEraseFlash) != 0)) {
                std::fill(c.flash_.begin(), c.flash_.end(), kBlankFlashWord);
            }
            if (everything || (!locked && (regions & kEraseEeprom) != 0)) {
                c.erase_data_memory();
            }
            if (everything || (regions & kEraseUserIds) != 0) {
                for (std::int32_t a = kUserIdFirst; a <= kUserIdLast; ++a) {
                    core().set_config_space(c, a, kBlankFlashWord);
                }
            }
            if ((regions & kEraseConfig) != 0) {
                for (int n = 1; n <= core().config_word_count(c); ++n) {
                    core().set_config_space(c, kEnhancedDeviceId + n, kBlankFlashWord);
                }
            }
        },
        chip.rules().bulk_erase_us);
}

void EightBitDecoder::take_payload(Pic14Chip& chip, std::uint8_t command, std::uint32_t frame24) {
    if (command == kBulkErase8) {
        payload_erase(chip, frame24);
        return;
    }
    if (chip.pending_pc_load_) {
        core().load_pc(chip, frame24);
        return;
    }
    chip.settle();
    if (!chip.pending_load_) {
        return;  // the load was abandoned
    }
    // Bits 16:15 of the payload fall off the 14-bit latch.
    core().data_frame(chip, static_cast<std::uint16_t>((frame24 >> 1) & kBlankFlashWord));
    increment_if_asked(chip);
}

std::uint32_t EightBitDecoder::read_payload(Pic14Chip& chip, Pic14Chip::PendingRead read) const {
    if (read == Pic14Chip::PendingRead::None) {
        if (chip.payload_for_ || chip.shift8_bits_ != 0) {
            clock_in(chip, 0, 24);  // the chip was listening: the undriven line gives it zeros
        }
        return 0;
    }
    const std::uint16_t word = core().read_frame(chip, read);
    increment_if_asked(chip);
    return static_cast<std::uint32_t>(word) << 1;
}

}  // namespace corvanel
