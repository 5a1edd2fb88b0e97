// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Production bookkeeping: the pass / fail counters of a session and the log
// file, one CSV line per Program All:
//   time,model,device_id,revision,checksum,result
//   2026-12-09T16:20:05Z,PIC16F628A,1060,02,3A5F,pass
// The time is UTC in ISO 8601; the device ID (the ID word without its revision
// bits, four hex digits) and the revision (two hex digits) are what the
// operation read from the chip, empty when it read none; the checksum is that
// of the image programmed (see core/devices/buffer_checksum.h); the result is "pass" or
// "fail". A line is appended with one write and flushed at once, so a log that
// several runs share keeps whole lines.

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>

namespace corvanel {

inline constexpr std::string_view kProductionLogHeader =
    "time,model,device_id,revision,checksum,result";

struct ProductionCounters {
    std::int64_t passed = 0;
    std::int64_t failed = 0;

    [[nodiscard]] std::int64_t total() const { return passed + failed; }
    void count(bool pass) { ++(pass ? passed : failed); }
    void reset() { passed = failed = 0; }
};

struct ProductionRecord {
    std::time_t time = 0;
    std::string model;
    // The device ID word as read (revision bits included) and the model's mask
    // of the part's bits; nothing when no ID was read.
    std::optional<std::int32_t> id_word;
    std::int32_t id_mask = 0x3FE0;
    std::uint16_t checksum = 0;
    bool passed = false;
};

// "2026-12-09T16:20:05Z".
[[nodiscard]] std::string iso8601_utc(std::time_t time);

// The record's line, without the line end. A model name with a comma or quote
// is quoted as CSV wants.
[[nodiscard]] std::string production_log_line(const ProductionRecord& record);

// Appends the line (and the header first when the file is empty or new) to the
// file at `path` (bytes for the file system). Answers an error text, or nothing
// when the line was written and flushed.
[[nodiscard]] std::optional<std::string> append_production_log(const std::string& path,
                                                               const ProductionRecord& record);

}  // namespace corvanel
