// SPDX-License-Identifier: GPL-3.0-or-later
// The board's chip state file on any text: a refused file leaves the chip as
// it was; an accepted one gives a chip whose state writes out and reads back
// the same.

#include <cstdlib>
#include <map>
#include <string>

#include "board/chip_state_file.h"
#include "board/pic14_chip.h"
#include "fuzz_support.h"

using namespace corvanel;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Choices choices(data, size);
    const DeviceDatabase& database = fuzz::shipped_database();
    const DeviceModel& model =
        database.model(1 + static_cast<int>(choices.pick(database.model_count())));
    auto chip = Pic14Chip::create(model.name, 1);
    if (!chip) {
        return 0;
    }
    // A fresh chip of a seed is always the same: its state text is made once.
    static std::map<std::string, std::string> fresh;
    auto [known, is_new] = fresh.try_emplace(model.name);
    if (is_new) {
        known->second = chip_state_hex(*chip);
    }
    const std::string& before = known->second;
    const ChipStateResult loaded = load_chip_state_hex(*chip, choices.rest());
    const std::string after = chip_state_hex(*chip);
    if (!loaded.ok) {
        if (after != before || loaded.message.empty()) {
            std::abort();  // a refused file changed the chip, or was refused without a word
        }
        return 0;
    }
    auto again = Pic14Chip::create(model.name, 2);
    if (!load_chip_state_hex(*again, after).ok || chip_state_hex(*again) != after) {
        std::abort();
    }
    return 0;
}
