// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/engine/progress_estimate.h"

#include <charconv>

namespace corvanel {

namespace {

constexpr double kMinimumSeconds = 0.25;
constexpr long long kMinimumWords = 4;

}  // namespace

std::optional<ProgressCount> parse_progress(std::string_view text) {
    if (text.size() < 5 || (text[0] != 'F' && text[0] != 'E') || text[1] != ':') {
        return std::nullopt;
    }
    const auto slash = text.find('/');
    if (slash == std::string_view::npos) {
        return std::nullopt;
    }
    ProgressCount count;
    count.memory = text[0];
    const std::string_view a = text.substr(2, slash - 2);
    const std::string_view b = text.substr(slash + 1);
    const auto ra = std::from_chars(a.data(), a.data() + a.size(), count.done);
    const auto rb = std::from_chars(b.data(), b.data() + b.size(), count.total);
    // The whole text is the count: "F:1/2 words" is some other message.
    if (ra.ec != std::errc() || ra.ptr != a.data() + a.size() || rb.ec != std::errc() ||
        rb.ptr != b.data() + b.size() || count.total <= 0 || count.done < 0) {
        return std::nullopt;
    }
    return count;
}

void ProgressEstimate::note(const ProgressCount& count, double now) {
    if (!started_ || count.memory != last_.memory || count.total != last_.total ||
        count.done < last_.done) {
        started_ = true;
        first_ = count;
        first_time_ = now;
    }
    last_ = count;
    last_time_ = now;
}

std::optional<double> ProgressEstimate::seconds_left() const {
    const double elapsed = last_time_ - first_time_;
    const long long handled = last_.done - first_.done;
    if (!started_ || elapsed < kMinimumSeconds || handled < kMinimumWords) {
        return std::nullopt;
    }
    const long long remaining = last_.total > last_.done ? last_.total - last_.done : 0;
    return elapsed * static_cast<double>(remaining) / static_cast<double>(handled);
}

}  // namespace corvanel
