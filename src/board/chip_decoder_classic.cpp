// SPDX-License-Identifier: GPL-3.0-or-later
// The classic mid-range's 6-bit command set (16F8x, 16F87x(A), 12F629, 16F6xx and
// their kin): configuration space at 2000h (user IDs 2000h-2003h, reserved words,
// the device ID at 2006h, configuration words 1 and 2 at 2007h/2008h, calibration
// words up to 200Ah), and the family rules (chip_catalogue.h) that tell which
// commands a family knows, what its erases reach and how its cycles are timed.

#include <algorithm>

#include "board/chip_decoder.h"

namespace corvanel {

namespace {

constexpr std::int32_t kPcSpan = 0x2000;  // program memory and configuration space each span 8K
constexpr std::int32_t kUserIdLastAddress = 0x2003;
constexpr std::int32_t kReservedFirst = 0x2004;
constexpr std::int32_t kReservedLast = 0x2005;
constexpr std::int32_t kDeviceIdLocation = 0x2006;
constexpr std::int32_t kConfig1Location = 0x2007;
constexpr std::int32_t kConfig2Location = 0x2008;
// A bulk erase with the address counter up to here also erases the user IDs.
constexpr std::int32_t kIdEraseLast = 0x201F;
// Row erase in configuration space reaches the user IDs only, and only up to here.
constexpr std::int32_t kRowEraseIdLast = 0x2008;

}  // namespace

class ClassicDecoder final : public SixBitDecoder {
public:
    void prepare(Pic14Chip& chip) const override {
        std::fill(std::begin(chip.config_) + (kReservedFirst - kConfigSpaceFirst),
                  std::begin(chip.config_) + (kReservedLast + 1 - kConfigSpaceFirst),
                  kBlankFlashWord);
    }

    // 2000h-200Ah: user IDs, reserved words, device ID, configuration words 1 and 2,
    // calibration words.
    [[nodiscard]] std::uint16_t config_space(const Pic14Chip& chip,
                                             std::int32_t address) const override;
    void set_config_space(Pic14Chip& chip, std::int32_t address,
                          std::uint16_t value) const override;
    [[nodiscard]] std::uint16_t config_word(const Pic14Chip& chip, int number) const override {
        return config_space(chip, number == 2 ? kConfig2Location : kConfig1Location);
    }
    [[nodiscard]] int config_word_count(const Pic14Chip& chip) const override {
        return chip.info_.config2_mask != 0 ? 2 : 1;
    }
    // Configuration word 1 as stored holds the protection bits.
    [[nodiscard]] bool protects(const Pic14Chip& chip, std::uint16_t bits) const override {
        return !chip.info_.empty_socket && bits != 0 &&
               (chip.config_[kConfig1Location - kConfigSpaceFirst] & bits) != bits;
    }
    // On the 12F629 family the band-gap bits go back to 11b with configuration word 1.
    void erase_config_space(Pic14Chip& chip) const override {
        erase_user_ids(chip);
        erase_config_words(chip);
    }

protected:
    [[nodiscard]] bool ends_cycle(const Pic14Chip& chip, std::uint8_t code) const override {
        const std::uint8_t end = chip.rules().end_command;
        return end != 0 && code == end;
    }
    [[nodiscard]] std::int32_t config_first() const override { return kConfigSpaceFirst; }
    [[nodiscard]] std::int32_t incremented(std::int32_t pc) const override {
        if (pc < kConfigSpaceFirst) {
            return (pc + 1) % kPcSpan;
        }
        return kConfigSpaceFirst + (pc - kConfigSpaceFirst + 1) % kPcSpan;
    }
    void decode(Pic14Chip& chip, std::uint8_t code, std::uint8_t previous) const override;
    // In configuration space 11 reaches the user IDs, and only up to 2008h.
    void row_erase(Pic14Chip& chip, std::int32_t pc) const override;
    void latch_program_word(Pic14Chip& chip, std::uint16_t word) const override;
    [[nodiscard]] std::uint16_t read_program_word(const Pic14Chip& chip) const override;

private:
    // The program memory word the address counter reaches (aliasing included), or
    // nothing while it points into configuration space.
    [[nodiscard]] static std::optional<std::int32_t> program_address(const Pic14Chip& chip,
                                                                     std::int32_t pc);
    static void begin_write(Pic14Chip& chip, WriteCycle kind, bool is_begin_erase_programming);
    void begin_erase_only(Pic14Chip& chip) const;
    static void begin_armed_erase(Pic14Chip& chip);
    static void write_block(Pic14Chip& chip, std::int32_t pc,
                            const std::vector<std::uint16_t>& latches, bool erase_first);
    static void write_config(Pic14Chip& chip, std::int32_t pc, std::uint16_t value,
                             bool erase_first);
    static void bulk_erase_program(Pic14Chip& chip, std::int32_t pc);
    static void setup_erase(Pic14Chip& chip, std::int32_t pc, bool setup_data);
    static void erase_config_words(Pic14Chip& chip);
    static void erase_user_ids(Pic14Chip& chip);
};

const ChipDecoder& classic_decoder() {
    static const ClassicDecoder decoder;
    return decoder;
}

std::optional<std::int32_t> ClassicDecoder::program_address(const Pic14Chip& chip,
                                                            std::int32_t pc) {
    if (chip.flash_.empty()) {
        return std::nullopt;
    }
    if (pc < kConfigSpaceFirst) {
        return pc % chip.flash_size();
    }
    // Where configuration space is smaller than its half of the address range, the
    // locations above it are program memory: PC 2010h reaches word 0010h (the address
    // bits above the memory size are not decoded).
    const std::int32_t top = chip.rules().config_space_top;
    if (top != 0 && pc > top) {
        return (pc & (kPcSpan - 1)) % chip.flash_size();
    }
    return std::nullopt;
}

// --- Commands -------------------------------------------------------------------------

void ClassicDecoder::decode(Pic14Chip& chip, std::uint8_t code, std::uint8_t previous) const {
    using namespace chip_command;
    const FamilyRules& family = chip.rules();
    switch (code) {
        case kBeginEraseProgramming:
            if (family.begin_08_erases_only) {
                begin_erase_only(chip);
            } else if (chip.armed_setup_erase_ || chip.armed_program_erase_ ||
                       chip.armed_data_erase_) {
                begin_armed_erase(chip);
            } else {
                begin_write(chip, family.begin_08, true);
            }
            break;
        case kBeginProgrammingOnly:
            begin_write(chip, family.begin_18, false);
            break;
        case kBulkEraseProgram:
        case kBulkEraseData: {
            const bool program = code == kBulkEraseProgram;
            if (family.bulk_erase_needs_begin) {
                (program ? chip.armed_program_erase_ : chip.armed_data_erase_) = true;
            } else {
                auto work = [program, pc = chip.pc_](Pic14Chip& c) {
                    if (program) {
                        bulk_erase_program(c, pc);
                    } else {
                        c.erase_data_memory();
                    }
                };
                chip.start_cycle(std::move(work), family.bulk_erase_us);
            }
            break;
        }
        case kChipErase:
            chip.start_cycle([](Pic14Chip& c) { c.erase_everything(); }, family.chip_erase_us);
            break;
        case kBulkEraseSetup2:
            if (previous == kBulkEraseSetup1) {
                // 01, 07 after a set-up erase close it; otherwise they arm the next one.
                chip.armed_setup_erase_ = !chip.setup_erase_open_;
                chip.setup_erase_open_ = false;
            }
            break;
        default:  // end programming (0A, 0E, 17), set-up 1: the cycle was settled already
            break;
    }
}

void ClassicDecoder::begin_armed_erase(Pic14Chip& chip) {
    // The armed erases run in this cycle; nothing is programmed.
    const FamilyRules& family = chip.rules();
    const bool setup = chip.armed_setup_erase_;
    const bool program = chip.armed_program_erase_;
    const bool data = chip.armed_data_erase_;
    const bool setup_data = chip.target_ == LoadTarget::Data;
    auto work = [setup, program, data, setup_data, pc = chip.pc_](Pic14Chip& c) {
        if (setup) {
            setup_erase(c, pc, setup_data);
        }
        if (program) {
            bulk_erase_program(c, pc);
        }
        if (data) {
            c.erase_data_memory();
        }
    };
    const std::uint32_t time = setup ? family.setup_erase_us : family.bulk_erase_us;
    chip.setup_erase_open_ = setup;
    chip.armed_setup_erase_ = chip.armed_program_erase_ = chip.armed_data_erase_ = false;
    chip.reset_latches();
    chip.start_cycle(std::move(work), time);
}

void ClassicDecoder::begin_erase_only(Pic14Chip& chip) const {
    // Begin Erase: the data byte after a data load, otherwise the row of program
    // memory at the counter. In configuration space it erases nothing, and it
    // never writes what was loaded.
    const FamilyRules& family = chip.rules();
    Pic14Chip::CycleWork work;
    const bool needs_end = family.external_08;
    const std::int32_t pc = chip.pc_;
    if (chip.target_ == LoadTarget::Data) {
        work = [pc](Pic14Chip& c) {
            if (!c.eeprom_.empty()) {
                c.eeprom_[static_cast<std::size_t>(pc % c.eeprom_size())] = 0xFF;
            }
        };
    } else if (program_address(chip, pc)) {
        work = [this, pc](Pic14Chip& c) { row_erase(c, pc); };
    }
    chip.target_ = LoadTarget::None;
    chip.start_cycle(std::move(work), family.row_erase_us, needs_end);
}

void ClassicDecoder::begin_write(Pic14Chip& chip, WriteCycle kind,
                                 bool is_begin_erase_programming) {
    if (kind == WriteCycle::None) {
        return;
    }
    const FamilyRules& family = chip.rules();
    const bool erase_first = kind == WriteCycle::EraseProgram;
    const std::int32_t pc = chip.pc_;
    Pic14Chip::CycleWork work;
    const bool needs_end = is_begin_erase_programming ? family.external_08 : family.external_18;
    std::uint32_t time = is_begin_erase_programming ? family.program_us : family.program_only_us;
    switch (chip.target_) {
        case LoadTarget::None:
            return;
        case LoadTarget::Data: {
            if (chip.eeprom_.empty()) {
                return;
            }
            // Data EEPROM cells erase themselves byte by byte before every write.
            const auto value = static_cast<std::uint8_t>(chip.data_latch_);
            work = [pc, value](Pic14Chip& c) {
                c.eeprom_[static_cast<std::size_t>(pc % c.eeprom_size())] = value;
            };
            if (is_begin_erase_programming) {
                time = family.data_us;
            }
            chip.data_latch_ = 0xFF;
            break;
        }
        case LoadTarget::Program:
            if (program_address(chip, pc)) {
                work = [pc, erase_first, latches = chip.latches_](Pic14Chip& c) {
                    write_block(c, pc, latches, erase_first);
                };
                chip.reset_program_latches();
            } else {
                // Configuration space is written one word at a time, and writing it
                // leaves the program memory latches as they were.
                work = [pc, erase_first, value = chip.config_latch_](Pic14Chip& c) {
                    write_config(c, pc, value, erase_first);
                };
                chip.config_latch_ = kBlankFlashWord;
                if (is_begin_erase_programming) {
                    time = family.config_us;
                }
            }
            break;
    }
    chip.target_ = LoadTarget::None;
    chip.start_cycle(std::move(work), time, needs_end);
}

void ClassicDecoder::latch_program_word(Pic14Chip& chip, std::uint16_t word) const {
    if (const auto address = program_address(chip, chip.pc_)) {
        // A load goes to the latch of its address within the block.
        const auto count = static_cast<std::int32_t>(chip.latches_.size());
        chip.latches_[static_cast<std::size_t>(*address % count)] = word;
    } else if (chip.pc_ >= kConfigSpaceFirst) {
        chip.config_latch_ = word;
    }
    // Otherwise there is no program memory (an empty socket): nothing to latch.
}

std::uint16_t ClassicDecoder::read_program_word(const Pic14Chip& chip) const {
    const auto address = program_address(chip, chip.pc_);
    if (!address) {
        return chip.pc_ >= kConfigSpaceFirst ? config_space(chip, chip.pc_) : 0;
    }
    // A protected chip reads 0 for program memory; the OSCCAL word stays
    // readable so that a programmer can save it before the erase.
    const bool osccal = chip.rules().osccal_and_bandgap && *address == chip.flash_size() - 1;
    if (chip.program_protected() && !osccal) {
        return 0;
    }
    return chip.flash_[static_cast<std::size_t>(*address)];
}

// --- What the cycles do ------------------------------------------------------------

void ClassicDecoder::write_block(Pic14Chip& chip, std::int32_t pc,
                                 const std::vector<std::uint16_t>& latches, bool erase_first) {
    const auto address = program_address(chip, pc);
    if (!address || latches.empty()) {
        return;
    }
    // The block aligned on the latch count that holds the address counter. FLASH
    // cells only lose bits when programmed; an erase brings them back to 1.
    const auto count = static_cast<std::int32_t>(latches.size());
    const std::int32_t base = *address - *address % count;
    for (std::int32_t i = 0; i < count; ++i) {
        auto& cell = chip.flash_[static_cast<std::size_t>((base + i) % chip.flash_size())];
        const std::uint16_t latch = latches[static_cast<std::size_t>(i)];
        cell = erase_first ? latch : static_cast<std::uint16_t>(cell & latch);
    }
}

void ClassicDecoder::write_config(Pic14Chip& chip, std::int32_t pc, std::uint16_t value,
                                  bool erase_first) {
    // The reserved words and the device ID belong to the factory; the calibration
    // words can be written back.
    const std::int32_t a = pc;
    const bool writable = (a >= kConfigSpaceFirst && a <= kUserIdLastAddress) ||
                          a == kConfig1Location || a == kConfig2Location ||
                          chip.is_calibration_word(a);
    if (!writable) {
        return;
    }
    const std::uint16_t stored = chip.config_[a - kConfigSpaceFirst];
    chip.set_config_space(a, erase_first ? value : static_cast<std::uint16_t>(value & stored));
}

void ClassicDecoder::erase_config_words(Pic14Chip& chip) {
    chip.config_[kConfig1Location - kConfigSpaceFirst] = chip.info_.config1_mask;
    if (!chip.is_calibration_word(kConfig2Location)) {
        chip.config_[kConfig2Location - kConfigSpaceFirst] = chip.info_.config2_mask;
    }
}

void ClassicDecoder::erase_user_ids(Pic14Chip& chip) {
    for (std::int32_t a = kConfigSpaceFirst; a <= kUserIdLastAddress; ++a) {
        chip.config_[a - kConfigSpaceFirst] = kBlankFlashWord;
    }
}

void ClassicDecoder::bulk_erase_program(Pic14Chip& chip, std::int32_t pc) {
    const FamilyRules& family = chip.rules();
    const bool data_was_protected = chip.data_protected();
    // All of program memory, the OSCCAL word of the 12F629 family included.
    std::fill(chip.flash_.begin(), chip.flash_.end(), kBlankFlashWord);
    const bool in_config = pc >= kConfigSpaceFirst;
    if (family.bulk_reach == BulkEraseReach::ConfigAlways) {
        erase_config_words(chip);  // the 12F629 family's band-gap bits go back to 11b
        if (in_config && pc <= kIdEraseLast) {
            erase_user_ids(chip);
        }
    } else if (in_config) {
        erase_user_ids(chip);
        erase_config_words(chip);
    }
    for (const std::int32_t address : chip.info_.calibration_words) {
        const bool reached = family.calibration_erase == CalibrationErase::AllPast2008
                                 ? pc > kConfig2Location
                                 : pc >= address;
        if (in_config && reached) {
            chip.config_[address - kConfigSpaceFirst] = kBlankFlashWord;
        }
    }
    if (family.bulk_erase_clears_protected_data && data_was_protected) {
        chip.erase_data_memory();
    }
}

void ClassicDecoder::setup_erase(Pic14Chip& chip, std::int32_t pc, bool setup_data) {
    if (pc >= kConfigSpaceFirst) {
        // From configuration space (2007h) the set-up erase clears everything, code
        // protection included.
        chip.erase_everything();
    } else if (setup_data) {
        chip.erase_data_memory();
    } else {
        std::fill(chip.flash_.begin(), chip.flash_.end(), kBlankFlashWord);
    }
}

void ClassicDecoder::row_erase(Pic14Chip& chip, std::int32_t pc) const {
    const FamilyRules& family = chip.rules();
    if (family.row_erase_ignored_when_protected && chip.program_protected()) {
        return;
    }
    if (pc >= kConfigSpaceFirst) {
        if (pc <= kRowEraseIdLast) {
            erase_user_ids(chip);
        }
        return;
    }
    const auto address = program_address(chip, pc);
    if (!address || family.row_words <= 0) {
        return;
    }
    const std::int32_t base = *address - *address % family.row_words;
    for (std::int32_t i = base; i < base + family.row_words && i < chip.flash_size(); ++i) {
        chip.flash_[static_cast<std::size_t>(i)] = kBlankFlashWord;
    }
}

// --- The address map ------------------------------------------------------------------

std::uint16_t ClassicDecoder::config_space(const Pic14Chip& chip, std::int32_t address) const {
    const auto shown = [&chip](std::uint16_t stored, std::uint16_t mask) {
        return static_cast<std::uint16_t>(
            (stored & mask) | (chip.info_.unimplemented_config_bits & ~mask & kBlankFlashWord));
    };
    if (address < kConfigSpaceFirst || address > kConfigSpaceLast) {
        return 0;
    }
    const std::uint16_t stored = chip.config_[address - kConfigSpaceFirst];
    if (chip.is_calibration_word(address)) {
        return stored;
    }
    switch (address) {
        case kDeviceIdLocation:
            return chip.device_id_word();
        case kConfig1Location:
            return shown(stored, chip.info_.config1_mask);
        case kConfig2Location:
            return chip.info_.config2_mask == 0 ? 0 : shown(stored, chip.info_.config2_mask);
        default:
            return address > kConfig2Location ? 0 : stored;
    }
}

void ClassicDecoder::set_config_space(Pic14Chip& chip, std::int32_t address,
                                      std::uint16_t value) const {
    if (address < kConfigSpaceFirst || address > kConfigSpaceLast || address == kDeviceIdLocation) {
        return;
    }
    std::uint16_t& stored = chip.config_[address - kConfigSpaceFirst];
    if (chip.is_calibration_word(address)) {
        stored = static_cast<std::uint16_t>(value & kBlankFlashWord);
        return;
    }
    switch (address) {
        case kConfig1Location:
            stored = static_cast<std::uint16_t>(value & chip.info_.config1_mask);
            break;
        case kConfig2Location:
            stored = static_cast<std::uint16_t>(value & chip.info_.config2_mask);
            break;
        default:
            if (address < kConfig2Location) {
                stored = static_cast<std::uint16_t>(value & kBlankFlashWord);
            }
            break;
    }
}

}  // namespace corvanel
