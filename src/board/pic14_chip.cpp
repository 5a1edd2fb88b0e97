// SPDX-License-Identifier: GPL-3.0-or-later
#include "board/pic14_chip.h"

#include <algorithm>
#include <random>

#include "core/text/ascii_text.h"

namespace corvanel {

namespace {

constexpr std::uint16_t kWordMask = 0x3FFF;
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

// Oscillator calibration: a RETLW k instruction (34xxh) at the last program word.
constexpr std::uint16_t kRetlw = 0x3400;
// Band-gap calibration bits 13:12 of configuration word 1.
constexpr std::uint16_t kBandGapBits = 0x3000;

}  // namespace

const std::vector<ChipInfo>& known_chips() {
    static const std::vector<ChipInfo> table = make_chip_table();
    return table;
}

std::vector<std::string> known_chip_names() {
    std::vector<std::string> names;
    for (const ChipInfo& info : known_chips()) {
        names.push_back(info.name);
    }
    return names;
}

std::optional<ChipInfo> find_chip(std::string_view name) {
    std::string wanted = upper_copy(name);
    if (wanted == kEmptySocketName) {
        ChipInfo empty;
        empty.name = std::string(kEmptySocketName);
        empty.empty_socket = true;
        return empty;
    }
    if (wanted.rfind("PIC", 0) != 0) {
        wanted = "PIC" + wanted;
    }
    for (const ChipInfo& info : known_chips()) {
        if (info.name == wanted) {
            return info;
        }
    }
    return std::nullopt;
}

Pic14Chip::Pic14Chip(ChipInfo info, std::optional<std::uint32_t> seed)
    : info_(std::move(info)),
      flash_(static_cast<std::size_t>(std::max(info_.flash_words, 0)), kWordMask),
      eeprom_(static_cast<std::size_t>(std::max(info_.eeprom_bytes, 0)), 0xFF),
      latches_(static_cast<std::size_t>(std::max(info_.latches, 1)), kWordMask) {
    if (!info_.empty_socket && rules().enhanced) {
        enhanced_config_.assign(kEnhancedConfigWords, kWordMask);
        enhanced_calibration_.assign(info_.calibration_words.size(), kWordMask);
        if (info_.revision_word) {
            set_revision(0);
        }
    }
    erase_everything();
    std::fill(std::begin(config_) + (kReservedFirst - kConfigSpaceFirst),
              std::begin(config_) + (kReservedLast + 1 - kConfigSpaceFirst), kWordMask);
    factory_calibration(seed ? *seed : std::random_device{}());
}

std::optional<Pic14Chip> Pic14Chip::create(std::string_view name,
                                           std::optional<std::uint32_t> seed) {
    auto info = find_chip(name);
    if (!info) {
        return std::nullopt;
    }
    return Pic14Chip(std::move(*info), seed);
}

void Pic14Chip::factory_calibration(std::uint32_t seed) {
    if (info_.empty_socket) {
        return;
    }
    std::mt19937 random(seed);
    if (rules().osccal_and_bandgap && !flash_.empty()) {
        flash_.back() = static_cast<std::uint16_t>(kRetlw | (random() & 0xFF));
        // 00b, 01b or 10b: an erased chip reads 11b, a calibrated one never does.
        const auto band_gap = static_cast<std::uint16_t>((random() % 3) << 12);
        std::uint16_t& config1 = config_[kConfig1Location - kConfigSpaceFirst];
        config1 = static_cast<std::uint16_t>((config1 & ~kBandGapBits) | band_gap);
    }
    for (const std::int32_t address : info_.calibration_words) {
        auto word = static_cast<std::uint16_t>(random() & kWordMask);
        if (word == kWordMask) {
            word = 0x3FFE;  // an erased word is never a calibration value
        }
        if (std::uint16_t* cell = calibration_cell(address)) {
            *cell = word;
        } else {
            config_[address - kConfigSpaceFirst] = word;
        }
    }
}

bool Pic14Chip::is_calibration_word(std::int32_t address) const {
    const auto& words = info_.calibration_words;
    return std::find(words.begin(), words.end(), address) != words.end();
}

bool Pic14Chip::supports(std::uint8_t code) const {
    return code < 64 && ((rules().commands >> code) & 1U) != 0;
}

std::optional<std::int32_t> Pic14Chip::program_address(std::int32_t pc) const {
    if (flash_.empty()) {
        return std::nullopt;
    }
    if (pc < kConfigSpaceFirst) {
        return pc % flash_size();
    }
    // Where configuration space is smaller than its half of the address range, the
    // locations above it are program memory: PC 2010h reaches word 0010h (the address
    // bits above the memory size are not decoded).
    const std::int32_t top = rules().config_space_top;
    if (top != 0 && pc > top) {
        return (pc & (kPcSpan - 1)) % flash_size();
    }
    return std::nullopt;
}

// --- Latches, power and programming mode ---------------------------------------------

void Pic14Chip::reset_program_latches() {
    std::fill(latches_.begin(), latches_.end(), kWordMask);
}

void Pic14Chip::reset_latches() {
    reset_program_latches();
    config_latch_ = kWordMask;
    data_latch_ = 0xFF;
    target_ = LoadTarget::None;
}

void Pic14Chip::power_on(VoltageSequence order) {
    leave_programming_mode();
    powered_ = true;
    programming_mode_ = !(info_.needs_vpp_first && order == VoltageSequence::VddFirst);
}

void Pic14Chip::power_off() {
    leave_programming_mode();
    powered_ = false;
}

void Pic14Chip::leave_programming_mode() {
    // A cycle whose time is not up when the voltages drop is lost.
    settle();
    programming_mode_ = false;
    awaiting_key_ = false;
    low_voltage_mode_ = false;
    pending_pc_load_ = false;
    pc_ = 0;
    reset_latches();
    pending_load_.reset();
    pending_read_ = PendingRead::None;
    armed_program_erase_ = false;
    armed_data_erase_ = false;
    armed_setup_erase_ = false;
    setup_erase_open_ = false;
    last_command_ = 0xFF;
}

// --- Time -----------------------------------------------------------------------------

void Pic14Chip::advance_time(std::uint64_t microseconds) {
    clock_us_ += microseconds;
    if (cycle_ && !cycle_->needs_end && clock_us_ >= cycle_->ends_at) {
        const Cycle done = std::move(*cycle_);
        cycle_.reset();
        finish(done);
    }
}

void Pic14Chip::start_cycle(Cycle cycle, std::uint32_t duration_us) {
    cycle.ends_at = clock_us_ + duration_us;
    if (duration_us == 0) {
        finish(cycle);
        return;
    }
    cycle_ = std::move(cycle);
}

// Something reached the pins: a cycle whose time is up has done its work; one that
// is still running is cut short and its work is lost. An externally timed cycle
// has done its work only when its end command comes after its time.
void Pic14Chip::settle(bool ending) {
    if (!cycle_) {
        return;
    }
    const Cycle cycle = std::move(*cycle_);
    cycle_.reset();
    if (clock_us_ >= cycle.ends_at && (!cycle.needs_end || ending)) {
        finish(cycle);
    }
}

void Pic14Chip::finish(const Cycle& cycle) {
    if (cycle.erase_chip) {
        std::fill(flash_.begin(), flash_.end(), kWordMask);
        erase_data_memory();
        erase_user_ids();
        erase_config_words();
    }
    if (cycle.erase_setup) {
        setup_erase(cycle);
    }
    if (cycle.erase_program) {
        bulk_erase_program(cycle.pc);
    }
    if (cycle.erase_data) {
        erase_data_memory();
    }
    if (cycle.erase_row) {
        row_erase(cycle.pc);
    }
    if (cycle.erase_data_byte && !eeprom_.empty()) {
        eeprom_[static_cast<std::size_t>(cycle.pc % eeprom_size())] = 0xFF;
    }
    if (cycle.action) {
        cycle.action(*this);
    }
    switch (cycle.write) {
        case LoadTarget::None:
            break;
        case LoadTarget::Data:
            // Data EEPROM cells erase themselves byte by byte before every write.
            if (!eeprom_.empty()) {
                eeprom_[static_cast<std::size_t>(cycle.pc % eeprom_size())] =
                    static_cast<std::uint8_t>(cycle.value);
            }
            break;
        case LoadTarget::Program:
            if (cycle.config) {
                write_config(cycle);
            } else {
                write_block(cycle);
            }
            break;
    }
}

// --- Commands -------------------------------------------------------------------------

void Pic14Chip::command(std::uint8_t code) {
    using namespace chip_command;
    code &= 0x3F;
    if (!programming_mode_) {
        return;
    }
    if (rules().enhanced && !info_.empty_socket) {
        enhanced_command(code);
        return;
    }
    const FamilyRules& family = rules();
    settle(family.end_command != 0 && code == family.end_command && supports(code));
    // A load whose data frame never came is abandoned by the next command.
    pending_load_.reset();
    pending_read_ = PendingRead::None;
    const std::uint8_t previous = last_command_;
    last_command_ = code;
    if (!supports(code)) {
        return;
    }
    switch (code) {
        case kLoadConfiguration:
            pc_ = kConfigSpaceFirst;
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
            if (pc_ < kConfigSpaceFirst) {
                pc_ = (pc_ + 1) % kPcSpan;
            } else {
                pc_ = kConfigSpaceFirst + (pc_ - kConfigSpaceFirst + 1) % kPcSpan;
            }
            break;
        case kResetAddress:
            pc_ = 0;
            break;
        case kBeginEraseProgramming:
            if (family.begin_08_erases_only) {
                begin_erase_only();
            } else if (armed_setup_erase_ || armed_program_erase_ || armed_data_erase_) {
                // The armed erases run in this cycle; nothing is programmed.
                Cycle cycle;
                cycle.pc = pc_;
                cycle.erase_setup = armed_setup_erase_;
                cycle.setup_data = target_ == LoadTarget::Data;
                cycle.erase_program = armed_program_erase_;
                cycle.erase_data = armed_data_erase_;
                const std::uint32_t time =
                    armed_setup_erase_ ? family.setup_erase_us : family.bulk_erase_us;
                setup_erase_open_ = armed_setup_erase_;
                armed_setup_erase_ = armed_program_erase_ = armed_data_erase_ = false;
                reset_latches();
                start_cycle(std::move(cycle), time);
            } else {
                begin_write(family.begin_08, true);
            }
            break;
        case kBeginProgrammingOnly:
            begin_write(family.begin_18, false);
            break;
        case kBulkEraseProgram:
        case kBulkEraseData: {
            const bool program = code == kBulkEraseProgram;
            if (family.bulk_erase_needs_begin) {
                (program ? armed_program_erase_ : armed_data_erase_) = true;
            } else {
                Cycle cycle;
                cycle.pc = pc_;
                (program ? cycle.erase_program : cycle.erase_data) = true;
                start_cycle(std::move(cycle), family.bulk_erase_us);
            }
            break;
        }
        case kChipErase: {
            Cycle cycle;
            cycle.pc = pc_;
            cycle.erase_chip = true;
            start_cycle(std::move(cycle), family.chip_erase_us);
            break;
        }
        case kRowErase: {
            Cycle cycle;
            cycle.pc = pc_;
            cycle.erase_row = true;
            start_cycle(std::move(cycle), family.row_erase_us);
            break;
        }
        case kBulkEraseSetup2:
            if (previous == kBulkEraseSetup1) {
                // 01, 07 after a set-up erase close it; otherwise they arm the next one.
                armed_setup_erase_ = !setup_erase_open_;
                setup_erase_open_ = false;
            }
            break;
        default:  // end programming (0A, 0E, 17), set-up 1: the cycle was settled above
            break;
    }
}

void Pic14Chip::begin_erase_only() {
    // Begin Erase: the data byte after a data load, otherwise the row of program
    // memory at the counter. In configuration space it erases nothing, and it
    // never writes what was loaded.
    const FamilyRules& family = rules();
    Cycle cycle;
    cycle.pc = pc_;
    cycle.needs_end = family.external_08;
    if (target_ == LoadTarget::Data) {
        cycle.erase_data_byte = true;
    } else if (program_address(pc_)) {
        cycle.erase_row = true;
    }
    target_ = LoadTarget::None;
    start_cycle(std::move(cycle), family.row_erase_us);
}

void Pic14Chip::begin_write(WriteCycle kind, bool is_begin_erase_programming) {
    if (kind == WriteCycle::None) {
        return;
    }
    const FamilyRules& family = rules();
    Cycle cycle;
    cycle.pc = pc_;
    cycle.erase_first = kind == WriteCycle::EraseProgram;
    cycle.needs_end = is_begin_erase_programming ? family.external_08 : family.external_18;
    std::uint32_t time = is_begin_erase_programming ? family.program_us : family.program_only_us;
    switch (target_) {
        case LoadTarget::None:
            return;
        case LoadTarget::Data:
            if (eeprom_.empty()) {
                return;
            }
            cycle.write = LoadTarget::Data;
            cycle.value = data_latch_;
            if (is_begin_erase_programming) {
                time = family.data_us;
            }
            data_latch_ = 0xFF;
            break;
        case LoadTarget::Program:
            cycle.write = LoadTarget::Program;
            if (program_address(pc_)) {
                cycle.latches = latches_;
                reset_program_latches();
            } else {
                // Configuration space is written one word at a time, and writing it
                // leaves the program memory latches as they were.
                cycle.config = true;
                cycle.value = config_latch_;
                config_latch_ = kWordMask;
                if (is_begin_erase_programming) {
                    time = family.config_us;
                }
            }
            break;
    }
    target_ = LoadTarget::None;
    start_cycle(std::move(cycle), time);
}

void Pic14Chip::data_frame(std::uint16_t value) {
    if (!programming_mode_) {
        return;
    }
    settle();
    if (!pending_load_) {
        return;
    }
    if (rules().enhanced && !info_.empty_socket) {
        enhanced_data_frame(value);
        return;
    }
    const auto word = static_cast<std::uint16_t>(value & kWordMask);
    if (*pending_load_ == LoadTarget::Data) {
        data_latch_ = static_cast<std::uint16_t>(word & 0xFF);
    } else if (const auto address = program_address(pc_)) {
        // A load goes to the latch of its address within the block.
        latches_[static_cast<std::size_t>(*address % static_cast<std::int32_t>(latches_.size()))] =
            word;
    } else if (pc_ < kConfigSpaceFirst) {
        // No program memory (an empty socket): nothing to latch.
    } else {
        config_latch_ = word;
    }
    target_ = *pending_load_;
    pending_load_.reset();
}

std::uint16_t Pic14Chip::read_frame() {
    const PendingRead read = pending_read_;
    pending_read_ = PendingRead::None;
    if (info_.empty_socket) {
        return kWordMask;  // nothing drives the pulled-up data line
    }
    if (!programming_mode_) {
        return 0;
    }
    if (rules().enhanced) {
        return enhanced_read_frame(read);
    }
    switch (read) {
        case PendingRead::Program: {
            const auto address = program_address(pc_);
            if (!address) {
                return pc_ >= kConfigSpaceFirst ? config_space(pc_) : 0;
            }
            // A protected chip reads 0 for program memory; the OSCCAL word stays
            // readable so that a programmer can save it before the erase.
            const bool osccal = rules().osccal_and_bandgap && *address == flash_size() - 1;
            if (program_protected() && !osccal) {
                return 0;
            }
            return flash_[static_cast<std::size_t>(*address)];
        }
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

// --- What the cycles do ------------------------------------------------------------

void Pic14Chip::write_block(const Cycle& cycle) {
    const auto address = program_address(cycle.pc);
    if (!address || cycle.latches.empty()) {
        return;
    }
    // The block aligned on the latch count that holds the address counter. FLASH
    // cells only lose bits when programmed; an erase brings them back to 1.
    const auto count = static_cast<std::int32_t>(cycle.latches.size());
    const std::int32_t base = *address - *address % count;
    for (std::int32_t i = 0; i < count; ++i) {
        auto& cell = flash_[static_cast<std::size_t>((base + i) % flash_size())];
        const std::uint16_t latch = cycle.latches[static_cast<std::size_t>(i)];
        cell = cycle.erase_first ? latch : static_cast<std::uint16_t>(cell & latch);
    }
}

void Pic14Chip::write_config(const Cycle& cycle) {
    // The reserved words and the device ID belong to the factory; the calibration
    // words can be written back.
    const std::int32_t a = cycle.pc;
    const bool writable = (a >= kConfigSpaceFirst && a <= kUserIdLastAddress) ||
                          a == kConfig1Location || a == kConfig2Location || is_calibration_word(a);
    if (!writable) {
        return;
    }
    const std::uint16_t stored = config_[a - kConfigSpaceFirst];
    const auto value =
        cycle.erase_first ? cycle.value : static_cast<std::uint16_t>(cycle.value & stored);
    set_config_space(a, value);
}

void Pic14Chip::erase_config_words() {
    config_[kConfig1Location - kConfigSpaceFirst] = info_.config1_mask;
    if (!is_calibration_word(kConfig2Location)) {
        config_[kConfig2Location - kConfigSpaceFirst] = info_.config2_mask;
    }
}

void Pic14Chip::erase_user_ids() {
    for (std::int32_t a = kConfigSpaceFirst; a <= kUserIdLastAddress; ++a) {
        config_[a - kConfigSpaceFirst] = kWordMask;
    }
}

void Pic14Chip::erase_data_memory() {
    std::fill(eeprom_.begin(), eeprom_.end(), 0xFF);
}

void Pic14Chip::bulk_erase_program(std::int32_t pc) {
    const FamilyRules& family = rules();
    const bool data_was_protected = data_protected();
    // All of program memory, the OSCCAL word of the 12F629 family included.
    std::fill(flash_.begin(), flash_.end(), kWordMask);
    const bool in_config = pc >= kConfigSpaceFirst;
    if (family.bulk_reach == BulkEraseReach::ConfigAlways) {
        erase_config_words();  // the 12F629 family's band-gap bits go back to 11b
        if (in_config && pc <= kIdEraseLast) {
            erase_user_ids();
        }
    } else if (in_config) {
        erase_user_ids();
        erase_config_words();
    }
    for (const std::int32_t address : info_.calibration_words) {
        const bool reached = family.calibration_erase == CalibrationErase::AllPast2008
                                 ? pc > kConfig2Location
                                 : pc >= address;
        if (in_config && reached) {
            config_[address - kConfigSpaceFirst] = kWordMask;
        }
    }
    if (family.bulk_erase_clears_protected_data && data_was_protected) {
        erase_data_memory();
    }
}

void Pic14Chip::setup_erase(const Cycle& cycle) {
    if (cycle.pc >= kConfigSpaceFirst) {
        // From configuration space (2007h) the set-up erase clears everything, code
        // protection included.
        std::fill(flash_.begin(), flash_.end(), kWordMask);
        erase_data_memory();
        erase_user_ids();
        erase_config_words();
    } else if (cycle.setup_data) {
        erase_data_memory();
    } else {
        std::fill(flash_.begin(), flash_.end(), kWordMask);
    }
}

void Pic14Chip::row_erase(std::int32_t pc) {
    const FamilyRules& family = rules();
    if (family.row_erase_ignored_when_protected && program_protected()) {
        return;
    }
    if (pc >= kConfigSpaceFirst) {
        if (pc <= kRowEraseIdLast) {
            erase_user_ids();
        }
        return;
    }
    const auto address = program_address(pc);
    if (!address || family.row_words <= 0) {
        return;
    }
    const std::int32_t base = *address - *address % family.row_words;
    for (std::int32_t i = base; i < base + family.row_words && i < flash_size(); ++i) {
        flash_[static_cast<std::size_t>(i)] = kWordMask;
    }
}

void Pic14Chip::erase_everything() {
    if (rules().enhanced && !info_.empty_socket) {
        enhanced_erase_everything();
        return;
    }
    // As a bulk erase of the 12F629 family, this also loses its OSCCAL word and
    // band-gap bits; the calibration words in configuration space stay.
    std::fill(flash_.begin(), flash_.end(), kWordMask);
    erase_data_memory();
    erase_user_ids();
    erase_config_words();
}

// --- The memories ---------------------------------------------------------------------

std::uint16_t Pic14Chip::flash(std::int32_t address) const {
    if (address < 0 || address >= flash_size()) {
        return kWordMask;
    }
    return flash_[static_cast<std::size_t>(address)];
}

void Pic14Chip::set_flash(std::int32_t address, std::uint16_t value) {
    if (address >= 0 && address < flash_size()) {
        flash_[static_cast<std::size_t>(address)] = static_cast<std::uint16_t>(value & kWordMask);
    }
}

std::uint8_t Pic14Chip::eeprom(std::int32_t index) const {
    if (index < 0 || index >= eeprom_size()) {
        return 0xFF;
    }
    return eeprom_[static_cast<std::size_t>(index)];
}

void Pic14Chip::set_eeprom(std::int32_t index, std::uint8_t value) {
    if (index >= 0 && index < eeprom_size()) {
        eeprom_[static_cast<std::size_t>(index)] = value;
    }
}

bool Pic14Chip::program_protected() const {
    if (rules().enhanced && !info_.empty_socket) {
        return enhanced_protected(rules().cp_bits);
    }
    const std::uint16_t bits = rules().cp_bits;
    return !info_.empty_socket && bits != 0 &&
           (config_[kConfig1Location - kConfigSpaceFirst] & bits) != bits;
}

bool Pic14Chip::data_protected() const {
    if (rules().enhanced && !info_.empty_socket) {
        return !eeprom_.empty() && enhanced_protected(rules().cpd_bits);
    }
    const std::uint16_t bits = rules().cpd_bits;
    return !info_.empty_socket && bits != 0 &&
           (config_[kConfig1Location - kConfigSpaceFirst] & bits) != bits;
}

std::uint16_t Pic14Chip::device_id_word() const {
    if (info_.revision_bits <= 0) {
        return 0;  // the part has no device ID
    }
    if (info_.revision_word) {
        return static_cast<std::uint16_t>(info_.device_id & kWordMask);
    }
    const auto revision_mask = static_cast<std::uint16_t>((1U << info_.revision_bits) - 1);
    return static_cast<std::uint16_t>((info_.device_id & ~revision_mask & kWordMask) |
                                      (revision_ & revision_mask));
}

void Pic14Chip::set_revision(std::uint8_t revision) {
    revision_ = static_cast<std::uint8_t>(revision & 0x1F);
    if (info_.revision_word) {
        // The revision word's bits 13:12 read 10b.
        set_revision_word(static_cast<std::uint16_t>(0x2000 | revision));
    }
}

std::uint16_t Pic14Chip::config_word(int number) const {
    if (rules().enhanced && !info_.empty_socket) {
        return number >= 1 && number <= config_word_count()
                   ? enhanced_config_space(kEnhancedDeviceId + number)
                   : 0;
    }
    return config_space(number == 2 ? kConfig2Location : kConfig1Location);
}

std::uint16_t Pic14Chip::config_space(std::int32_t address) const {
    if (rules().enhanced && !info_.empty_socket) {
        return enhanced_config_space(address);
    }
    const auto shown = [this](std::uint16_t stored, std::uint16_t mask) {
        return static_cast<std::uint16_t>((stored & mask) |
                                          (info_.unimplemented_config_bits & ~mask & kWordMask));
    };
    if (address < kConfigSpaceFirst || address > kConfigSpaceLast) {
        return 0;
    }
    const std::uint16_t stored = config_[address - kConfigSpaceFirst];
    if (is_calibration_word(address)) {
        return stored;
    }
    switch (address) {
        case kDeviceIdLocation:
            return device_id_word();
        case kConfig1Location:
            return shown(stored, info_.config1_mask);
        case kConfig2Location:
            return info_.config2_mask == 0 ? 0 : shown(stored, info_.config2_mask);
        default:
            return address > kConfig2Location ? 0 : stored;
    }
}

void Pic14Chip::set_config_space(std::int32_t address, std::uint16_t value) {
    if (rules().enhanced && !info_.empty_socket) {
        enhanced_set_config_space(address, value);
        return;
    }
    if (address < kConfigSpaceFirst || address > kConfigSpaceLast || address == kDeviceIdLocation) {
        return;
    }
    std::uint16_t& stored = config_[address - kConfigSpaceFirst];
    if (is_calibration_word(address)) {
        stored = static_cast<std::uint16_t>(value & kWordMask);
        return;
    }
    switch (address) {
        case kConfig1Location:
            stored = static_cast<std::uint16_t>(value & info_.config1_mask);
            break;
        case kConfig2Location:
            stored = static_cast<std::uint16_t>(value & info_.config2_mask);
            break;
        default:
            if (address < kConfig2Location) {
                stored = static_cast<std::uint16_t>(value & kWordMask);
            }
            break;
    }
}

}  // namespace corvanel
