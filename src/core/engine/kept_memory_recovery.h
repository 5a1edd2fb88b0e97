// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Memories of the chip that a Program All keeps (--preserve-eeprom, --only, the
// window's Preserve EEPROM and memory choice) exist only in the program between
// the erase and their write-back. When the run ends in between (the board stops
// answering, the line is lost, the program is stopped), they would be lost with
// the chip's old contents. So the checked read-first image is kept in a file of
// the configuration folder before the erase, as the factory calibration is, and
// the next Program All of the same model offers to write it back. A Program All
// that has written the kept memories back removes the file.
//
// The file, "kept-PIC16F628A.hex": a first line "; kept eeprom,config" naming
// the kept memories, then the chip as read, as Intel HEX text.

#include <filesystem>
#include <optional>
#include <string>

#include "core/engine/region_selection.h"
#include "core/image/memory_image.h"

namespace corvanel {

struct KeptMemories {
    RegionSelection kept;  // the memories the file holds for the chip
    MemoryImage image;     // the chip as read; only `kept` of it counts
};

// "kept-PIC16F628A.hex" in `folder`.
[[nodiscard]] std::filesystem::path kept_memory_file(const std::filesystem::path& folder,
                                                     const std::string& model_name);

// Writes the file through the one safe write (temporary file, then rename);
// answers the reason when it cannot be written.
[[nodiscard]] std::optional<std::string> save_kept_memories(const std::filesystem::path& file,
                                                            const KeptMemories& kept);

// The file's contents for a chip of the shape of `shape`; nothing when there is
// no file or it is not one of ours (a bad first line, a HEX fault, no memory kept).
[[nodiscard]] std::optional<KeptMemories> load_kept_memories(const std::filesystem::path& file,
                                                             const MemoryImage& shape);

// The question that offers the file back at the next Program All.
[[nodiscard]] std::string kept_memory_question(const std::filesystem::path& file,
                                               const KeptMemories& kept,
                                               const std::string& model_name);

// The question asked before an erase when the file cannot be written (`reason`;
// `file` nothing when there is no configuration folder): the kept memories
// would then live in this program only, and a run that ends after the erase
// would lose them. Only a "Yes" erases.
[[nodiscard]] std::string kept_memory_unsaved_question(
    const std::optional<std::filesystem::path>& file, const std::string& reason,
    const RegionSelection& kept);

// The kept memories are on the chip again (or the user wants the file no more).
void forget_kept_memories(const std::filesystem::path& file);

}  // namespace corvanel
