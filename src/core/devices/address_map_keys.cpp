// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/devices/address_map_keys.h"

#include <string>

#include "core/devices/device_identity.h"
#include "core/devices/leading_number.h"
#include "core/image/hex_text.h"
#include "core/text/ascii_text.h"

namespace corvanel {

namespace {

std::int32_t address_or(const std::string& text, std::int32_t classic) {
    if (text.empty()) {
        return classic;
    }
    return parse_word_address(text).value_or(classic);
}

}  // namespace

std::optional<std::int32_t> parse_word_address(std::string_view text) {
    text = trimmed(text);
    if (text.empty() || text.size() > 4) {
        return std::nullopt;
    }
    // Up to four digits in either case: padded, they are one word's four.
    const std::int32_t value = hexval4(upper_copy(std::string(4 - text.size(), '0').append(text)));
    if (value < 0) {
        return std::nullopt;
    }
    return value;
}

std::optional<int> parse_config_word_count(std::string_view text) {
    text = trimmed(text);
    if (text.size() != 1 || text[0] < '1' || text[0] > '0' + kMaxConfigWords) {
        return std::nullopt;
    }
    return text[0] - '0';
}

std::optional<std::vector<std::int32_t>> parse_word_groups(std::string_view text) {
    const std::string_view groups = trimmed(text);
    std::vector<std::int32_t> words;
    for (std::size_t first = 0; first < groups.size(); first += 5) {
        const std::int32_t word = hex_group(groups, first);
        if (word < 0 || (first + 4 < groups.size() && groups[first + 4] != ' ')) {
            return std::nullopt;
        }
        words.push_back(word);
    }
    if (words.empty()) {
        return std::nullopt;
    }
    return words;
}

std::optional<bool> parse_flag(std::string_view text) {
    const std::string word = lower_copy(trimmed(text));
    if (word == "true") {
        return true;
    }
    if (word == "false") {
        return false;
    }
    return std::nullopt;
}

AddressMap model_address_map(const DeviceModel& model) {
    AddressMap map;
    map.user_id_address = address_or(model.idaddr, kUserIdFirst);
    map.config_address = address_or(model.configaddr, kConfig1Address);
    map.eeprom_address = address_or(model.eepromaddr, kEepromBase);
    return map;
}

std::optional<int> model_config_words(const DeviceModel& model) {
    if (model.configwords.empty()) {
        return std::nullopt;
    }
    return parse_config_word_count(model.configwords);
}

std::optional<ModelKeyProblem> address_map_problem(const DeviceModel& model) {
    std::optional<int> words;
    if (!model.configwords.empty()) {
        words = parse_config_word_count(model.configwords);
        if (!words) {
            return ModelKeyProblem{"configwords:",
                                   "the number of configuration words must be 1 to 7 "
                                   "(\"configwords: 2\")."};
        }
    }
    const struct {
        const std::string& value;
        const char* key;
    } addresses[] = {{model.configaddr, "configaddr:"},
                     {model.idaddr, "idaddr:"},
                     {model.eepromaddr, "eepromaddr:"},
                     {model.revaddr, "revaddr:"}};
    for (const auto& address : addresses) {
        if (!address.value.empty() && !parse_word_address(address.value)) {
            return ModelKeyProblem{address.key,
                                   "the word address must be one to four hex digits "
                                   "(\"" +
                                       std::string(address.key) + " 8007\")."};
        }
    }
    if (!model.lvp.empty() && !parse_flag(model.lvp)) {
        return ModelKeyProblem{"lvp:", "the value must be true or false (\"lvp: true\")."};
    }
    // With a count, the erased values and the masks give one group per word.
    if (words) {
        const struct {
            const std::string& value;
            const char* key;
        } groups[] = {{model.configerased, "configerased:"}, {model.configmask, "configmask:"}};
        for (const auto& group : groups) {
            if (group.value.empty()) {
                continue;
            }
            const auto parsed = parse_word_groups(group.value);
            if (!parsed || static_cast<int>(parsed->size()) != *words) {
                return ModelKeyProblem{
                    group.key, "the model has " + std::to_string(*words) + " configuration word" +
                                   (*words == 1 ? "" : "s") +
                                   ": give one group of four hex digits for each (\"" +
                                   std::string(group.key) + " 3FFF 3FFF\")."};
            }
        }
    }
    // A chip without program memory is no chip this program can serve: taken as
    // the smallest image, it would be programmed and verified as 64 words.
    if (!model.flash.empty() && leading_number(model.flash) < 1) {
        return ModelKeyProblem{"flash:",
                               "the program memory must hold at least one word "
                               "(\"flash: 2048\")."};
    }
    // FLASH must end below the user IDs, or a HEX file's ID, configuration and
    // EEPROM records would land in FLASH.
    const AddressMap map = model_address_map(model);
    if (normalised_flash_size(leading_number(model.flash)) > map.user_id_address) {
        return ModelKeyProblem{"flash:", "a FLASH of more than " + hex4(map.user_id_address) +
                                             "h words reaches the configuration words at " +
                                             hex4(map.user_id_address) + "h."};
    }
    return std::nullopt;
}

}  // namespace corvanel
