// SPDX-License-Identifier: GPL-3.0-or-later
// The enhanced mid-range's 6-bit command set (12F1xxx/16F1xxx, and the 16F183xx
// with Load PC Address) as its programming documents describe it:
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

#include "board/chip_decoder.h"
#include "core/image/hex_text.h"

namespace corvanel {

namespace {

constexpr std::int32_t kUserIdLast = 0x8003;

}  // namespace

class EnhancedDecoder final : public SixBitDecoder {
public:
    void prepare(Pic14Chip& chip) const override {
        chip.enhanced_config_.assign(kEnhancedConfigWords, kBlankFlashWord);
        chip.enhanced_calibration_.assign(chip.info_.calibration_words.size(), kBlankFlashWord);
        if (chip.info_.revision_word) {
            chip.set_revision(0);
        }
    }
    void load_pc(Pic14Chip& chip, std::uint32_t frame24) const override;
    [[nodiscard]] bool takes_low_voltage_key() const override { return true; }

    // 8000h-801Fh, and the calibration words wherever they lie (E000h on the 16F183xx).
    [[nodiscard]] std::uint16_t config_space(const Pic14Chip& chip,
                                             std::int32_t address) const override;
    void set_config_space(Pic14Chip& chip, std::int32_t address,
                          std::uint16_t value) const override;
    [[nodiscard]] std::uint16_t config_word(const Pic14Chip& chip, int number) const override {
        return number >= 1 && number <= config_word_count(chip)
                   ? config_space(chip, kEnhancedDeviceId + number)
                   : 0;
    }
    [[nodiscard]] int config_word_count(const Pic14Chip& chip) const override {
        return chip.info_.config_words;
    }
    // The configuration word as it reads: unimplemented bits read 1, so a part
    // without a CPD bit is never data-protected.
    [[nodiscard]] bool protects(const Pic14Chip& chip, std::uint16_t bits) const override {
        return bits != 0 && (config_word(chip, chip.rules().protect_word) & bits) != bits;
    }
    // The calibration words are never erased.
    void erase_config_space(Pic14Chip& chip) const override {
        erase_user_ids(chip);
        erase_config_words(chip);
    }

protected:
    [[nodiscard]] bool ends_cycle(const Pic14Chip& /*chip*/, std::uint8_t code) const override {
        return code == chip_command::kEndProgramming629;
    }
    [[nodiscard]] std::int32_t config_first() const override { return kEnhancedConfigFirst; }
    [[nodiscard]] std::int32_t incremented(std::int32_t pc) const override {
        if (pc < kEnhancedConfigFirst) {
            return (pc + 1) & 0x7FFF;
        }
        return kEnhancedConfigFirst + ((pc + 1) & 0x7FFF);
    }
    void decode(Pic14Chip& chip, std::uint8_t code, std::uint8_t previous) const override;
    // In configuration space 11 reaches the user IDs, whatever the code protection says.
    void row_erase(Pic14Chip& chip, std::int32_t pc) const override;
    void latch_program_word(Pic14Chip& chip, std::uint16_t word) const override;
    [[nodiscard]] std::uint16_t read_program_word(const Pic14Chip& chip) const override;

private:
    [[nodiscard]] static std::int32_t last_config_address(const Pic14Chip& chip) {
        return kEnhancedDeviceId + chip.info_.config_words;
    }
    [[nodiscard]] static std::uint16_t config_mask(const Pic14Chip& chip, int number);
    // The EEPROM byte a PC at F000h reaches on the 16F183xx.
    [[nodiscard]] static std::optional<std::int32_t> eeprom_index_in_pc_space(const Pic14Chip& chip,
                                                                              std::int32_t pc);
    void begin_write(Pic14Chip& chip, bool internally_timed) const;
    void begin_config_write(Pic14Chip& chip, bool internally_timed) const;
    static void bulk_erase(Pic14Chip& chip);
    static void erase_config_words(Pic14Chip& chip);
    static void erase_user_ids(Pic14Chip& chip);
};

const ChipDecoder& enhanced_decoder() {
    static const EnhancedDecoder decoder;
    return decoder;
}

std::uint16_t EnhancedDecoder::config_mask(const Pic14Chip& chip, int number) {
    switch (number) {
        case 1:
            return chip.info_.config1_mask;
        case 2:
            return chip.info_.config2_mask;
        case 3:
            return chip.info_.config3_mask;
        case 4:
            return chip.info_.config4_mask;
        case 5:
            return chip.info_.config5_mask;
        case 6:
            return chip.info_.config6_mask;
        case 7:
            return chip.info_.config7_mask;
        default:
            return 0;
    }
}

std::optional<std::int32_t> EnhancedDecoder::eeprom_index_in_pc_space(const Pic14Chip& chip,
                                                                      std::int32_t pc) {
    if (!chip.rules().load_pc_address || pc < kEnhancedEepromFirst ||
        pc >= kEnhancedEepromFirst + chip.eeprom_size()) {
        return std::nullopt;
    }
    return pc - kEnhancedEepromFirst;
}

// --- The address map -------------------------------------------------------------

std::uint16_t EnhancedDecoder::config_space(const Pic14Chip& chip, std::int32_t address) const {
    const auto& words = chip.info_.calibration_words;
    for (std::size_t i = 0; i < words.size(); ++i) {
        if (words[i] == address) {
            return chip.enhanced_calibration_[i];
        }
    }
    if (address < kEnhancedConfigFirst || address >= kEnhancedConfigFirst + kEnhancedConfigWords) {
        return 0;
    }
    const std::uint16_t stored = chip.enhanced_config_[address - kEnhancedConfigFirst];
    if (address == kEnhancedDeviceId) {
        return chip.device_id_word();
    }
    if (address > kEnhancedDeviceId && address <= last_config_address(chip)) {
        const std::uint16_t mask = config_mask(chip, address - kEnhancedDeviceId);
        return static_cast<std::uint16_t>(
            (stored & mask) | (chip.info_.unimplemented_config_bits & ~mask & kBlankFlashWord));
    }
    if (address == kEnhancedRevision && !chip.info_.revision_word) {
        return kBlankFlashWord;  // reserved on parts whose ID word carries the revision
    }
    return address <= kEnhancedRevision ? stored : 0;
}

void EnhancedDecoder::set_config_space(Pic14Chip& chip, std::int32_t address,
                                       std::uint16_t value) const {
    if (std::uint16_t* cell = chip.calibration_cell(address)) {
        *cell = static_cast<std::uint16_t>(value & kBlankFlashWord);
        return;
    }
    if (address >= kEnhancedConfigFirst && address <= kUserIdLast) {
        chip.enhanced_config_[address - kEnhancedConfigFirst] =
            static_cast<std::uint16_t>(value & kBlankFlashWord);
    } else if (address > kEnhancedDeviceId && address <= last_config_address(chip)) {
        chip.enhanced_config_[address - kEnhancedConfigFirst] =
            static_cast<std::uint16_t>(value & config_mask(chip, address - kEnhancedDeviceId));
    }
    // The reserved word, the revision and the device ID belong to the factory.
}

void EnhancedDecoder::erase_config_words(Pic14Chip& chip) {
    for (int number = 1; number <= chip.info_.config_words; ++number) {
        chip.enhanced_config_[kEnhancedDeviceId + number - kEnhancedConfigFirst] =
            config_mask(chip, number);
    }
}

void EnhancedDecoder::erase_user_ids(Pic14Chip& chip) {
    for (std::int32_t a = kEnhancedConfigFirst; a <= kUserIdLast; ++a) {
        chip.enhanced_config_[a - kEnhancedConfigFirst] = kBlankFlashWord;
    }
}

// --- Commands ------------------------------------------------------------------------

void EnhancedDecoder::load_pc(Pic14Chip& chip, std::uint32_t frame24) const {
    if (!chip.rules().load_pc_address) {
        return;
    }
    chip.settle();
    if (!chip.pending_pc_load_) {
        return;
    }
    chip.pending_pc_load_ = false;
    chip.pc_ = static_cast<std::int32_t>((frame24 >> 1) & 0xFFFF);
}

void EnhancedDecoder::decode(Pic14Chip& chip, std::uint8_t code, std::uint8_t /*previous*/) const {
    using namespace chip_command;
    const FamilyRules& family = chip.rules();
    switch (code) {
        case kLoadPcAddress:
            chip.pending_pc_load_ = true;
            break;
        case kBeginEraseProgramming:
            begin_write(chip, true);
            break;
        case kBeginProgrammingOnly:
            begin_write(chip, false);
            break;
        case kBulkEraseProgram:
            bulk_erase(chip);
            break;
        case kBulkEraseData: {
            if (chip.data_protected()) {
                break;  // only 09 erases protected data
            }
            chip.start_cycle([](Pic14Chip& c) { c.erase_data_memory(); }, family.bulk_erase_us);
            break;
        }
        default:  // 0A: the externally timed cycle was settled already
            break;
    }
}

void EnhancedDecoder::row_erase(Pic14Chip& chip, std::int32_t pc) const {
    if (pc >= kEnhancedConfigFirst) {
        // The user IDs only, whatever the code protection says.
        if (pc <= last_config_address(chip)) {
            erase_user_ids(chip);
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
        chip.flash_[static_cast<std::size_t>(a)] = kBlankFlashWord;
    }
}

void EnhancedDecoder::bulk_erase(Pic14Chip& chip) {
    const std::int32_t pc = chip.pc_;
    Pic14Chip::CycleWork work;
    if (eeprom_index_in_pc_space(chip, pc)) {
        // 16F183xx: 09 with PC in the EEPROM at F000h erases the data memory.
        work = [](Pic14Chip& c) { c.erase_data_memory(); };
    } else if (pc > last_config_address(chip)) {
        chip.fault("bulk erase (09) with PC at " + hex4h(pc) + ", above the configuration words (" +
                   hex4h(last_config_address(chip)) + ")");
        return;
    } else {
        work = [pc](Pic14Chip& c) {
            const bool data_was_protected = c.data_protected();
            std::fill(c.flash_.begin(), c.flash_.end(), kBlankFlashWord);
            erase_config_words(c);
            if (pc >= kEnhancedConfigFirst) {
                erase_user_ids(c);
            }
            if (data_was_protected) {
                c.erase_data_memory();
            }
        };
    }
    chip.start_cycle(std::move(work), chip.rules().bulk_erase_us);
}

void EnhancedDecoder::begin_write(Pic14Chip& chip, bool internally_timed) const {
    const FamilyRules& family = chip.rules();
    const LoadTarget target = chip.target_;
    chip.target_ = LoadTarget::None;
    const std::int32_t pc = chip.pc_;
    const auto eeprom_index = eeprom_index_in_pc_space(chip, pc);
    Pic14Chip::CycleWork work;
    const bool needs_end = !internally_timed;
    std::uint32_t time = internally_timed ? family.program_us : family.program_only_us;
    if (target == LoadTarget::Data || (target == LoadTarget::Program && eeprom_index)) {
        const auto value = static_cast<std::uint8_t>(chip.data_latch_);
        chip.data_latch_ = 0xFF;
        if (chip.eeprom_.empty() || chip.data_protected()) {
            return;
        }
        const std::int32_t index = eeprom_index ? *eeprom_index : pc % chip.eeprom_size();
        if (internally_timed) {
            time = family.data_us;
        }
        // 08 erases the byte first; 18 only clears bits.
        work = [index, value, internally_timed](Pic14Chip& c) {
            auto& cell = c.eeprom_[static_cast<std::size_t>(index)];
            cell = internally_timed ? value : static_cast<std::uint8_t>(cell & value);
        };
    } else if (target == LoadTarget::Program && pc < kEnhancedConfigFirst) {
        std::vector<std::uint16_t> latches = chip.latches_;
        chip.reset_program_latches();
        if (chip.program_protected()) {
            return;
        }
        work = [latches = std::move(latches), pc](Pic14Chip& c) {
            const auto count = static_cast<std::int32_t>(latches.size());
            const std::int32_t address = pc % c.flash_size();
            const std::int32_t base = address - address % count;
            for (std::int32_t i = 0; i < count; ++i) {
                auto& cell = c.flash_[static_cast<std::size_t>((base + i) % c.flash_size())];
                cell = static_cast<std::uint16_t>(cell & latches[static_cast<std::size_t>(i)]);
            }
        };
    } else if (target == LoadTarget::Program) {
        begin_config_write(chip, internally_timed);
        return;
    } else {
        return;  // nothing loaded
    }
    chip.start_cycle(std::move(work), time, needs_end);
}

void EnhancedDecoder::begin_config_write(Pic14Chip& chip, bool internally_timed) const {
    const FamilyRules& family = chip.rules();
    const std::uint16_t value = chip.config_latch_;
    chip.config_latch_ = kBlankFlashWord;
    const std::int32_t address = chip.pc_;
    const bool user_id = address >= kEnhancedConfigFirst && address <= kUserIdLast;
    const bool config_word = address > kEnhancedDeviceId && address <= last_config_address(chip);
    if (config_word && !internally_timed) {
        chip.fault("externally timed programming (18) of configuration word " + hex4h(address));
        return;
    }
    if (!user_id && !config_word) {
        return;  // reserved, revision, device ID and calibration words are read only
    }
    const bool keep_lvp = chip.low_voltage_mode_ && address == kEnhancedDeviceId + family.lvp_word;
    Pic14Chip::CycleWork work;
    const bool needs_end = !internally_timed;
    work = [this, address, value, keep_lvp](Pic14Chip& c) {
        std::uint16_t& stored = c.enhanced_config_[address - kEnhancedConfigFirst];
        auto written = static_cast<std::uint16_t>(config_space(c, address) & value);
        if (keep_lvp) {
            // The LVP bit cannot be cleared from low-voltage programming mode.
            written = static_cast<std::uint16_t>(written | (config_space(c, address) & kLvpBit));
        }
        stored =
            address <= kUserIdLast
                ? written
                : static_cast<std::uint16_t>(written & config_mask(c, address - kEnhancedDeviceId));
    };
    const std::uint32_t time = config_word && internally_timed ? family.config_us
                               : internally_timed              ? family.program_us
                                                               : family.program_only_us;
    chip.start_cycle(std::move(work), time, needs_end);
}

void EnhancedDecoder::latch_program_word(Pic14Chip& chip, std::uint16_t word) const {
    if (chip.pc_ < kEnhancedConfigFirst) {
        if (!chip.flash_.empty()) {
            // The latch of the PC's low bits: a load past the last latch overwrites the first.
            const auto count = static_cast<std::int32_t>(chip.latches_.size());
            chip.latches_[static_cast<std::size_t>((chip.pc_ % chip.flash_size()) % count)] = word;
        }
    } else if (eeprom_index_in_pc_space(chip, chip.pc_)) {
        chip.data_latch_ = static_cast<std::uint16_t>(word & 0xFF);
    } else {
        chip.config_latch_ = word;
    }
}

std::uint16_t EnhancedDecoder::read_program_word(const Pic14Chip& chip) const {
    const std::int32_t pc = chip.pc_;
    if (pc < kEnhancedConfigFirst) {
        if (chip.flash_.empty() || chip.program_protected()) {
            return 0;
        }
        return chip.flash_[static_cast<std::size_t>(pc % chip.flash_size())];
    }
    if (const auto index = eeprom_index_in_pc_space(chip, pc)) {
        return chip.data_protected() ? 0 : chip.eeprom_[static_cast<std::size_t>(*index)];
    }
    return config_space(chip, pc);
}

}  // namespace corvanel
