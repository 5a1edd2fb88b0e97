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

std::optional<double> BoardIdentity::vdd_measured_volts() const {
    if (vdd_measured_mv <= 0) {
        return std::nullopt;
    }
    return vdd_measured_mv / 1000.0;
}

bool BoardIdentity::calibrated() const {
    return (status & board_identity::kStatusCalibrated) != 0;
}

std::optional<std::size_t> identify_answer_bytes(std::uint8_t first_byte) {
    switch (first_byte) {
        case board_identity::kVersion:
            return kIdentifyAnswerBytes;
        case board_identity::kVersion2:
            return kIdentifyAnswerBytes2;
        default:
            break;
    }
    return std::nullopt;
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
    if (answer.empty()) {
        return std::nullopt;
    }
    const std::optional<std::size_t> size = identify_answer_bytes(answer[0]);
    if (!size || answer.size() != *size || answer[*size - 1] != board_command::kIdentify) {
        return std::nullopt;
    }
    BoardIdentity identity;
    identity.version = answer[0];
    identity.features = static_cast<std::uint16_t>(field(answer, 1));
    identity.buffer_bytes = field(answer, 3);
    identity.vdd_selected_mv = field(answer, 5);
    identity.vdd_measured_mv = field(answer, 7);
    identity.vpp_measured_mv = field(answer, 9);
    if (identity.version >= board_identity::kVersion2) {
        identity.vpp_level = answer[board_identity::kVppLevelAt];
        identity.status = answer[board_identity::kStatusAt];
        identity.refusal = answer[board_identity::kRefusalAt];
        identity.target_vdd_mv = field(answer, board_identity::kTargetVddAt);
        identity.line_rates = answer[board_identity::kLineRatesAt];
    }
    if (identity.buffer_bytes < kLongestCommandBytes ||
        identity.vdd_selected_mv > kHighestVddMillivolts ||
        identity.vdd_measured_mv > kHighestVppMillivolts ||
        identity.vpp_measured_mv > kHighestVppMillivolts ||
        identity.target_vdd_mv > kHighestVppMillivolts ||
        identity.vpp_level > board_identity::kLevelHigh) {
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
    if (identity.has(board_identity::kHasVppCalibration)) {
        text += identity.calibrated() ? " (calibrated)" : " (not calibrated)";
    }
    return text;
}

std::string board_refusal_text(const BoardIdentity& identity) {
    const std::string vpp =
        identity.vpp_volts() ? "its Vpp read " + volts_text(*identity.vpp_volts()) : "its Vpp";
    const std::string rail = identity.vdd_measured_volts()
                                 ? "its Vdd rail read " + volts_text(*identity.vdd_measured_volts())
                                 : "its Vdd rail";
    switch (identity.refusal) {
        case board_identity::kRefusedVppHigh:
            return vpp +
                   ", above the range of the Vpp level selected: is the Vpp trimmer or "
                   "the boost module's feedback at fault?";
        case board_identity::kRefusedVppLow:
            return vpp +
                   ", below the range of the Vpp level selected: is the boost module "
                   "powered?";
        case board_identity::kRefusedVddRail:
            return rail + ", outside the range of the Vdd selected: is the Vdd regulator at fault?";
        case board_identity::kRefusedTargetVdd:
            return "the target's Vdd read " + volts_text(identity.target_vdd_mv / 1000.0) +
                   " after switch-on: is the socket shorted?";
        default:
            break;
    }
    return {};
}

}  // namespace corvanel
