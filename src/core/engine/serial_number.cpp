// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/engine/serial_number.h"

#include <charconv>
#include <limits>

namespace corvanel {

namespace {

template <typename T>
bool parse_number(std::string_view text, T& value, int base) {
    if (text.empty()) {
        return false;
    }
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value, base);
    return ec == std::errc() && ptr == end;
}

std::string hex_text(std::int32_t value) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text;
    do {
        text.insert(text.begin(), kDigits[value & 0xF]);
        value >>= 4;
    } while (value > 0);
    return text;
}

std::string hex_digits(std::int32_t value, int digits) {
    std::string text = hex_text(value);
    if (static_cast<int>(text.size()) < digits) {
        text.insert(0, static_cast<std::size_t>(digits) - text.size(), '0');
    }
    return text;
}

}  // namespace

std::string byte_count_text(int byte_count) {
    return std::to_string(byte_count) + (byte_count == 1 ? " byte" : " bytes");
}

std::uint64_t SerialNumber::largest() const {
    if (byte_count >= 8) {
        return std::numeric_limits<std::uint64_t>::max();
    }
    return (std::uint64_t{1} << (8 * byte_count)) - 1;
}

std::optional<SerialNumber> parse_serial_text(std::string_view text, std::string& error) {
    SerialNumber serial;
    const auto at = text.find('@');
    if (at == std::string_view::npos) {
        error = "no @ and location (START[:STEP]@F:ADDRESS or @E:ADDRESS)";
        return std::nullopt;
    }
    std::string_view numbers = text.substr(0, at);
    std::string_view where = text.substr(at + 1);
    const auto colon = numbers.find(':');
    if (!parse_number(numbers.substr(0, colon), serial.value, 10)) {
        error = "the start is not a decimal number";
        return std::nullopt;
    }
    if (colon != std::string_view::npos &&
        (!parse_number(numbers.substr(colon + 1), serial.step, 10) || serial.step == 0)) {
        error = "the step is not a decimal number from 1";
        return std::nullopt;
    }
    if (where.size() < 3 || where[1] != ':') {
        error = "the location is not F:ADDRESS or E:ADDRESS";
        return std::nullopt;
    }
    if (where[0] == 'F' || where[0] == 'f') {
        serial.location = SerialLocation::RetlwTable;
    } else if (where[0] == 'E' || where[0] == 'e') {
        serial.location = SerialLocation::Eeprom;
    } else {
        error = "the location is not F:ADDRESS or E:ADDRESS";
        return std::nullopt;
    }
    where.remove_prefix(2);
    const auto slash = where.find('/');
    if (!parse_number(where.substr(0, slash), serial.address, 16) || serial.address < 0) {
        error = "the address is not a hex number";
        return std::nullopt;
    }
    if (slash != std::string_view::npos &&
        (!parse_number(where.substr(slash + 1), serial.byte_count, 10) || serial.byte_count < 1 ||
         serial.byte_count > kMaxSerialBytes)) {
        error = "the byte count is not 1 to " + std::to_string(kMaxSerialBytes);
        return std::nullopt;
    }
    if (serial.value > serial.largest()) {
        error = "the start does not fit in " + byte_count_text(serial.byte_count);
        return std::nullopt;
    }
    // A step the bytes cannot hold would wrap to a number already handed out.
    if (serial.step > serial.largest()) {
        error = "the step does not fit in " + byte_count_text(serial.byte_count);
        return std::nullopt;
    }
    return serial;
}

std::string serial_location_text(const SerialNumber& serial) {
    if (serial.address < 0) {
        return std::string();  // none chosen
    }
    return std::string(serial.location == SerialLocation::RetlwTable ? "F:" : "E:") +
           hex_text(serial.address) + "/" + std::to_string(serial.byte_count);
}

std::optional<std::string> serial_refusal(const SerialNumber& serial, const MemoryImage& shape,
                                          const ActiveModel& model) {
    if (serial.address < 0) {
        return std::string("Serial number: no location chosen.");
    }
    if (serial.byte_count < 1 || serial.byte_count > kMaxSerialBytes) {
        return "Serial number: the byte count is not 1 to " + std::to_string(kMaxSerialBytes) + ".";
    }
    const std::int32_t size =
        serial.location == SerialLocation::RetlwTable ? shape.flash_size : shape.eeprom_size;
    if (serial.address < 0 || serial.address > size - serial.byte_count) {
        return std::string("Serial number: ") +
               (serial.location == SerialLocation::RetlwTable ? "program memory" : "EEPROM") +
               " has no room for " + byte_count_text(serial.byte_count) + " at " +
               hex_text(serial.address) + "h.";
    }
    if (serial.value > serial.largest()) {
        return "Serial number " + std::to_string(serial.value) + " does not fit in " +
               byte_count_text(serial.byte_count) + ".";
    }
    if (serial.location == SerialLocation::RetlwTable && model.calibration_word) {
        const std::int32_t calibration = model.calibration_word->address;
        if (calibration >= serial.address && calibration < serial.address + serial.byte_count) {
            return "Serial number: " + hex_text(calibration) + "h is the " + model.model_name +
                   "'s factory calibration word; the chip keeps its own value there.";
        }
    }
    return std::nullopt;
}

std::optional<std::string> serial_overwrites(const SerialNumber& serial, const MemoryImage& image) {
    for (int n = 0; n < serial.byte_count; ++n) {
        const std::int32_t at = serial.address + n;
        if (serial.location == SerialLocation::RetlwTable) {
            const std::int32_t word = image.flash_word(at) & 0x3FFF;
            if (word != 0x3FFF && (word & 0x3F00) != kRetlwOpcode) {
                return "The serial number's location " + serial_location_text(serial) +
                       " holds program data: program memory " + hex_digits(at, 4) + "h is " +
                       hex_digits(word, 4) + "h.";
            }
        } else {
            const std::int32_t byte = image.eeprom_byte(at) & 0xFF;
            if (byte != 0xFF) {
                return "The serial number's location " + serial_location_text(serial) +
                       " holds data: EEPROM " + hex_digits(at, 4) + "h is " + hex_digits(byte, 2) +
                       "h.";
            }
        }
    }
    return std::nullopt;
}

void write_serial(const SerialNumber& serial, MemoryImage& image) {
    std::uint64_t value = serial.value;
    for (int n = 0; n < serial.byte_count; ++n) {
        const auto byte = static_cast<std::int32_t>(value & 0xFF);
        value >>= 8;
        if (serial.location == SerialLocation::RetlwTable) {
            (void)image.set_flash_word(serial.address + n, kRetlwOpcode | byte);
        } else {
            (void)image.set_eeprom_byte(serial.address + n, byte);
        }
    }
}

std::optional<std::uint64_t> read_serial(const SerialNumber& serial, const MemoryImage& image) {
    std::uint64_t value = 0;
    for (int n = serial.byte_count - 1; n >= 0; --n) {
        std::int32_t byte = 0;
        if (serial.location == SerialLocation::RetlwTable) {
            const std::int32_t word = image.flash_word(serial.address + n);
            if ((word & 0x3F00) != kRetlwOpcode) {
                return std::nullopt;
            }
            byte = word & 0xFF;
        } else {
            byte = image.eeprom_byte(serial.address + n) & 0xFF;
        }
        value = (value << 8) | static_cast<std::uint64_t>(byte);
    }
    return value;
}

std::optional<std::uint64_t> next_serial(const SerialNumber& serial) {
    if (serial.step > serial.largest() || serial.value > serial.largest() - serial.step) {
        return std::nullopt;
    }
    return serial.value + serial.step;
}

bool serial_in_regions(const SerialNumber& serial, const RegionSelection& regions) {
    return serial.location == SerialLocation::Eeprom ? regions.eeprom : regions.flash;
}

}  // namespace corvanel
