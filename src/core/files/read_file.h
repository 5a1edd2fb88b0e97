// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The one way the program reads a whole input file (a HEX file, the device
// database, the configuration fields, the board's chip state). Only a regular
// file is read: a FIFO would block the program until some other program writes
// to it, and a device such as /dev/zero never ends. A file larger than any
// input the program knows (kMaxInputFileBytes) is refused before it fills the
// memory.
//
// Paths are taken as the bytes the file system uses.

#include <cstdint>
#include <string>

namespace corvanel {

// 64 MiB: a HEX file of the largest chip is well under 1 MiB.
inline constexpr std::uintmax_t kMaxInputFileBytes = 64ULL * 1024 * 1024;

struct FileReadResult {
    bool ok = false;
    std::string bytes;
    // Why not, in words for the user without a final point: "It is not a
    // regular file", "It is larger than 64 MiB", or the system's error text.
    std::string error;
};

[[nodiscard]] FileReadResult read_input_file(const std::string& path,
                                             std::uintmax_t max_bytes = kMaxInputFileBytes);

}  // namespace corvanel
