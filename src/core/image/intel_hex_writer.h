// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Writing the memory image as an Intel HEX file in the layout the reader takes
// back: FLASH from byte address 0000h up to its last non-blank word, the user
// IDs at 4000h when one of them is set, the configuration words at 400Eh, EEPROM from 4200h up to
// its last non-blank byte, and the end record. Every cell is one 2-byte word, low byte first; only
// record types 00 and 01 and 16-bit addresses are used. Lines end with CR LF.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/image/intel_hex_reader.h"
#include "core/image/memory_image.h"

namespace corvanel {

// The whole file text for the image.
[[nodiscard]] std::string write_hex_text(const MemoryImage& image);

inline constexpr std::string_view kHexSavedStatus = "HEX file saved.";
inline constexpr std::string_view kHexNotSavedStatus = "HEX file not saved!";

// The question asked before a file is replaced (message kind 4, Yes/No).
[[nodiscard]] std::string hex_overwrite_question(std::string_view path);

// Everything the save command shows after writing.
struct HexSaveResult {
    bool saved = false;
    // The error message on failure; nothing on success.
    std::vector<HexMessage> messages;
    // "HEX file saved." or "HEX file not saved!"
    std::string status_text;
    // short_path of the file on success; on failure the label stays as it was.
    std::optional<std::string> loaded_file_label;
    // The folder of the file with its separator, for "Last Path".
    std::string last_path;
};

// Writes the image to a temporary file beside `path` and renames it over the
// old file, so a failure at any point leaves the old file as it was and is
// never reported as success.
[[nodiscard]] HexSaveResult save_hex_file(const std::string& path, const MemoryImage& image);

// The answers of a save done elsewhere (the window writes with its own safe
// file), so that both say the same. `reason` says why the write failed.
[[nodiscard]] HexSaveResult hex_save_succeeded(const std::string& path);
[[nodiscard]] HexSaveResult hex_save_failed(const std::string& path, std::string_view reason);

}  // namespace corvanel
