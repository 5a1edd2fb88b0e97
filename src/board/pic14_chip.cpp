#include "board/pic14_chip.h"

#include <algorithm>
#include <cctype>

namespace corvanel {

namespace {

constexpr std::uint16_t kWordMask = 0x3FFF;
constexpr std::int32_t kPcSpan = 0x2000;  // program memory and configuration space each span 8K
constexpr std::int32_t kUserIdLastAddress = 0x2003;
constexpr std::int32_t kReservedLast = 0x2005;
constexpr std::int32_t kDeviceIdLocation = 0x2006;
constexpr std::int32_t kConfig1Location = 0x2007;
constexpr std::int32_t kConfig2Location = 0x2008;

// 12F629/675 leave the factory with an oscillator calibration (a RETLW at the last
// program word) and band-gap calibration bits 13:12 in configuration word 1.
constexpr std::int32_t kOsccalAddress = 0x3FF;
constexpr std::uint16_t kFactoryOsccal = 0x3480;
constexpr std::uint16_t kBandGapBits = 0x3000;
constexpr std::uint16_t kFactoryBandGap = 0x1000;

ChipInfo chip(const char* name, ChipFamily family, std::int32_t flash, std::int32_t eeprom,
              std::uint16_t id) {
    ChipInfo info;
    info.name = name;
    info.family = family;
    info.flash_words = flash;
    info.eeprom_bytes = eeprom;
    info.device_id = id;
    switch (family) {
        case ChipFamily::F84A:
            break;
        case ChipFamily::F62xA:
            // Bits 12:9 are not implemented and read as 1: an erased word reads 3FFFh.
            info.config1_mask = 0x21FF;
            info.unimplemented_config_bits = kWordMask;
            info.needs_vpp_first = true;
            break;
        case ChipFamily::F87xA:
            info.latches = 8;
            info.config1_mask = 0x2FCF;
            info.unimplemented_config_bits = kWordMask;
            break;
        case ChipFamily::F87_88:
            info.latches = 4;
            info.config2_mask = 0x0003;
            info.unimplemented_config_bits = kWordMask;
            info.needs_vpp_first = true;
            break;
        case ChipFamily::F81x:
            info.latches = 4;
            break;
        case ChipFamily::F629_675:
            info.config1_mask = 0x31FF;
            info.needs_vpp_first = true;
            break;
    }
    return info;
}

std::vector<ChipInfo> make_chip_table() {
    using F = ChipFamily;
    return {
        chip("PIC16F84A", F::F84A, 1024, 64, 0x0560),
        chip("PIC16F627A", F::F62xA, 1024, 128, 0x1040),
        chip("PIC16F628A", F::F62xA, 2048, 128, 0x1060),
        chip("PIC16F648A", F::F62xA, 4096, 256, 0x1100),
        chip("PIC16F873A", F::F87xA, 4096, 128, 0x0E40),
        chip("PIC16F874A", F::F87xA, 4096, 128, 0x0E60),
        chip("PIC16F876A", F::F87xA, 8192, 256, 0x0E00),
        chip("PIC16F877A", F::F87xA, 8192, 256, 0x0E20),
        chip("PIC16F87", F::F87_88, 4096, 256, 0x0720),
        chip("PIC16F88", F::F87_88, 4096, 256, 0x0760),
        chip("PIC16F818", F::F81x, 1024, 128, 0x04C0),
        chip("PIC16F819", F::F81x, 2048, 256, 0x04E0),
        chip("PIC12F629", F::F629_675, 1024, 128, 0x0F80),
        chip("PIC12F675", F::F629_675, 1024, 128, 0x0FC0),
    };
}

std::string upper(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return out;
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
    std::string wanted = upper(name);
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

Pic14Chip::Pic14Chip(ChipInfo info)
    : info_(std::move(info)),
      flash_(static_cast<std::size_t>(std::max(info_.flash_words, 0)), kWordMask),
      eeprom_(static_cast<std::size_t>(std::max(info_.eeprom_bytes, 0)), 0xFF),
      latches_(static_cast<std::size_t>(std::max(info_.latches, 1)), kWordMask) {
    erase_everything();
    std::fill(std::begin(config_) + (kUserIdLastAddress + 1 - kConfigSpaceFirst),
              std::begin(config_) + (kReservedLast + 1 - kConfigSpaceFirst), kWordMask);
    if (info_.family == ChipFamily::F629_675 && info_.flash_words > kOsccalAddress) {
        flash_[kOsccalAddress] = kFactoryOsccal;
        std::uint16_t& config1 = config_[kConfig1Location - kConfigSpaceFirst];
        config1 = static_cast<std::uint16_t>((config1 & ~kBandGapBits) | kFactoryBandGap);
    }
}

std::optional<Pic14Chip> Pic14Chip::create(std::string_view name) {
    auto info = find_chip(name);
    if (!info) {
        return std::nullopt;
    }
    return Pic14Chip(std::move(*info));
}

void Pic14Chip::reset_latches() {
    std::fill(latches_.begin(), latches_.end(), kWordMask);
    config_latch_ = kWordMask;
    data_latch_ = 0xFF;
    target_ = LoadTarget::None;
}

void Pic14Chip::power_on(PowerOrder order) {
    leave_programming_mode();
    powered_ = true;
    programming_mode_ = !(info_.needs_vpp_first && order == PowerOrder::VddFirst);
}

void Pic14Chip::power_off() {
    leave_programming_mode();
    powered_ = false;
}

void Pic14Chip::leave_programming_mode() {
    programming_mode_ = false;
    pc_ = 0;
    reset_latches();
    pending_load_.reset();
    pending_read_ = PendingRead::None;
    armed_program_erase_ = false;
    armed_data_erase_ = false;
    armed_full_erase_ = false;
    last_command_ = 0xFF;
}

bool Pic14Chip::supports(std::uint8_t code) const {
    using namespace chip_command;
    const ChipFamily f = info_.family;
    const bool newer = f == ChipFamily::F87xA || f == ChipFamily::F87_88 || f == ChipFamily::F81x;
    switch (code) {
        case kLoadConfiguration:
        case kLoadProgram:
        case kLoadData:
        case kReadProgram:
        case kReadData:
        case kIncrementAddress:
        case kBeginEraseProgramming:
        case kBulkEraseProgram:
        case kBulkEraseData:
            return true;
        case kBeginProgrammingOnly:
            return f != ChipFamily::F62xA;
        case kEndProgramming:
        case kChipErase:
            return newer;
        case kEndProgramming629:
            return f == ChipFamily::F629_675;
        case kBulkEraseSetup1:
        case kBulkEraseSetup2:
            return f == ChipFamily::F84A;
        default:
            return false;
    }
}

bool Pic14Chip::bulk_erase_needs_begin() const {
    return info_.family == ChipFamily::F84A || info_.family == ChipFamily::F87xA;
}

void Pic14Chip::command(std::uint8_t code) {
    using namespace chip_command;
    code &= 0x3F;
    if (!programming_mode_) {
        return;
    }
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
        case kBeginEraseProgramming:
            if (armed_full_erase_ || armed_program_erase_ || armed_data_erase_) {
                // On these parts the bulk erase itself runs in this cycle; nothing is programmed.
                if (armed_full_erase_) {
                    erase_everything();
                }
                if (armed_program_erase_) {
                    erase_program_memory();
                }
                if (armed_data_erase_) {
                    erase_data_memory();
                }
                armed_full_erase_ = armed_program_erase_ = armed_data_erase_ = false;
                reset_latches();
            } else {
                program_latches(true);
            }
            break;
        case kBeginProgrammingOnly:
            program_latches(false);
            break;
        case kBulkEraseProgram:
            if (bulk_erase_needs_begin()) {
                armed_program_erase_ = true;
            } else {
                erase_program_memory();
            }
            break;
        case kBulkEraseData:
            if (bulk_erase_needs_begin()) {
                armed_data_erase_ = true;
            } else {
                erase_data_memory();
            }
            break;
        case kChipErase:
            erase_everything();
            break;
        case kBulkEraseSetup2:
            if (previous == kBulkEraseSetup1) {
                armed_full_erase_ = true;
            }
            break;
        default:  // end programming, bulk erase set-up 1: nothing to do without timing
            break;
    }
}

void Pic14Chip::data_frame(std::uint16_t value) {
    if (!programming_mode_ || !pending_load_) {
        return;
    }
    const auto word = static_cast<std::uint16_t>(value & kWordMask);
    if (*pending_load_ == LoadTarget::Data) {
        data_latch_ = static_cast<std::uint16_t>(word & 0xFF);
    } else if (pc_ >= kConfigSpaceFirst) {
        config_latch_ = word;
    } else {
        latches_[static_cast<std::size_t>(pc_ % static_cast<std::int32_t>(latches_.size()))] = word;
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
    switch (read) {
        case PendingRead::Program:
            if (pc_ >= kConfigSpaceFirst) {
                return config_space(pc_);
            }
            return flash_.empty() ? 0 : flash_[static_cast<std::size_t>(pc_ % flash_size())];
        case PendingRead::Data:
            return eeprom_.empty() ? 0 : eeprom_[static_cast<std::size_t>(pc_ % eeprom_size())];
        case PendingRead::None:
            break;
    }
    return 0;
}

void Pic14Chip::program_latches(bool erase_first) {
    switch (target_) {
        case LoadTarget::None:
            break;
        case LoadTarget::Data:
            // Data EEPROM cells erase themselves byte by byte before every write.
            if (!eeprom_.empty()) {
                eeprom_[static_cast<std::size_t>(pc_ % eeprom_size())] =
                    static_cast<std::uint8_t>(data_latch_);
            }
            break;
        case LoadTarget::Program:
            if (pc_ >= kConfigSpaceFirst) {
                // Configuration space is written one word at a time; the reserved words
                // and the device ID belong to the factory.
                const bool writable =
                    pc_ <= kUserIdLastAddress || pc_ == kConfig1Location || pc_ == kConfig2Location;
                if (writable) {
                    const std::uint16_t stored = config_[pc_ - kConfigSpaceFirst];
                    const auto value = erase_first
                                           ? config_latch_
                                           : static_cast<std::uint16_t>(config_latch_ & stored);
                    set_config_space(pc_, value);
                }
            } else if (!flash_.empty()) {
                // FLASH cells only lose bits when programmed; an erase brings them back to 1.
                const auto count = static_cast<std::int32_t>(latches_.size());
                const std::int32_t base = pc_ - pc_ % count;
                for (std::int32_t i = 0; i < count; ++i) {
                    auto& cell = flash_[static_cast<std::size_t>((base + i) % flash_size())];
                    const std::uint16_t latch = latches_[static_cast<std::size_t>(i)];
                    cell = erase_first ? latch : static_cast<std::uint16_t>(cell & latch);
                }
            }
            break;
    }
    reset_latches();
}

void Pic14Chip::erase_program_memory() {
    std::fill(flash_.begin(), flash_.end(), kWordMask);
    // With the address counter in configuration space the erase reaches the user IDs
    // and the configuration words as well.
    if (pc_ >= kConfigSpaceFirst) {
        erase_config_space();
    }
}

void Pic14Chip::erase_config_space() {
    for (std::int32_t a = kConfigSpaceFirst; a <= kUserIdLastAddress; ++a) {
        config_[a - kConfigSpaceFirst] = kWordMask;
    }
    config_[kConfig1Location - kConfigSpaceFirst] = info_.config1_mask;
    config_[kConfig2Location - kConfigSpaceFirst] = info_.config2_mask;
}

void Pic14Chip::erase_data_memory() {
    std::fill(eeprom_.begin(), eeprom_.end(), 0xFF);
}

void Pic14Chip::erase_everything() {
    std::fill(flash_.begin(), flash_.end(), kWordMask);
    erase_data_memory();
    erase_config_space();
}

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

std::uint16_t Pic14Chip::device_id_word() const {
    return static_cast<std::uint16_t>((info_.device_id & 0x3FE0) | (revision_ & 0x1F));
}

void Pic14Chip::set_revision(std::uint8_t revision) {
    revision_ = static_cast<std::uint8_t>(revision & 0x1F);
}

std::uint16_t Pic14Chip::config_word(int number) const {
    return config_space(number == 2 ? kConfig2Location : kConfig1Location);
}

std::uint16_t Pic14Chip::config_space(std::int32_t address) const {
    const auto shown = [this](std::uint16_t stored, std::uint16_t mask) {
        return static_cast<std::uint16_t>((stored & mask) |
                                          (info_.unimplemented_config_bits & ~mask & kWordMask));
    };
    if (address < kConfigSpaceFirst || address > kConfigSpaceLast) {
        return 0;
    }
    const std::uint16_t stored = config_[address - kConfigSpaceFirst];
    switch (address) {
        case kDeviceIdLocation:
            return device_id_word();
        case kConfig1Location:
            return shown(stored, info_.config1_mask);
        case kConfig2Location:
            return info_.config2_mask == 0 ? 0 : shown(stored, info_.config2_mask);
        default:
            return stored;
    }
}

void Pic14Chip::set_config_space(std::int32_t address, std::uint16_t value) {
    if (address < kConfigSpaceFirst || address > kConfigSpaceLast || address == kDeviceIdLocation) {
        return;
    }
    std::uint16_t& stored = config_[address - kConfigSpaceFirst];
    switch (address) {
        case kConfig1Location:
            stored = static_cast<std::uint16_t>(value & info_.config1_mask);
            break;
        case kConfig2Location:
            stored = static_cast<std::uint16_t>(value & info_.config2_mask);
            break;
        default:
            stored = static_cast<std::uint16_t>(value & kWordMask);
            break;
    }
}

}  // namespace corvanel
