// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Production bookkeeping: the pass / fail counters of a session and the log
// file, one CSV line per Program All:
//   time,model,device_id,revision,checksum,result,serial,file,file_checksum,reason
//   2026-12-09T16:20:05Z,PIC16F628A,1060,02,3A5F,pass,1000,app.hex,3A2B,
// The time is UTC in ISO 8601; the device ID (the ID word without its revision
// bits, four hex digits) and the revision (at least two hex digits: the ID
// word's revision bits, or the revision word of the parts that have one) are
// what the operation read from the chip, empty when it read none; the checksum
// is that of the image programmed into the chip (the file with the serial
// number and the memories kept from the chip; see core/devices/buffer_checksum.h);
// the result is "pass", "fail" or "cancelled" (a question answered No, a
// Stop: the chip may be untouched or half programmed, but nothing failed);
// the serial number is the decimal number written, empty without one; the
// file and its checksum are the HEX file as loaded; the reason says why a run
// did not pass; the port is the board's port as it was named (several boards
// programming at once share one log), empty where none was named. The first
// six columns are those of older logs and the port came last, so lines
// appended to an old log still read the same there. A line is appended with
// one write and flushed at once, so a log that several runs share keeps whole
// lines.

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>

namespace corvanel {

inline constexpr std::string_view kProductionLogHeader =
    "time,model,device_id,revision,checksum,result,serial,file,file_checksum,reason,port";

enum class ProductionResult { Pass, Fail, Cancelled };

// "pass", "fail", "cancelled".
[[nodiscard]] std::string_view production_result_text(ProductionResult result);

// Why a chip fails whose Verify found no chip of the model in the socket (a
// chip pulled out while it was written) and whose question was answered No.
// Program All had already erased and written it, so it is no cancelled chip,
// which a question stopped before anything was written.
[[nodiscard]] std::string gone_at_verify_reason(const std::string& model);

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
    // The revision word of the parts whose ID fills the whole word; nothing:
    // the revision is the ID word's bits outside the mask.
    std::optional<std::int32_t> revision_word;
    std::uint16_t checksum = 0;
    ProductionResult result = ProductionResult::Fail;
    std::optional<std::uint64_t> serial;
    std::string file;
    std::optional<std::uint16_t> file_checksum;
    // Why the run did not pass (one line); empty for a pass.
    std::string reason;
    // The board's port; empty when none was named.
    std::string port;
};

// "2026-12-09T16:20:05Z".
[[nodiscard]] std::string iso8601_utc(std::time_t time);

// The record's line, without the line end. A model name with a comma or quote
// is quoted as CSV wants.
[[nodiscard]] std::string production_log_line(const ProductionRecord& record);

// Why `path` cannot be a production log: it exists and is not a regular file
// (a FIFO would hold the program in its open until a reader comes, a device
// would take the lines). Nothing when it may be appended to.
[[nodiscard]] std::optional<std::string> production_log_refusal(const std::string& path);

// Appends the line (and the header first when the file is empty or new) to the
// file at `path` (bytes for the file system). Answers an error text, or nothing
// when the line was written and flushed.
[[nodiscard]] std::optional<std::string> append_production_log(const std::string& path,
                                                               const ProductionRecord& record);

}  // namespace corvanel
