// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A job for the production bench (*.corvanel-job): everything an operator must
// not get wrong, fixed in one plain text file. Lines "key: value"; blank lines and
// lines starting with # are ignored; every key at most once:
//   model:    the model's name as the device database writes it       (needed)
//   hex:      the HEX file, relative to the job's folder               (needed)
//   sha256:   the HEX file's SHA-256, 64 hexadecimal digits             (needed)
//   memories: what Program All writes, as --only ("flash,eeprom"); all
//   serial:   the serial number plan, as --serial ("1000@E:00/2")
//   log:      the production log, relative to the job's folder
//   vdd, vpp: the rails the board must report, "4.75-5.25" volts
//   repeat:   yes (a series, one chip after another) or no (one chip); yes
// Every chip is verified. See docs/job-files.md.

#include <optional>
#include <string>
#include <string_view>

#include "core/engine/region_selection.h"

namespace corvanel {

inline constexpr std::string_view kJobFileSuffix = ".corvanel-job";

struct VoltRange {
    double low = 0.0;
    double high = 0.0;
    [[nodiscard]] bool holds(double volts) const {
        constexpr double kSlack = 0.005;  // hundredths, as typed
        return volts >= low - kSlack && volts <= high + kSlack;
    }
    friend bool operator==(const VoltRange&, const VoltRange&) = default;
};

struct JobFile {
    std::string model;
    std::string hex;
    std::string sha256;  // lower case
    RegionSelection memories;
    std::string serial;  // empty: no serial numbers
    std::string log;     // empty: no log
    std::optional<VoltRange> vdd;
    std::optional<VoltRange> vpp;
    bool repeat = true;
    friend bool operator==(const JobFile&, const JobFile&) = default;
};

struct JobParseResult {
    std::optional<JobFile> job;
    // "FILE:LINE: what is wrong", or "FILE: ..." for what no line holds.
    std::string error;
};

// Reads a job's text; `file_name` names it in the errors.
[[nodiscard]] JobParseResult parse_job_text(std::string_view text, std::string_view file_name);

// The job as its file holds it (what parse_job_text reads back unchanged).
[[nodiscard]] std::string job_text(const JobFile& job);

// Why the board's rails do not fit the job ("The board's Vpp reads 8.70 V; the
// job expects 12.50-13.50 V."), or empty. A rail the job fixes that the board
// does not report (and no setting gives) is refused too.
[[nodiscard]] std::string job_rails_refusal(const JobFile& job, std::optional<double> board_vdd,
                                            std::optional<double> board_vpp);

}  // namespace corvanel
