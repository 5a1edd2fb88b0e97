// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Which memories of the chip Program All and Read All work on: program memory,
// EEPROM, user IDs, configuration words. The algorithms know no such choice:
// every Program All begins with a bulk erase that clears the whole chip. So a
// Program All that must leave a memory of the chip as it is reads the chip
// first (its Read All algorithm), then programs an image made of the buffer's
// selected memories and the chip's own contents for the others; its Verify
// compares the chip with that image. A Read All reads the whole chip and takes
// only the selected memories into the buffer.

#include <optional>
#include <string>
#include <string_view>

#include "core/devices/model_application.h"
#include "core/image/memory_image.h"

namespace corvanel {

struct ProtectionBits;

struct RegionSelection {
    bool flash = true;
    bool eeprom = true;
    bool user_ids = true;
    bool config = true;

    [[nodiscard]] bool all() const { return flash && eeprom && user_ids && config; }
    [[nodiscard]] bool none() const { return !flash && !eeprom && !user_ids && !config; }
    friend bool operator==(const RegionSelection&, const RegionSelection&) = default;
};

// "flash,eeprom,id,config" in any order, any subset (letter case ignored;
// "all" for every one); nothing for an empty list or an unknown word.
[[nodiscard]] std::optional<RegionSelection> parse_region_list(std::string_view text);
// The same list written back ("flash,id"); "all" when every memory is selected.
[[nodiscard]] std::string region_list_text(const RegionSelection& selection);

// What Program All writes from the buffer: the selection, without EEPROM when
// the chip's EEPROM is to be preserved.
[[nodiscard]] RegionSelection programmed_regions(RegionSelection selection, bool preserve_eeprom);

// Program All must read the chip first: some memory the chip has is kept.
[[nodiscard]] bool needs_chip_read(const RegionSelection& programmed, const MemoryImage& shape);

// The image Program All writes: the selected memories from `buffer`, every
// other one from `chip` (what the read found there).
[[nodiscard]] MemoryImage merge_regions(const MemoryImage& buffer, const MemoryImage& chip,
                                        const RegionSelection& from_buffer);

// A memory to be kept that the chip's code protection hides cannot be read, and
// writing back what the read gave would destroy it: the reason to refuse, or
// nothing when the chip can be kept as it is.
[[nodiscard]] std::optional<std::string> kept_region_refusal(const MemoryImage& chip,
                                                             const RegionSelection& programmed,
                                                             const ProtectionBits& protection);

// The memories Program All keeps from the chip (those it has and does not write
// from the buffer).
[[nodiscard]] RegionSelection kept_regions(const RegionSelection& programmed,
                                           const MemoryImage& shape);

// The line has no checksum, so the chip is read twice before the erase and the
// two reads of the kept memories must agree: a garbled byte in either would
// otherwise be written back as the chip's own. Nothing when they agree, else
// the first difference ("EEPROM 0010h read 12h, then 13h").
[[nodiscard]] std::optional<std::string> kept_reads_differ(const MemoryImage& first,
                                                           const MemoryImage& second,
                                                           const RegionSelection& programmed);

inline constexpr RegionSelection kNoRegions{false, false, false, false};

// The program algorithm erases only the regions the operation does not keep
// ("sCC-regions", a family whose bulk erase takes its regions from a payload):
// a kept memory then stays on the chip through the erase, and Program All need
// not read it first and write it back. Any other algorithm clears the whole chip.
[[nodiscard]] bool erase_keeps_regions(const InstructionList& program_algorithm);

// The chip erases every region or none while code protection is on, so the erase
// cannot keep a memory then: Program All stops before it.
inline constexpr std::string_view kRegionEraseProtectedText =
    "Code protection is on: the chip erases every region or none, so the erase cannot keep "
    "the chip's memories. Program All refused.";

inline constexpr std::string_view kNothingSelectedText = "No memory is selected for the operation.";

}  // namespace corvanel
