// SPDX-License-Identifier: GPL-3.0-or-later
// The enhanced mid-range (12F1xxx/16F1xxx, and the 16F183xx with Load PC Address)
// as its programming documents describe it:
// - PC 0000h-7FFFh is program memory (aliased above the part's size), 8000h-FFFFh
//   configuration space; 00 Load Configuration sets PC to 8000h, 16 back to 0000h,
//   06 wraps 7FFFh to 0000h and FFFFh to 8000h.
// - Program memory is written a row of latches at a time: a load goes to the latch
//   of the PC's low bits, and the PC at 08/18 selects the row, so a load past the
//   last latch overwrites the first one. Programming only clears bits.
// - Configuration words and user IDs are written one word at a time; 18 (ended by
//   0A) is not allowed on the configuration words. An EEPROM byte is erased first
//   by 08, not by 18.
// - 09 erases program memory and the configuration words (the user IDs too with PC
//   in 8000h up to the last configuration word, the EEPROM too when it is
//   protected); it must not be sent with PC above that. 11 erases the row at PC,
//   or the user IDs only in configuration space; it is ignored on a protected
//   chip. 0B erases the EEPROM unless it is protected. The calibration words are
//   never erased.
// - Code protection: program memory reads 0000h, data bytes 00h; only 09 lifts it.

#include <algorithm>
#include <cstdio>

#include "board/pic14_chip.h"

#include "core/image/hex_text.h"

namespace corvanel {

namespace {

constexpr std::uint16_t kWordMask = 0x3FFF;
constexpr std::int32_t kUserIdLast = 0x8003;
constexpr std::uint16_t kLvpBit = 0x2000;

std::string volts(double value) {
    char text[16];
    std::snprintf(text, sizeof text, "%.1f", value);
    return text;
}

}  // namespace

int Pic14Chip::config_word_count() const {
    if (rules().enhanced && !info_.empty_socket) {
        return info_.config_words;
    }
    return info_.config2_mask != 0 ? 2 : 1;
}

std::int32_t Pic14Chip::last_config_address() const {
    return kEnhancedDeviceId + info_.config_words;
}

std::uint16_t Pic14Chip::config_mask(int number) const {
    switch (number) {
        case 1:
            return info_.config1_mask;
        case 2:
            return info_.config2_mask;
        case 3:
            return info_.config3_mask;
        case 4:
            return info_.config4_mask;
        default:
            return 0;
    }
}

std::uint16_t* Pic14Chip::calibration_cell(std::int32_t address) {
    if (!rules().enhanced || info_.empty_socket) {
        return nullptr;
    }
    const auto& words = info_.calibration_words;
    for (std::size_t i = 0; i < words.size(); ++i) {
        if (words[i] == address) {
            return &enhanced_calibration_[i];
        }
    }
    return nullptr;
}

std::optional<std::int32_t> Pic14Chip::eeprom_index_in_pc_space(std::int32_t pc) const {
    if (!rules().load_pc_address || pc < kEnhancedEepromFirst ||
        pc >= kEnhancedEepromFirst + eeprom_size()) {
        return std::nullopt;
    }
    return pc - kEnhancedEepromFirst;
}

void Pic14Chip::fault(std::string text) {
    faults_.push_back(std::move(text));
}

bool Pic14Chip::enhanced_protected(std::uint16_t bits) const {
    // The configuration word as it reads: unimplemented bits read 1, so a part
    // without a CPD bit is never data-protected.
    return bits != 0 && (config_word(rules().protect_word) & bits) != bits;
}

// --- Memories --------------------------------------------------------------------

std::uint16_t Pic14Chip::revision_word() const {
    if (!info_.revision_word || enhanced_config_.empty()) {
        return 0;
    }
    return enhanced_config_[kEnhancedRevision - kEnhancedConfigFirst];
}

void Pic14Chip::set_revision_word(std::uint16_t word) {
    if (info_.revision_word && !enhanced_config_.empty()) {
        enhanced_config_[kEnhancedRevision - kEnhancedConfigFirst] =
            static_cast<std::uint16_t>(word & kWordMask);
    }
}

std::uint16_t Pic14Chip::enhanced_config_space(std::int32_t address) const {
    const auto& words = info_.calibration_words;
    for (std::size_t i = 0; i < words.size(); ++i) {
        if (words[i] == address) {
            return enhanced_calibration_[i];
        }
    }
    if (address < kEnhancedConfigFirst || address >= kEnhancedConfigFirst + kEnhancedConfigWords) {
        return 0;
    }
    const std::uint16_t stored = enhanced_config_[address - kEnhancedConfigFirst];
    if (address == kEnhancedDeviceId) {
        return device_id_word();
    }
    if (address > kEnhancedDeviceId && address <= last_config_address()) {
        const std::uint16_t mask = config_mask(address - kEnhancedDeviceId);
        return static_cast<std::uint16_t>((stored & mask) |
                                          (info_.unimplemented_config_bits & ~mask & kWordMask));
    }
    if (address == kEnhancedRevision && !info_.revision_word) {
        return kWordMask;  // reserved on parts whose ID word carries the revision
    }
    return address <= kEnhancedRevision ? stored : 0;
}

void Pic14Chip::enhanced_set_config_space(std::int32_t address, std::uint16_t value) {
    if (std::uint16_t* cell = calibration_cell(address)) {
        *cell = static_cast<std::uint16_t>(value & kWordMask);
        return;
    }
    if (address >= kEnhancedConfigFirst && address <= kUserIdLast) {
        enhanced_config_[address - kEnhancedConfigFirst] =
            static_cast<std::uint16_t>(value & kWordMask);
    } else if (address > kEnhancedDeviceId && address <= last_config_address()) {
        enhanced_config_[address - kEnhancedConfigFirst] =
            static_cast<std::uint16_t>(value & config_mask(address - kEnhancedDeviceId));
    }
    // The reserved word, the revision and the device ID belong to the factory.
}

void Pic14Chip::enhanced_erase_config_words() {
    for (int number = 1; number <= info_.config_words; ++number) {
        enhanced_config_[kEnhancedDeviceId + number - kEnhancedConfigFirst] = config_mask(number);
    }
}

void Pic14Chip::enhanced_erase_everything() {
    std::fill(flash_.begin(), flash_.end(), kWordMask);
    erase_data_memory();
    for (std::int32_t a = kEnhancedConfigFirst; a <= kUserIdLast; ++a) {
        enhanced_config_[a - kEnhancedConfigFirst] = kWordMask;
    }
    enhanced_erase_config_words();
}

// --- Entry ---------------------------------------------------------------------------

void Pic14Chip::power_on_mclr_low() {
    leave_programming_mode();
    powered_ = true;
    programming_mode_ = false;
    awaiting_key_ = true;
}

void Pic14Chip::lvp_key(std::uint32_t key) {
    if (!powered_) {
        power_on_mclr_low();  // the key's clocks come with Vdd on and MCLR low
    }
    if (programming_mode_ || !awaiting_key_) {
        return;
    }
    // One try per power-up: a wrong key leaves the chip running its program.
    awaiting_key_ = false;
    if (!rules().enhanced || info_.empty_socket || key != kLowVoltageKey) {
        return;
    }
    if ((config_word(rules().lvp_word) & kLvpBit) == 0) {
        return;  // LVP off: only high voltage on MCLR enters programming mode
    }
    programming_mode_ = true;
    low_voltage_mode_ = true;
}

void Pic14Chip::vpp_applied(double volts_on_mclr) {
    if (!powered_ || info_.vpp_max_volts <= 0) {
        return;
    }
    if (volts_on_mclr > info_.vpp_max_volts) {
        fault("Vpp " + volts(volts_on_mclr) + " V above the " + info_.name + "'s window (" +
              volts(info_.vpp_min_volts) + "-" + volts(info_.vpp_max_volts) + " V)");
    } else if (volts_on_mclr < info_.vpp_min_volts) {
        leave_programming_mode();  // MCLR below VIHH: the chip runs its program
    }
}

double Pic14Chip::vdd_max_volts() const {
    if (info_.empty_socket) {
        return 0;
    }
    // The data sheets' absolute maximum ratings of Vdd: 6.5 V for the F parts; the LF
    // parts (1.8-3.6 V) take about 4.0 V. The name is the catalogue's own fact here:
    // every LF part is "PIC1xLF...".
    const bool low_voltage = info_.name.size() > 5 && info_.name.compare(5, 2, "LF") == 0;
    return low_voltage ? 4.0 : 6.5;
}

void Pic14Chip::vdd_applied(double volts_on_vdd) {
    const double limit = vdd_max_volts();
    if (!powered_ || limit <= 0 || volts_on_vdd <= limit) {
        return;
    }
    std::string text = "Vdd " + volts(volts_on_vdd) + " V above the " + info_.name +
                       "'s absolute maximum (" + volts(limit) + " V)";
    if (std::find(faults_.begin(), faults_.end(), text) == faults_.end()) {
        fault(std::move(text));
    }
}

void Pic14Chip::load_pc(std::uint32_t frame24) {
    if (!programming_mode_ || !rules().load_pc_address) {
        return;
    }
    settle();
    if (!pending_pc_load_) {
        return;
    }
    pending_pc_load_ = false;
    pc_ = static_cast<std::int32_t>((frame24 >> 1) & 0xFFFF);
}

// --- Commands ------------------------------------------------------------------------

void Pic14Chip::enhanced_command(std::uint8_t code) {
    using namespace chip_command;
    const FamilyRules& family = rules();
    settle(code == kEndProgramming629 && supports(code));
    pending_load_.reset();
    pending_read_ = PendingRead::None;
    pending_pc_load_ = false;
    last_command_ = code;
    if (!supports(code)) {
        return;
    }
    switch (code) {
        case kLoadConfiguration:
            pc_ = kEnhancedConfigFirst;
            pending_load_ = LoadTarget::Program;
            break;
        case kLoadProgram:
            pending_load_ = LoadTarget::Program;
            break;
        case kLoadData:
            pending_load_ = LoadTarget::Data;
            break;
        case kReadProgram:
            pending_read_ = PendingRead::Program;
            break;
        case kReadData:
            pending_read_ = PendingRead::Data;
            break;
        case kIncrementAddress:
            if (pc_ < kEnhancedConfigFirst) {
                pc_ = (pc_ + 1) & 0x7FFF;
            } else {
                pc_ = kEnhancedConfigFirst + ((pc_ + 1) & 0x7FFF);
            }
            break;
        case kResetAddress:
            pc_ = 0;
            break;
        case kLoadPcAddress:
            pending_pc_load_ = true;
            break;
        case kBeginEraseProgramming:
            enhanced_begin_write(true);
            break;
        case kBeginProgrammingOnly:
            enhanced_begin_write(false);
            break;
        case kBulkEraseProgram:
            enhanced_bulk_erase();
            break;
        case kBulkEraseData: {
            if (data_protected()) {
                break;  // only 09 erases protected data
            }
            Cycle cycle;
            cycle.pc = pc_;
            cycle.action = [](Pic14Chip& chip) { chip.erase_data_memory(); };
            start_cycle(std::move(cycle), family.bulk_erase_us);
            break;
        }
        case kRowErase: {
            Cycle cycle;
            cycle.pc = pc_;
            cycle.action = [pc = pc_](Pic14Chip& chip) {
                if (pc >= kEnhancedConfigFirst) {
                    // The user IDs only, whatever the code protection says.
                    if (pc <= chip.last_config_address()) {
                        for (std::int32_t a = kEnhancedConfigFirst; a <= kUserIdLast; ++a) {
                            chip.enhanced_config_[a - kEnhancedConfigFirst] = kWordMask;
                        }
                    }
                    return;
                }
                if (chip.program_protected()) {
                    return;
                }
                const std::int32_t row =
                    chip.info_.row_words > 0 ? chip.info_.row_words : chip.rules().row_words;
                const std::int32_t address = pc % chip.flash_size();
                const std::int32_t base = address - address % row;
                for (std::int32_t a = base; a < base + row && a < chip.flash_size(); ++a) {
                    chip.flash_[static_cast<std::size_t>(a)] = kWordMask;
                }
            };
            start_cycle(std::move(cycle), family.row_erase_us);
            break;
        }
        default:  // 0A: the externally timed cycle was settled above
            break;
    }
}

void Pic14Chip::enhanced_bulk_erase() {
    Cycle cycle;
    cycle.pc = pc_;
    if (const auto index = eeprom_index_in_pc_space(pc_)) {
        // 16F183xx: 09 with PC in the EEPROM at F000h erases the data memory.
        cycle.action = [](Pic14Chip& chip) { chip.erase_data_memory(); };
    } else if (pc_ > last_config_address()) {
        fault("bulk erase (09) with PC at " + hex4h(pc_) + ", above the configuration words (" +
              hex4h(last_config_address()) + ")");
        return;
    } else {
        cycle.action = [pc = pc_](Pic14Chip& chip) {
            const bool data_was_protected = chip.data_protected();
            std::fill(chip.flash_.begin(), chip.flash_.end(), kWordMask);
            chip.enhanced_erase_config_words();
            if (pc >= kEnhancedConfigFirst) {
                for (std::int32_t a = kEnhancedConfigFirst; a <= kUserIdLast; ++a) {
                    chip.enhanced_config_[a - kEnhancedConfigFirst] = kWordMask;
                }
            }
            if (data_was_protected) {
                chip.erase_data_memory();
            }
        };
    }
    start_cycle(std::move(cycle), rules().bulk_erase_us);
}

void Pic14Chip::enhanced_begin_write(bool internally_timed) {
    const FamilyRules& family = rules();
    const LoadTarget target = target_;
    target_ = LoadTarget::None;
    Cycle cycle;
    cycle.pc = pc_;
    cycle.needs_end = !internally_timed;
    std::uint32_t time = internally_timed ? family.program_us : family.program_only_us;
    const bool eeprom_in_pc_space = eeprom_index_in_pc_space(pc_).has_value();
    if (target == LoadTarget::Data || (target == LoadTarget::Program && eeprom_in_pc_space)) {
        const auto value = static_cast<std::uint8_t>(data_latch_);
        data_latch_ = 0xFF;
        if (eeprom_.empty() || data_protected()) {
            return;
        }
        const std::int32_t index =
            eeprom_in_pc_space ? *eeprom_index_in_pc_space(pc_) : pc_ % eeprom_size();
        if (internally_timed) {
            time = family.data_us;
        }
        // 08 erases the byte first; 18 only clears bits.
        cycle.action = [index, value, internally_timed](Pic14Chip& chip) {
            auto& cell = chip.eeprom_[static_cast<std::size_t>(index)];
            cell = internally_timed ? value : static_cast<std::uint8_t>(cell & value);
        };
    } else if (target == LoadTarget::Program && pc_ < kEnhancedConfigFirst) {
        std::vector<std::uint16_t> latches = latches_;
        reset_program_latches();
        if (program_protected()) {
            return;
        }
        cycle.action = [latches = std::move(latches), pc = pc_](Pic14Chip& chip) {
            const auto count = static_cast<std::int32_t>(latches.size());
            const std::int32_t address = pc % chip.flash_size();
            const std::int32_t base = address - address % count;
            for (std::int32_t i = 0; i < count; ++i) {
                auto& cell = chip.flash_[static_cast<std::size_t>((base + i) % chip.flash_size())];
                cell = static_cast<std::uint16_t>(cell & latches[static_cast<std::size_t>(i)]);
            }
        };
    } else if (target == LoadTarget::Program) {
        const std::uint16_t value = config_latch_;
        config_latch_ = kWordMask;
        const std::int32_t address = pc_;
        const bool user_id = address >= kEnhancedConfigFirst && address <= kUserIdLast;
        const bool config_word = address > kEnhancedDeviceId && address <= last_config_address();
        if (config_word && !internally_timed) {
            fault("externally timed programming (18) of configuration word " + hex4h(address));
            return;
        }
        if (!user_id && !config_word) {
            return;  // reserved, revision, device ID and calibration words are read only
        }
        if (config_word && internally_timed) {
            time = family.config_us;
        }
        const bool keep_lvp = low_voltage_mode_ && address == kEnhancedDeviceId + family.lvp_word;
        cycle.action = [address, value, keep_lvp](Pic14Chip& chip) {
            std::uint16_t& stored = chip.enhanced_config_[address - kEnhancedConfigFirst];
            auto written = static_cast<std::uint16_t>(chip.enhanced_config_space(address) & value);
            if (keep_lvp) {
                // The LVP bit cannot be cleared from low-voltage programming mode.
                written = static_cast<std::uint16_t>(
                    written | (chip.enhanced_config_space(address) & kLvpBit));
            }
            stored = address <= kUserIdLast
                         ? written
                         : static_cast<std::uint16_t>(
                               written & chip.config_mask(address - kEnhancedDeviceId));
        };
    } else {
        return;  // nothing loaded
    }
    start_cycle(std::move(cycle), time);
}

void Pic14Chip::enhanced_data_frame(std::uint16_t value) {
    const auto word = static_cast<std::uint16_t>(value & kWordMask);
    if (*pending_load_ == LoadTarget::Data) {
        data_latch_ = static_cast<std::uint16_t>(word & 0xFF);
    } else if (pc_ < kEnhancedConfigFirst) {
        if (!flash_.empty()) {
            // The latch of the PC's low bits: a load past the last latch overwrites the first.
            const auto count = static_cast<std::int32_t>(latches_.size());
            latches_[static_cast<std::size_t>((pc_ % flash_size()) % count)] = word;
        }
    } else if (eeprom_index_in_pc_space(pc_)) {
        data_latch_ = static_cast<std::uint16_t>(word & 0xFF);
    } else {
        config_latch_ = word;
    }
    target_ = *pending_load_;
    pending_load_.reset();
}

std::uint16_t Pic14Chip::enhanced_read_frame(PendingRead read) const {
    switch (read) {
        case PendingRead::Program:
            if (pc_ < kEnhancedConfigFirst) {
                if (flash_.empty() || program_protected()) {
                    return 0;
                }
                return flash_[static_cast<std::size_t>(pc_ % flash_size())];
            }
            if (const auto index = eeprom_index_in_pc_space(pc_)) {
                return data_protected() ? 0 : eeprom_[static_cast<std::size_t>(*index)];
            }
            return enhanced_config_space(pc_);
        case PendingRead::Data:
            if (eeprom_.empty() || data_protected()) {
                return 0;
            }
            return eeprom_[static_cast<std::size_t>(pc_ % eeprom_size())];
        case PendingRead::None:
            break;
    }
    return 0;
}

}  // namespace corvanel
