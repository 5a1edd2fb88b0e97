// SPDX-License-Identifier: GPL-3.0-or-later
#include "board/pic14_chip.h"

#include <algorithm>
#include <cstdio>
#include <random>

#include "board/chip_decoder.h"
#include "core/text/ascii_text.h"

namespace corvanel {

namespace {

// Configuration word 1 of the classic mid-range, which holds the band-gap bits.
constexpr std::int32_t kConfig1Location = 0x2007;

// Oscillator calibration: a RETLW k instruction (34xxh) at the last program word.
constexpr std::uint16_t kRetlw = 0x3400;
// Band-gap calibration bits 13:12 of configuration word 1.
constexpr std::uint16_t kBandGapBits = 0x3000;

std::string volts(double value) {
    char text[16];
    std::snprintf(text, sizeof text, "%.1f", value);
    return text;
}

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
      decoder_(&chip_decoder_for(info_)),
      flash_(static_cast<std::size_t>(std::max(info_.flash_words, 0)), kBlankFlashWord),
      eeprom_(static_cast<std::size_t>(std::max(info_.eeprom_bytes, 0)), 0xFF),
      latches_(static_cast<std::size_t>(std::max(info_.latches, 1)), kBlankFlashWord) {
    decoder_->prepare(*this);
    erase_everything();
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
        auto word = static_cast<std::uint16_t>(random() & kBlankFlashWord);
        if (word == kBlankFlashWord) {
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

std::uint16_t* Pic14Chip::calibration_cell(std::int32_t address) {
    // Only enhanced chips keep their calibration words apart, one cell per word.
    const auto& words = info_.calibration_words;
    for (std::size_t i = 0; i < words.size() && i < enhanced_calibration_.size(); ++i) {
        if (words[i] == address) {
            return &enhanced_calibration_[i];
        }
    }
    return nullptr;
}

void Pic14Chip::fault(std::string text) {
    faults_.push_back(std::move(text));
}

// --- Latches, power and programming mode ---------------------------------------------

void Pic14Chip::reset_program_latches() {
    std::fill(latches_.begin(), latches_.end(), kBlankFlashWord);
}

void Pic14Chip::reset_latches() {
    reset_program_latches();
    config_latch_ = kBlankFlashWord;
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
    increment_after_ = false;
    shift8_ = 0;
    shift8_bits_ = 0;
    payload_for_.reset();
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
        if (done.work) {
            done.work(*this);
        }
    }
}

void Pic14Chip::start_cycle(CycleWork work, std::uint32_t duration_us, bool needs_end) {
    if (duration_us == 0) {
        if (work) {
            work(*this);
        }
        return;
    }
    cycle_ = Cycle{clock_us_ + duration_us, needs_end, std::move(work)};
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
    if (clock_us_ >= cycle.ends_at && (!cycle.needs_end || ending) && cycle.work) {
        cycle.work(*this);
    }
}

// --- The pins -------------------------------------------------------------------------

void Pic14Chip::command(std::uint8_t code) {
    if (programming_mode_) {
        decoder_->command(*this, code);
    }
}

void Pic14Chip::data_frame(std::uint16_t value) {
    if (!programming_mode_) {
        return;
    }
    settle();
    if (pending_load_) {
        decoder_->data_frame(*this, value);
    }
}

std::uint16_t Pic14Chip::read_frame() {
    const PendingRead read = pending_read_;
    pending_read_ = PendingRead::None;
    if (info_.empty_socket) {
        return kBlankFlashWord;  // nothing drives the pulled-up data line
    }
    if (!programming_mode_) {
        return 0;
    }
    return decoder_->read_frame(*this, read);
}

void Pic14Chip::load_pc(std::uint32_t frame24) {
    if (programming_mode_) {
        decoder_->load_pc(*this, frame24);
    }
}

void Pic14Chip::command8(std::uint8_t code) {
    if (programming_mode_) {
        decoder_->command8(*this, code);
    }
}

void Pic14Chip::payload(std::uint32_t frame24) {
    if (programming_mode_) {
        decoder_->payload(*this, frame24);
    }
}

std::uint32_t Pic14Chip::read_payload() {
    const PendingRead read = pending_read_;
    pending_read_ = PendingRead::None;
    if (info_.empty_socket) {
        return 0xFFFFFF;  // nothing drives the pulled-up data line
    }
    return programming_mode_ ? decoder_->read_payload(*this, read) : 0;
}

void Pic14Chip::erase_data_memory() {
    std::fill(eeprom_.begin(), eeprom_.end(), 0xFF);
}

void Pic14Chip::erase_everything() {
    // As a bulk erase of the 12F629 family, this also loses its OSCCAL word and
    // band-gap bits; the calibration words stay.
    std::fill(flash_.begin(), flash_.end(), kBlankFlashWord);
    erase_data_memory();
    decoder_->erase_config_space(*this);
}

// --- The memories ---------------------------------------------------------------------

std::uint16_t Pic14Chip::flash(std::int32_t address) const {
    if (address < 0 || address >= flash_size()) {
        return kBlankFlashWord;
    }
    return flash_[static_cast<std::size_t>(address)];
}

void Pic14Chip::set_flash(std::int32_t address, std::uint16_t value) {
    if (address >= 0 && address < flash_size()) {
        flash_[static_cast<std::size_t>(address)] =
            static_cast<std::uint16_t>(value & kBlankFlashWord);
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
    return decoder_->protects(*this, rules().cp_bits);
}

bool Pic14Chip::data_protected() const {
    // Without data memory there is nothing to protect.
    return !eeprom_.empty() && decoder_->protects(*this, rules().cpd_bits);
}

std::uint16_t Pic14Chip::device_id_word() const {
    if (info_.revision_bits <= 0) {
        return 0;  // the part has no device ID
    }
    if (info_.revision_word) {
        return static_cast<std::uint16_t>(info_.device_id & kBlankFlashWord);
    }
    const auto revision_mask = static_cast<std::uint16_t>((1U << info_.revision_bits) - 1);
    return static_cast<std::uint16_t>((info_.device_id & ~revision_mask & kBlankFlashWord) |
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
    return decoder_->config_word(*this, number);
}

int Pic14Chip::config_word_count() const {
    return decoder_->config_word_count(*this);
}

std::uint16_t Pic14Chip::config_space(std::int32_t address) const {
    return decoder_->config_space(*this, address);
}

void Pic14Chip::set_config_space(std::int32_t address, std::uint16_t value) {
    decoder_->set_config_space(*this, address, value);
}

std::uint16_t Pic14Chip::revision_word() const {
    if (!info_.revision_word || enhanced_config_.empty()) {
        return 0;
    }
    return enhanced_config_[kEnhancedRevision - kEnhancedConfigFirst];
}

void Pic14Chip::set_revision_word(std::uint16_t word) {
    if (info_.revision_word && !enhanced_config_.empty()) {
        enhanced_config_[kEnhancedRevision - kEnhancedConfigFirst] =
            static_cast<std::uint16_t>(word & kBlankFlashWord);
    }
}

// --- Entry and supply ----------------------------------------------------------------

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
    if (!decoder_->takes_low_voltage_key() || key != decoder_->low_voltage_key()) {
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
        // Once: a board set too high repeats it at every voltages-on, and a server
        // that runs for days must not keep a line for each.
        fault_once("Vpp " + volts(volts_on_mclr) + " V above the " + info_.name + "'s window (" +
                   volts(info_.vpp_min_volts) + "-" + volts(info_.vpp_max_volts) + " V)");
    } else if (volts_on_mclr < info_.vpp_min_volts) {
        leave_programming_mode();  // MCLR below VIHH: the chip runs its program
    }
}

double Pic14Chip::vdd_max_volts() const {
    return absolute_max_vdd_volts(info_);
}

void Pic14Chip::vdd_applied(double volts_on_vdd) {
    const double limit = vdd_max_volts();
    if (!powered_ || limit <= 0 || volts_on_vdd <= limit) {
        return;
    }
    fault_once("Vdd " + volts(volts_on_vdd) + " V above the " + info_.name +
               "'s absolute maximum (" + volts(limit) + " V)");
}

void Pic14Chip::fault_once(std::string text) {
    if (std::find(faults_.begin(), faults_.end(), text) == faults_.end()) {
        fault(std::move(text));
    }
}

}  // namespace corvanel
