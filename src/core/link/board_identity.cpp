// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/link/board_identity.h"

#include <algorithm>

#include "core/devices/vpp_window.h"
#include "core/link/board_protocol.h"

namespace corvanel {

namespace {

// Beyond these a value is noise, not a voltage: no 14-bit part takes more Vdd
// than 6.5 V, and no Vpp module of the board reaches 30 V.
constexpr std::int32_t kHighestVddMillivolts = 6500;
constexpr std::int32_t kHighestVppMillivolts = 30000;
// The largest window the link keeps: beyond it nothing is gained.
constexpr std::int32_t kLargestDeclaredWindow = 4096;
// The longest command: 105, low byte, high byte.
constexpr std::int32_t kLongestCommandBytes = 3;

std::int32_t field(std::span<const std::uint8_t> bytes, std::size_t at) {
    return static_cast<std::int32_t>(bytes[at]) | (static_cast<std::int32_t>(bytes[at + 1]) << 8);
}

}  // namespace

std::optional<double> BoardIdentity::vdd_volts() const {
    const std::int32_t mv = vdd_selected_mv > 0 ? vdd_selected_mv : vdd_measured_mv;
    if (mv <= 0) {
        return std::nullopt;
    }
    return mv / 1000.0;
}

std::optional<double> BoardIdentity::vpp_volts() const {
    if (vpp_measured_mv <= 0) {
        return std::nullopt;
    }
    return vpp_measured_mv / 1000.0;
}

std::int32_t BoardIdentity::send_ahead_window() const {
    return std::clamp(buffer_bytes / kLongestCommandBytes, 0, kLargestDeclaredWindow);
}

std::optional<BoardIdentity> parse_board_identity(std::span<const std::uint8_t> answer) {
    if (answer.size() != kIdentifyAnswerBytes ||
        answer[kIdentifyAnswerBytes - 1] != board_command::kIdentify) {
        return std::nullopt;
    }
    BoardIdentity identity;
    identity.version = answer[0];
    identity.features = static_cast<std::uint16_t>(field(answer, 1));
    identity.buffer_bytes = field(answer, 3);
    identity.vdd_selected_mv = field(answer, 5);
    identity.vdd_measured_mv = field(answer, 7);
    identity.vpp_measured_mv = field(answer, 9);
    if (identity.version < 1 || identity.buffer_bytes < kLongestCommandBytes ||
        identity.vdd_selected_mv > kHighestVddMillivolts ||
        identity.vdd_measured_mv > kHighestVddMillivolts ||
        identity.vpp_measured_mv > kHighestVppMillivolts) {
        return std::nullopt;
    }
    return identity;
}

std::string board_identity_text(const BoardIdentity& identity) {
    std::string text = "Corvanel board v" + std::to_string(identity.version);
    if (const auto vdd = identity.vdd_volts()) {
        text += ", Vdd " + volts_text(*vdd);
    }
    if (const auto vpp = identity.vpp_volts()) {
        text += ", Vpp " + volts_text(*vpp);
    }
    return text;
}

}  // namespace corvanel
