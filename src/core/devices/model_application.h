// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Applying a model: the text fields of a DeviceModel become the active model's
// numbers, flags and instruction lists, and the shape of the memory image.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/devices/calibration.h"
#include "core/devices/command_set.h"
#include "core/devices/device_database.h"
#include "core/devices/device_identity.h"
#include "core/devices/vdd_window.h"
#include "core/devices/voltage_sequence.h"
#include "core/devices/vpp_window.h"
#include "core/image/memory_image.h"

namespace corvanel {

// The instructions of one operation, each a lower-case text. Instruction n of
// the script is at index n - 1.
using InstructionList = std::vector<std::string>;

struct ActiveModel {
    std::string model_name;
    std::int32_t programming_time = 0;  // milliseconds
    std::int32_t page_size = 0;         // words per page, as written in the file
    VoltageSequence voltage_sequence = VoltageSequence::None;
    InstructionList erase_list;
    InstructionList program_list;
    InstructionList read_list;
    InstructionList blank_list;
    InstructionList verify_list;
    // Bits of configuration words 1 and 2 that Verify and Blank Check compare
    // ("configmask:"); the whole word without the key.
    std::int32_t config_mask1 = kWholeWordMask;
    std::int32_t config_mask2 = kWholeWordMask;
    // The same for configuration words 3 to 7 of the parts that have them.
    std::array<std::int32_t, kMaxConfigWords - 2> config_mask_more{
        kWholeWordMask, kWholeWordMask, kWholeWordMask, kWholeWordMask, kWholeWordMask};
    // The mask of configuration word 1 to 7.
    [[nodiscard]] std::int32_t config_mask(int number) const {
        if (number == 1) {
            return config_mask1;
        }
        if (number == 2) {
            return config_mask2;
        }
        if (number > 2 && number <= kMaxConfigWords) {
            return config_mask_more[static_cast<std::size_t>(number - 3)];
        }
        return kWholeWordMask;
    }
    // The ID the chip must answer before Program All and Erase All ("deviceid:"),
    // and the algorithm that reads it ("idalg:"; empty: the generic ID read).
    std::optional<DeviceIdKey> device_id;
    InstructionList id_list;
    // Factory calibration the algorithms keep ("calflash:", "calconfig:").
    std::optional<FlashCalibration> calibration_word;
    std::int32_t calibration_config_bits = 0;
    // The Vpp the chip accepts ("vpp:"); nothing without the key.
    std::optional<VppWindow> vpp_window;
    std::optional<VddWindow> vdd_window;  // nothing for a model without "vdd:"
    // The word holding the silicon revision ("revaddr:", full-word ID parts);
    // without it the revision is the ID word's bits outside the ID mask.
    std::optional<std::int32_t> revision_address;
    // The chip may enter programming mode with the low-voltage key ("lvp: true").
    bool low_voltage_entry = false;
    // The chip's command set ("commandset:"): how the link frames every command.
    // Never null.
    const CommandSet* command_set = &six_bit_commands();
};

// Lower-cases the text and cuts it at every comma; nothing is trimmed. An empty
// text gives one empty instruction; one trailing comma adds nothing.
[[nodiscard]] InstructionList split_instructions(std::string_view algorithm_text);

// Applies model number `selected_model`. Sizes are brought inside the image's
// limits (see normalised_flash_size); "config2used:" and "voltageseq:" values
// other than the known words leave the previous value in place. The caller
// clears the image afterwards. Answers false, changing nothing, when no model
// has that number.
bool apply_model(const DeviceDatabase& database, int selected_model, ActiveModel& active,
                 MemoryImage& image);

}  // namespace corvanel
