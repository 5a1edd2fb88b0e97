// SPDX-License-Identifier: GPL-3.0-or-later
// The configuration fields file on any text, and every word described through
// the fields it accepts.

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "core/devices/config_fields.h"

using namespace corvanel;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) {
        return 0;
    }
    // The first two bytes are the word to describe, the rest the file.
    const std::int32_t word = (data[0] | (data[1] << 8)) & 0x3FFF;
    const std::string_view text(reinterpret_cast<const char*>(data) + 2, size - 2);
    ConfigFieldTable table;
    const ConfigFieldsLoadResult loaded = parse_config_fields(text, "fuzz.txt", table);
    if (!loaded.ok) {
        return 0;
    }
    for (const ChipConfigFields& chip : table.chips) {
        if (table.find(chip.chip) == nullptr) {
            std::abort();  // a chip the file names cannot be found by its name
        }
        for (int number = 1; number <= 2; ++number) {
            if (const ConfigWordFields* fields = chip.word(number)) {
                (void)describe_config_word(*fields, word);
                for (const ConfigField& field : fields->fields) {
                    for (const ConfigOption& option : field.options) {
                        // Choosing an option changes only its field's bits.
                        const std::int32_t changed = with_option(word, field, option);
                        if (((changed ^ word) & ~field.mask) != 0) {
                            std::abort();
                        }
                    }
                }
            }
        }
    }
    return 0;
}
