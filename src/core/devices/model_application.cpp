// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/devices/model_application.h"

#include <algorithm>

#include "core/devices/address_map_keys.h"
#include "core/devices/leading_number.h"
#include "core/image/hex_text.h"
#include "core/text/ascii_text.h"

namespace corvanel {

namespace {

// Characters first..first+count-1 (counted from 1), or fewer when the text is short.
std::string_view mid(std::string_view text, std::size_t first, std::size_t count) {
    if (first > text.size()) {
        return {};
    }
    return text.substr(first - 1, count);
}

}  // namespace

InstructionList split_instructions(std::string_view algorithm_text) {
    std::string text = lower_copy(algorithm_text);
    if (text.empty() || text.back() != ',') {
        text.push_back(',');
    }
    InstructionList list;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t comma = text.find(',', start);
        list.push_back(text.substr(start, comma - start));
        start = comma + 1;
    }
    return list;
}

bool apply_model(const DeviceDatabase& database, int selected_model, ActiveModel& active,
                 MemoryImage& image) {
    if (!database.has_model(selected_model)) {
        return false;
    }
    const DeviceModel& model = database.model(selected_model);

    active.model_name = model.name;

    image.flash_size = normalised_flash_size(leading_number(model.flash));
    image.eeprom_size = normalised_eeprom_size(leading_number(model.eeprom));

    const std::string erased = upper_copy(model.configerased);
    image.config_erased1 = hexval4(mid(erased, 1, 4));
    image.config_erased2 = hexval4(mid(erased, 6, 4));
    // Words 3 to 7: a group each after the first two; erased 3FFFh without one.
    for (int number = 3; number <= kMaxConfigWords; ++number) {
        const std::int32_t word = hex_group(erased, static_cast<std::size_t>(5 * (number - 1)));
        image.set_config_erased(number, word >= 0 ? word : kBlankFlashWord);
    }

    const std::string config2 = lower_copy(model.config2used);
    if (config2 == "false") {
        image.config2_used = false;
    } else if (config2 == "true") {
        image.config2_used = true;
    }
    // "configwords:" says how many words there are, and so whether word 2 is used.
    const std::optional<int> words = model_config_words(model);
    image.config_words = words.value_or(0);
    if (words) {
        image.config2_used = *words >= 2;
    }
    image.map = model_address_map(model);

    const std::string sequence = lower_copy(model.voltageseq);
    if (sequence == "vddvpp") {
        active.voltage_sequence = VoltageSequence::VddFirst;
    } else if (sequence == "vppvdd") {
        active.voltage_sequence = VoltageSequence::VppFirst;
    }

    active.programming_time = leading_number(model.progtime);
    active.page_size = leading_number(model.pagesize);

    active.erase_list = split_instructions(model.erasealg);
    active.program_list = split_instructions(model.programalg);
    active.read_list = split_instructions(model.readalg);
    active.blank_list = split_instructions(model.blankcheckalg);
    active.verify_list = split_instructions(model.verifyalg);

    // The newer keys never inherit from the model applied before.
    const ConfigMasks masks = parse_config_masks(model.configmask);
    active.config_mask1 = masks.mask1;
    active.config_mask2 = masks.mask2;
    for (int number = 3; number <= kMaxConfigWords; ++number) {
        const std::int32_t mask =
            hex_group(model.configmask, static_cast<std::size_t>(5 * (number - 1)));
        active.config_mask_more[static_cast<std::size_t>(number - 3)] =
            mask >= 0 ? mask : kWholeWordMask;
    }
    active.revision_address =
        model.revaddr.empty() ? std::nullopt : parse_word_address(model.revaddr);
    active.low_voltage_entry = parse_flag(model.lvp).value_or(false);
    active.command_set = &command_set_of(model.commandset);
    active.device_id = parse_device_id(model.deviceid);
    active.calibration_word = parse_flash_calibration(model.calflash);
    active.calibration_config_bits = parse_config_calibration(model.calconfig);
    active.vpp_window = parse_vpp_window(model.vpp);
    active.vdd_window = parse_vdd_window(model.vdd);
    active.id_list = model.idalg.empty() ? InstructionList() : split_instructions(model.idalg);
    return true;
}

}  // namespace corvanel
