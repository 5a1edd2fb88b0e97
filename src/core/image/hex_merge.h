// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// "Merge HEX File": a second HEX file (a boot loader beside an application, a
// calibration table beside a program) laid over the buffer. Where both hold
// data for the same location and the data differ, one of the two programs
// would lose a word on the chip: the merge is refused and names the lowest such
// address with both words, and the buffer stays as it was. A location the
// buffer holds blank (3FFFh, FFh, the erased configuration word) takes the
// second file's value: blank is what an unused location looks like, whether or
// not the first file wrote it.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/image/intel_hex_reader.h"
#include "core/image/memory_image.h"

namespace corvanel {

struct HexMergeResult {
    bool merged = false;
    // The second file's own load messages (a record fault, the out-of-range
    // warning), then the refusal when the two disagree.
    std::vector<HexMessage> messages;
    // "HEX file merged: 128 words from boot.hex." or "HEX file not merged!"
    std::string status_text;
    // Word addresses of the second file the chip does not have, and whether it
    // lacked its end record (the caller treats both as for the first file).
    std::int64_t out_of_range_count = 0;
    bool cut_short = false;
    // The lowest address where the two files disagree (-1: none), and both values.
    std::int64_t conflict_address = -1;
    std::int32_t buffer_value = 0;
    std::int32_t file_value = 0;
};

inline constexpr std::string_view kHexNotMergedStatus = "HEX file not merged!";

// Merges the HEX bytes into `image`; `path` names the file in the texts. The
// image changes only when the merge succeeds.
[[nodiscard]] HexMergeResult merge_hex_text(std::string_view bytes, const std::string& path,
                                            MemoryImage& image);
// The same for the file at `path`.
[[nodiscard]] HexMergeResult merge_hex_file(const std::string& path, MemoryImage& image);

}  // namespace corvanel
