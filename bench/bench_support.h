// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What the benchmark programs share: reading the time a program reports.

#include <cstdlib>
#include <optional>
#include <string>

namespace corvanel::bench {

// The seconds of the result text "... 12.34 seconds elapsed..." (the last one).
inline std::optional<double> elapsed_of(const std::string& text) {
    const auto at = text.rfind(" seconds elapsed");
    if (at == std::string::npos) {
        return std::nullopt;
    }
    auto begin = text.rfind(' ', at - 1);
    begin = begin == std::string::npos ? 0 : begin + 1;
    return std::atof(text.substr(begin, at - begin).c_str());
}

}  // namespace corvanel::bench
