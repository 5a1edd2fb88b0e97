// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The line rate agreed with the board (104 47h, docs/board-protocol.md): after
// identify, the fastest rate the board lists and this end of the line can take,
// kept only when a check exchange at the new rate holds, else the old rate again.

#include <cstdint>
#include <optional>

namespace corvanel {

struct ProgramState;

// The rate code to try next: the fastest the board lists at offset 16 that
// `fastest` (this end's limit) allows, faster than `current` and not in
// `failed` (bit k: code k). Nothing when none is left.
[[nodiscard]] std::optional<std::uint8_t> next_line_rate(std::uint8_t listed, std::int32_t fastest,
                                                         std::int32_t current, std::uint8_t failed);

// After identify: switches the line to the fastest rate both ends agree on, with
// the check exchange and the fall-back. Nothing when the user pinned the rate,
// the board lists no rate or this end cannot switch. Answers the rate the line
// runs at afterwards (0: the starting rate).
std::int32_t agree_line_rate(ProgramState& state);

// Switches the line to rate code `code` (0: back to the starting rate) with the
// check exchange and the fall-back, whatever the agreed rate; true when both ends
// run at it afterwards. For the board test, which exercises every declared rate.
bool switch_line_rate(ProgramState& state, std::uint8_t code);

// Before the port closes: the board back to its starting rate (104 47h 0), so
// that the next host finds it where it starts. Nothing at the starting rate.
void leave_line_rate(ProgramState& state);

}  // namespace corvanel
