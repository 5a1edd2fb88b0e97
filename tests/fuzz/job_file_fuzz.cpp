// SPDX-License-Identifier: GPL-3.0-or-later
// A production job's text, any text: a refusal names the file and says why; an
// accepted job, written back, reads as a job that writes the same text again
// (ranges keep hundredths, as typed), and the board's rails at either end of a
// range the job fixes are taken while a rail outside it, or none, is refused.

#include <cstdlib>
#include <string>

#include "core/engine/job_file.h"

using namespace corvanel;

namespace {

// A reading the other rail's range takes (none where the job fixes no range).
std::optional<double> range_or(const std::optional<VoltRange>& range) {
    return range ? std::optional<double>(range->low) : std::nullopt;
}

void check_rail(const JobFile& job, bool vdd) {
    const std::optional<VoltRange>& range = vdd ? job.vdd : job.vpp;
    if (!range) {
        return;
    }
    auto refusal = [&](std::optional<double> volts) {
        return vdd ? job_rails_refusal(job, volts, range_or(job.vpp))
                   : job_rails_refusal(job, range_or(job.vdd), volts);
    };
    if (!refusal(range->low).empty() || !refusal(range->high).empty()) {
        std::abort();
    }
    if (refusal(range->high + 0.5).empty() || refusal(std::nullopt).empty()) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const JobParseResult parsed = parse_job_text(text, "bench.corvanel-job");
    if (!parsed.job) {
        if (parsed.error.rfind("bench.corvanel-job:", 0) != 0 ||
            parsed.error.size() <= std::string_view("bench.corvanel-job: ").size()) {
            std::abort();
        }
        return 0;
    }
    if (!parsed.error.empty()) {
        std::abort();
    }
    const std::string written = job_text(*parsed.job);
    const JobParseResult again = parse_job_text(written, "bench.corvanel-job");
    if (!again.job || job_text(*again.job) != written) {
        std::abort();
    }
    check_rail(*again.job, true);
    check_rail(*again.job, false);
    return 0;
}
