// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Asking the board what it is (command 107), once the port is open and again
// before every operation: its Vdd and measured Vpp steer the guards, its buffer
// the send-ahead window, and its Vdd select the supply sent before voltages-on.
// A board of the original protocol does not answer and is used as before.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/link/board_identity.h"

namespace corvanel {

struct ProgramState;

enum class BoardAnswer {
    NotAsked,    // the port is not open, or nothing may be sent now
    Identified,  // a record came: ProgramState::board holds it
    Plain,       // nothing came within the wait: a board of the original protocol
    Garbled,     // bytes came that are no record, twice, or a board that answered
                 // before answers no more: high-voltage operations are refused
};

inline constexpr std::string_view kGarbledBoardText =
    "Board's identity garbled: high-voltage operations refused";

// How long the board has to answer 107. The board server and the firmware
// answer within a few milliseconds; a USB adapter's latency timer adds 16 ms, and
// a computer busy with other work (a board server started a moment ago among
// several programs) has been seen to take over 250 ms. A plain board of the
// original protocol pays this once at each port opened.
inline constexpr double kIdentifyWaitSeconds = 0.5;
// A board that sent its banner answers identify for certain: a missed answer
// would lose the measured-Vpp guard, so it gets as long as the banner wait.
inline constexpr double kAnnouncedIdentifyWaitSeconds = 2.0;
// Once a record's first byte has come, the rest of it gets this long.
inline constexpr double kRecordRestWaitSeconds = 1.0;

// Sends 107 with the receive notification off and the waiting bytes thrown
// away, and reads the answer within kIdentifyWaitSeconds (a host whose clock
// stands still, or a board in this process, gets one look). A garbled answer is
// asked once more. A board that selects its Vdd or Vpp level and has not selected
// the applied model's gets them (104 43h/44h, 45h/49h/46h) and is asked again, so
// that the record measures the rails the chip will see. A port whose board
// answered once (state.board_spoke) or sent its banner is never taken for a
// plain board again: silence or garble is then Garbled. Sets state.board_answer
// and state.board. Sends nothing while "Test Vpp" holds the voltages or an
// operation runs (NotAsked, nothing changed).
BoardAnswer identify_board(ProgramState& state);

// A port opened anew: whatever board answered on the last one is forgotten, its
// echoes included, until it is asked again.
void forget_board(ProgramState& state);

// Reads the board's answer to commands the caller sent outside an operation:
// `expected` bytes, or what came within the identify wait.
[[nodiscard]] std::vector<std::uint8_t> read_board_answer(ProgramState& state,
                                                          std::size_t expected);

// "Corvanel board v1, Vdd 3.3 V, Vpp 8.6 V", "Plain board (original protocol)",
// or empty before the board was asked.
[[nodiscard]] std::string board_status_text(const ProgramState& state);

// The Vdd the board gives the chip: with Vdd select the one the link will
// choose for the applied model, else the one the board reports, else the
// user's ("Board Vdd", --vdd); nothing when unknown.
[[nodiscard]] std::optional<double> effective_board_vdd(const ProgramState& state);
// Whether that value is the board's own (reported or selected) rather than the user's.
[[nodiscard]] bool board_vdd_reported(const ProgramState& state);
// The Vpp the board measured; else the user's ("Board Vpp"); nothing when unknown.
[[nodiscard]] std::optional<double> effective_board_vpp(const ProgramState& state);
[[nodiscard]] bool board_vpp_measured(const ProgramState& state);

// Extension 43h (3.3 V) or 44h (5 V) for the applied model: 5 V where its
// "vdd:" window holds 5.0 V, else 3.3 V. A model without a window: 3.3 V for an
// LF part, else 5 V.
[[nodiscard]] std::uint8_t vdd_select_code(const ProgramState& state);
// Sets state.link.vdd_select for the applied model when the board declares Vdd
// select, and state.link.vpp_level when it declares Vpp levels (the model's
// level, vpp_level_for); clears each otherwise.
void prepare_vdd_select(ProgramState& state);

}  // namespace corvanel
