// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What the device database says about a chip's identity and its configuration
// words beyond their erased values: the device ID word at 2006h ("deviceid:"),
// and the configuration bits the chip implements ("configmask:").
//
// The ID word holds the part number in its upper bits and the silicon revision
// in the low ones; which bits are which differs by family (3FE0h on most parts,
// 3FF0h where the revision has only four bits), so the model gives the mask.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/devices/device_database.h"

namespace corvanel {

// A configuration mask that compares every bit of the word.
inline constexpr std::int32_t kWholeWordMask = -1;

// The algorithm that reads the ID of any 14-bit part, whatever its model: Vpp
// before Vdd (the order every part accepts), Load Configuration (the address
// counter jumps to 2000h, or 8000h on the enhanced parts), six increments to the
// ID word, one read.
inline constexpr std::string_view kGenericIdReadAlgorithm =
    "beginvppvdd,s00-3fff,s06,s06,s06,s06,s06,s06,deviceid=s04,end";

// "Identify Chip" reads the revision word too, in each command set's own script
// (the identify_script of its row in command_set.h).

// The enhanced parts with IDs from 3000h up keep the whole 14-bit word for the
// ID and the revision in a word of its own (its low 12 bits); a classic ID
// never reaches 3000h.
[[nodiscard]] constexpr bool full_word_id(std::int32_t word) {
    return word >= 0 && (word & 0x3000) == 0x3000;
}
[[nodiscard]] constexpr std::int32_t revision_from_word(std::int32_t revision_word) {
    return revision_word & 0x0FFF;
}

// The four hex digits at `first` (counted from 0) of a key's value, in either
// letter case, as the "XXXX YYYY" keys write them; -1 when they are not.
[[nodiscard]] std::int32_t hex_group(std::string_view text, std::size_t first);

struct ConfigMasks {
    std::int32_t mask1 = kWholeWordMask;
    std::int32_t mask2 = kWholeWordMask;
};

// "XXXX YYYY" as "configerased:" is written (letter case ignored). A group that
// is not four hex digits compares the whole word.
[[nodiscard]] ConfigMasks parse_config_masks(std::string_view text);

// True when `read` and `expected` agree on the bits of `mask`.
[[nodiscard]] bool config_words_agree(std::int32_t read, std::int32_t expected, std::int32_t mask);

struct DeviceIdKey {
    std::int32_t id = 0;    // the ID word with its revision bits 0
    std::int32_t mask = 0;  // the bits that name the part
};

// "XXXX MMMM" (letter case ignored); nothing unless both groups are four hex digits
// and the mask is not 0.
[[nodiscard]] std::optional<DeviceIdKey> parse_device_id(std::string_view text);

[[nodiscard]] bool id_matches(const DeviceIdKey& key, std::int32_t word);
[[nodiscard]] std::int32_t id_revision(const DeviceIdKey& key, std::int32_t word);

// An ID word of 0000h or 3FFFh is what an empty socket (or a chip that did not
// enter programming mode) gives.
[[nodiscard]] bool no_chip_answer(std::int32_t word);

struct IdentifiedModel {
    int number = 0;  // model number in the database
    std::string name;
    DeviceIdKey key;
    std::int32_t revision = 0;
};

// Every model of the database whose "deviceid:" names this word, in file order.
// A model with "revaddr:" takes its revision from `revision_word` (the word read
// there, -1 when none was), the others from the ID word's bits outside the mask.
[[nodiscard]] std::vector<IdentifiedModel> models_with_id(const DeviceDatabase& database,
                                                          std::int32_t word,
                                                          std::int32_t revision_word = -1);

// "PIC16F87 (ID 0720h, revision 2)", or with several models of that ID
// "PIC16F84A or PIC16F84 (ID 0560h, revision 1)". Without a model, the ID and
// revision are split by `fallback_mask`: "an unknown chip (ID 1234h, revision 5)";
// a full-word ID (3000h and up) is then taken whole, with the revision word's.
[[nodiscard]] std::string chip_description(const std::vector<IdentifiedModel>& models,
                                           std::int32_t word, std::int32_t fallback_mask,
                                           std::int32_t revision_word = -1);

// "No chip found (device ID 3FFFh)."
[[nodiscard]] std::string no_chip_text(std::int32_t word);

// The question asked before Program All or Erase All when the ID word does not
// name the applied model; empty when it does. "The chip in the socket answers as
// PIC16F877 (ID 0D00h, revision 2), not PIC16F628A. Continue?" or
// "No chip found (device ID 3FFFh). Continue?".
[[nodiscard]] std::string device_id_question(const DeviceDatabase& database,
                                             const DeviceIdKey& expected,
                                             std::string_view expected_name, std::int32_t word,
                                             std::int32_t revision_word = -1);

// The result of "Identify Chip": "The chip in the socket answers as PIC16F628A
// (ID 1060h, revision 2).", "No chip found (device ID 3FFFh)." or the unknown chip.
[[nodiscard]] std::string identify_report(const DeviceDatabase& database, std::int32_t word,
                                          std::int32_t revision_word = -1);

}  // namespace corvanel
