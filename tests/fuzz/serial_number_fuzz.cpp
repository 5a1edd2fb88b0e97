// SPDX-License-Identifier: GPL-3.0-or-later
// The --serial option's text, any text, and a number it accepts written into
// the image of a shipped model: what serial_refusal lets through is written
// inside the memory it names and reads back as the number written.

#include <cstdlib>

#include "core/engine/serial_number.h"
#include "fuzz_support.h"

using namespace corvanel;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Choices choices(data, size);
    ActiveModel model;
    MemoryImage image;
    if (!fuzz::apply_chosen_model(choices, model, image)) {
        return 0;
    }
    std::string error;
    const std::optional<SerialNumber> serial = parse_serial_text(choices.rest(), error);
    if (!serial) {
        if (error.empty()) {
            std::abort();  // a refusal must say why
        }
        return 0;
    }
    if (serial->byte_count < 1 || serial->byte_count > kMaxSerialBytes || serial->address < 0) {
        std::abort();
    }
    // Where the number goes, written back, reads as the same place.
    const std::string where = serial_location_text(*serial);
    std::string again_error;
    const auto again = parse_serial_text("1@" + where, again_error);
    if (!again || again->location != serial->location || again->address != serial->address ||
        again->byte_count != serial->byte_count) {
        std::abort();
    }
    if (const auto next = next_serial(*serial); next && *next > serial->largest()) {
        std::abort();  // a next number the bytes cannot hold
    }
    if (serial_refusal(*serial, image, model)) {
        return 0;
    }
    const MemoryImage before = image;
    write_serial(*serial, image);
    if (read_serial(*serial, image) != serial->value) {
        std::abort();  // written, but not the number
    }
    // Nothing else of the image changed: only the serial's own locations differ.
    const bool eeprom = serial->location == SerialLocation::Eeprom;
    for (std::int32_t i = 0; i < image.flash_size; ++i) {
        const bool own =
            !eeprom && i >= serial->address && i < serial->address + serial->byte_count;
        if (!own && image.flash_word(i) != before.flash_word(i)) {
            std::abort();
        }
    }
    for (std::int32_t i = 0; i < image.eeprom_size; ++i) {
        const bool own = eeprom && i >= serial->address && i < serial->address + serial->byte_count;
        if (!own && image.eeprom_byte(i) != before.eeprom_byte(i)) {
            std::abort();
        }
    }
    return 0;
}
