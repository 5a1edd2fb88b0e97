// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Loading an Intel HEX program file into the memory image.
//
// The reader is strict: upper-case hex digits only, even byte counts and even
// addresses in data records, and only record types 00, 01, 04 and 05. The first
// faulty record abandons the load and leaves the image blank. Data for
// addresses the chip does not have is dropped and listed in a warning, and the
// load still succeeds.
//
// Nothing here shows anything. Every entry answers the texts the program shows
// (message box texts with their kinds, the status line, the loaded-file label)
// so that the window and the command-line tool present exactly the same words.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/image/memory_image.h"
#include "core/message_kind.h"

namespace corvanel {

// A run of consecutive word addresses that received data: [first, end).
struct WordRange {
    std::int64_t first = 0;
    std::int64_t end = 0;
};

// The most runs a load records; a file scattered wider than this (no compiler
// writes one) is only said to be too wide for a model to be named.
inline constexpr std::size_t kMaxWordRanges = 1024;

// One message for the message box. Lines are separated by CR LF; an empty
// caption means the window title.
struct HexMessage {
    std::string text;
    int kind = message_kind::kError;
    std::string caption;
};

// The faults a record can have, numbered as their messages are.
enum class HexRecordFault {
    None = 0,
    NoColon = 1,
    TooShort = 2,
    BadChecksum = 3,
    BadRecordType = 4,
    BadExtendedAddress = 5,
    BadByteCount = 6,
    BadAddress = 7,
    OddByteCount = 8,
    OddAddress = 9,
    WrongDataLength = 10,
    BadDataWord = 11,
};

// The message for a fault, as it follows the line number: ": The record is too short."
[[nodiscard]] std::string_view hex_fault_text(HexRecordFault fault);

// The line added under a record's fault when its digits are hex digits but some
// are lower case: the reader keeps to the format's upper case, and says why.
inline constexpr std::string_view kLowerCaseDigitsText =
    "The record's hex digits are lower case; Intel HEX files are read with upper-case "
    "digits (A-F) only.";

struct HexReadResult {
    bool loaded = false;
    // Set when the load failed because of a record; `line_number` counts the
    // lines after line-end normalisation, from 1.
    HexRecordFault fault = HexRecordFault::None;
    int line_number = 0;
    // Set when the file itself could not be opened or read.
    bool file_error = false;
    // An end-of-file record (type 01) was met. A file without one still loads,
    // but may have been cut short at a line boundary (an interrupted copy or
    // download): what is missing cannot be told from what is there.
    bool end_record = false;
    // One more than the highest FLASH word address that received data.
    std::int32_t flash_extent = 0;
    // Word addresses met outside the chip, as hex4 texts each followed by ", ",
    // in the order met. Only the first 16 and the last 8 entries are kept: that
    // is all the warning ever shows, and a hostile file cannot grow it without end.
    std::int64_t out_of_range_count = 0;
    std::string out_of_range_head;
    std::string out_of_range_tail;
    // The highest word address with data (-1: none), and the runs of addresses
    // with data in the order met; `ranges_complete` is false when the file had
    // more runs than kMaxWordRanges.
    std::int64_t highest_address = -1;
    std::vector<WordRange> ranges;
    bool ranges_complete = true;
    // The error or the out-of-range warning, in the order to show them.
    std::vector<HexMessage> messages;
};

// Reads HEX file bytes into `image`, which the caller has cleared for the
// applied model. On failure the image is cleared again, so there is never a
// partial load.
[[nodiscard]] HexReadResult load_hex_text(std::string_view bytes, MemoryImage& image);

// The same for the file at `path`. A file that cannot be opened or read fails
// with an error message naming it.
[[nodiscard]] HexReadResult load_hex_file(const std::string& path, MemoryImage& image);

// Everything the open command shows after a load.
struct HexOpenReport {
    bool loaded = false;
    // A loaded file without an end record (see HexReadResult::end_record).
    bool cut_short = false;
    std::int32_t flash_extent = 0;
    // Word addresses of the file that the chip does not have (their data was
    // dropped; the warning among the messages lists them).
    std::int64_t out_of_range_count = 0;
    // As in HexReadResult: what the file covers, to tell which models it fits.
    std::int64_t highest_address = -1;
    std::vector<WordRange> ranges;
    bool ranges_complete = true;
    std::vector<HexMessage> messages;
    // "HEX file not loaded!" or "Operation completed. Total N (KK) program words loaded."
    std::string status_text;
    // short_path of the file on success, empty on failure.
    std::string loaded_file_label;
    // The folder of the file, ending with its separator: the remembered folder
    // ("Last Path") for the next file dialog.
    std::string last_path;
};

// Clears the image, reads the file, clears it again when the file is rejected,
// and answers what to show.
[[nodiscard]] HexOpenReport open_hex_file(const std::string& path, MemoryImage& image);
// The same over bytes already read; `path` names the file in the answers.
[[nodiscard]] HexOpenReport open_hex_text(std::string_view bytes, const std::string& path,
                                          MemoryImage& image);

inline constexpr std::string_view kHexNotLoadedStatus = "HEX file not loaded!";
// Said before programming or verifying a loaded file without an end record.
inline constexpr std::string_view kNoEndRecordText =
    "The file has no end record: it may be cut short.";

// "Operation completed. Total 1536 (1.5K) program words loaded."
[[nodiscard]] std::string hex_loaded_status(std::int32_t flash_extent);

// A count of words in K (1024 words), as the load report writes it: plain
// decimal without a leading zero before the point and without trailing zeros,
// cut to its first 4 characters. 1024 gives "1", 1536 "1.5", 2047 "1.99",
// 100 ".097", 0 "0".
[[nodiscard]] std::string kilo_words_text(std::int32_t words);

// Splits a path after its last separator: the folder keeps the separator.
// "/home/a/x.hex" gives {"/home/a/", "x.hex"}. On Windows "\" separates too.
struct SplitPath {
    std::string folder;
    std::string file_name;
};
[[nodiscard]] SplitPath split_path(std::string_view path);

}  // namespace corvanel
