// SPDX-License-Identifier: GPL-3.0-or-later
#include "board/chip_decoder.h"

namespace corvanel {

const ChipDecoder& chip_decoder_for(const ChipInfo& info) {
    if (info.empty_socket) {
        return classic_decoder();
    }
    const FamilyRules& rules = family_rules(info.family);
    if (rules.eight_bit) {
        return eight_bit_decoder();
    }
    return rules.enhanced ? enhanced_decoder() : classic_decoder();
}

void ChipDecoder::load_pc(Pic14Chip& /*chip*/, std::uint32_t /*frame24*/) const {}

void ChipDecoder::command8(Pic14Chip& /*chip*/, std::uint8_t /*code*/) const {}

void ChipDecoder::payload(Pic14Chip& /*chip*/, std::uint32_t /*frame24*/) const {}

std::uint32_t ChipDecoder::read_payload(Pic14Chip& /*chip*/,
                                        Pic14Chip::PendingRead /*read*/) const {
    return 0;
}

void SixBitDecoder::command(Pic14Chip& chip, std::uint8_t code) const {
    using namespace chip_command;
    using PendingRead = Pic14Chip::PendingRead;
    code &= 0x3F;  // bits 7:6 of the byte never reach the chip
    chip.settle(chip.supports(code) && ends_cycle(chip, code));
    // A load whose data frame never came is abandoned by the next command.
    chip.pending_load_.reset();
    chip.pending_read_ = PendingRead::None;
    chip.pending_pc_load_ = false;
    const std::uint8_t previous = chip.last_command_;
    chip.last_command_ = code;
    if (!chip.supports(code)) {
        return;
    }
    switch (code) {
        case kLoadConfiguration:
            chip.pc_ = config_first();
            chip.pending_load_ = LoadTarget::Program;
            break;
        case kLoadProgram:
            chip.pending_load_ = LoadTarget::Program;
            break;
        case kLoadData:
            chip.pending_load_ = LoadTarget::Data;
            break;
        case kReadProgram:
            chip.pending_read_ = PendingRead::Program;
            break;
        case kReadData:
            chip.pending_read_ = PendingRead::Data;
            break;
        case kIncrementAddress:
            chip.pc_ = incremented(chip.pc_);
            break;
        case kResetAddress:
            chip.pc_ = 0;
            break;
        case kRowErase:
            chip.start_cycle([this, pc = chip.pc_](Pic14Chip& c) { row_erase(c, pc); },
                             chip.rules().row_erase_us);
            break;
        default:
            decode(chip, code, previous);
            break;
    }
}

void SixBitDecoder::data_frame(Pic14Chip& chip, std::uint16_t value) const {
    // Bits 15:14 fall off the frame.
    const auto word = static_cast<std::uint16_t>(value & kBlankFlashWord);
    if (*chip.pending_load_ == Pic14Chip::LoadTarget::Data) {
        chip.data_latch_ = static_cast<std::uint16_t>(word & 0xFF);
    } else {
        latch_program_word(chip, word);
    }
    chip.target_ = *chip.pending_load_;
    chip.pending_load_.reset();
}

std::uint16_t SixBitDecoder::read_frame(const Pic14Chip& chip, Pic14Chip::PendingRead read) const {
    switch (read) {
        case Pic14Chip::PendingRead::Program:
            return read_program_word(chip);
        case Pic14Chip::PendingRead::Data:
            if (chip.eeprom_.empty() || chip.data_protected()) {
                return 0;
            }
            return chip.eeprom_[static_cast<std::size_t>(chip.pc_ % chip.eeprom_size())];
        case Pic14Chip::PendingRead::None:
            break;
    }
    return 0;
}

}  // namespace corvanel
