// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The model keys that place a chip's configuration words, user IDs and EEPROM
// ("configwords:", "configaddr:", "idaddr:", "eepromaddr:", "revaddr:") and the
// low-voltage entry key ("lvp:"). The enhanced mid-range (12F1xxx/16F1xxx)
// keeps its user IDs at 8000h, the device ID at 8006h, up to five
// configuration words from 8007h and its EEPROM at F000h in HEX files; a
// model without the keys keeps the classic map of 2000h, 2007h and 2100h.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/devices/device_database.h"
#include "core/image/memory_image.h"

namespace corvanel {

// A word address of one to four hex digits in either letter case, blanks
// around it ignored ("8007", "f000"); nothing for anything else.
[[nodiscard]] std::optional<std::int32_t> parse_word_address(std::string_view text);

// "1" to "5" (blanks around it ignored); nothing for anything else.
[[nodiscard]] std::optional<int> parse_config_word_count(std::string_view text);

// The groups of four hex digits of "configerased:" or "configmask:", one per
// configuration word, each at character 5k as "3FFF 3FFF 3FFF" writes them;
// nothing when the text is not that (extra text after the last group included).
[[nodiscard]] std::optional<std::vector<std::int32_t>> parse_word_groups(std::string_view text);

// "true" or "false" in either letter case.
[[nodiscard]] std::optional<bool> parse_flag(std::string_view text);

// The model's address map; the classic one where a key is absent. Keys that do
// not parse (the database loader refuses them) keep the classic address.
[[nodiscard]] AddressMap model_address_map(const DeviceModel& model);

// The number of configuration words the model declares with "configwords:";
// nothing without the key.
[[nodiscard]] std::optional<int> model_config_words(const DeviceModel& model);

// What is wrong with the map keys of one model, for the loader's message (the
// key the fault is on, and the sentence); nothing when they are sound.
struct ModelKeyProblem {
    std::string key;  // "configwords:", "configerased:", ...
    std::string text;
};
[[nodiscard]] std::optional<ModelKeyProblem> address_map_problem(const DeviceModel& model);

}  // namespace corvanel
