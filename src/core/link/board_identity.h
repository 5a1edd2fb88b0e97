// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What a board of this program's own design says of itself when asked with
// command 107: a record, then 107. The record's first byte, its version, says its
// length: 11 bytes for version 1, 17 for version 2. A board of the original
// protocol does not answer at all. Little-endian 16-bit fields:
//   0     protocol version (1 or 2)
//   1-2   feature bits (board_feature)
//   3-4   receive buffer size in bytes: what the host may have in flight
//   5-6   Vdd selected now, millivolts (0: unknown)
//   7-8   Vdd measured, millivolts (0: cannot measure)
//   9-10  Vpp measured with the voltages off, millivolts (0: cannot measure)
// and in version 2 (docs/board-protocol.md):
//   11    Vpp level selected now (0: the board has no levels)
//   12    status bits (bit 0: a Vpp calibration is stored)
//   13    why the last voltages-on was refused (0: it was not)
//   14-15 the target's Vdd at the last voltages-on, millivolts (0: not measured)
//   16    reserved

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace corvanel {

namespace board_feature {
inline constexpr std::uint16_t kLowVoltageEntry = 1U << 0;  // extension 40h
inline constexpr std::uint16_t kLoadPcAddress = 1U << 1;    // extension 41h
inline constexpr std::uint16_t kVddSelect = 1U << 3;        // extensions 43h and 44h
inline constexpr std::uint16_t kVppMeasured = 1U << 5;
inline constexpr std::uint16_t kVddMeasured = 1U << 6;
}  // namespace board_feature

// What the firmware sends once when it starts (after every reset, also the one an
// Arduino makes when its port is opened). None of its bytes lies in 100-110, so
// it is never taken for an answer; the host sends nothing before it has come,
// lest the bootloader that runs first take a command for one of its own.
inline constexpr std::string_view kBoardBanner = "\r\nCORVANEL 1\r\n";
// How long the host waits for it after opening a port that may reset the board.
inline constexpr int kBannerWaitMilliseconds = 2000;

// The record's bytes with the closing 107: version 1, version 2.
inline constexpr std::size_t kIdentifyAnswerBytes = 12;
inline constexpr std::size_t kIdentifyAnswerBytes2 = 18;
// The answer's length that a record's first byte announces; nothing for a
// version this program does not know (its length cannot be told).
[[nodiscard]] std::optional<std::size_t> identify_answer_bytes(std::uint8_t first_byte);

struct BoardIdentity {
    std::int32_t version = 0;
    std::uint16_t features = 0;
    std::int32_t buffer_bytes = 0;
    std::int32_t vdd_selected_mv = 0;
    std::int32_t vdd_measured_mv = 0;
    std::int32_t vpp_measured_mv = 0;
    // Version 2 only (0 from a version-1 board).
    std::int32_t vpp_level = 0;
    std::int32_t status = 0;
    std::int32_t refusal = 0;
    std::int32_t target_vdd_mv = 0;
    // Bit k: the board switches to rate code k with 104 47h (feature bit 11).
    std::uint8_t line_rates = 0;

    [[nodiscard]] bool calibrated() const;
    [[nodiscard]] bool has(std::uint16_t feature) const { return (features & feature) != 0; }
    // The board's own Vdd: the one it selected, else the one it measured.
    [[nodiscard]] std::optional<double> vdd_volts() const;
    // The Vdd rail as the board measured it; nothing when it cannot measure.
    [[nodiscard]] std::optional<double> vdd_measured_volts() const;
    // The Vpp it measured; nothing when it cannot measure.
    [[nodiscard]] std::optional<double> vpp_volts() const;
    // The send-ahead window the buffer allows: answer bytes outstanding. A
    // command takes up to three bytes on its way in for its one answer, so a
    // window of a third of the buffer can never overflow it.
    [[nodiscard]] std::int32_t send_ahead_window() const;
};

// Nothing unless `answer` is exactly one record: as long as its version says
// (version 1 or 2), ending in 107, a buffer of at least one command, and voltages
// a board can have (a garbled record must not steer the guards).
[[nodiscard]] std::optional<BoardIdentity> parse_board_identity(
    std::span<const std::uint8_t> answer);

// "Corvanel board v1, Vdd 3.3 V, Vpp 8.6 V"; a version-2 board adds whether its
// Vpp is calibrated ("Vpp 8.6 V (calibrated)"). The parts the board does not know
// are left out.
[[nodiscard]] std::string board_identity_text(const BoardIdentity& identity);

// Why the board refused its last voltages-on, for a message: "the target's Vdd
// read 0.3 V after switch-on: is the socket shorted?". Empty when it did not say.
[[nodiscard]] std::string board_refusal_text(const BoardIdentity& identity);

}  // namespace corvanel
