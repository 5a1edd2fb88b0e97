// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The hard limits of the chip's supplies, checked by the link before every
// voltages-on (101, 102, 104 40h/42h) whatever the operation: a Vpp above the
// model's "vpp:" window or a Vdd above its "vdd:" maximum harms the chip, so no
// answer to a question (nor the tool's --force) lets it through. The questions
// of vpp_guard.h and vdd_guard.h remain for what harms nothing: too low a
// voltage, an unknown one.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/devices/model_application.h"

namespace corvanel {

struct ProgramState;

// A Vpp level of a board that declares them (extensions 45h, 49h, 46h).
struct VppLevel {
    std::uint8_t code = 0;   // the extension that selects it
    std::int32_t level = 0;  // as identify reports it (board_identity::kLevel...)
    double nominal_volts = 0.0;
    std::string_view name;
};

// The level whose nominal lies inside the model's "vpp:" window with the widest
// margin; nothing when none does, or the model names no window.
[[nodiscard]] std::optional<VppLevel> vpp_level_for(const ActiveModel& model);

// A Vpp to set a trimmer to for `window`: the upper middle of it, clear of the
// top by a fifth of the window ("8.5-8.8 V" for 8.0-9.0 V).
[[nodiscard]] std::string trimmer_range_text(const VppWindow& window);

// Why the voltages must stay off for the applied model on this board, or an
// empty text. `low_voltage`: MCLR stays low, so only the Vdd is judged.
[[nodiscard]] std::string supply_refusal(const ProgramState& state, bool low_voltage);

// Whether a plain board (no identify answer) must first be told its Vpp: the
// model's window tops at 9 V or less and "Board Vpp" is not set.
[[nodiscard]] bool board_vpp_needed(const ProgramState& state, bool low_voltage);

// Installs supply_refusal as the link's voltages check; ProgramState does so at
// its creation, so that every voltages-on passes it.
void install_supply_limits(ProgramState& state);

// Before an operation, Identify Chip or Test Vpp: shows the refusal as an error
// with `status` in the status line and sets operation_refused; true when the
// voltages may come on. On a plain board whose Vpp is needed the host is first
// asked for it (EngineHost::ask_board_vpp); the value given is then judged
// like a measured one.
[[nodiscard]] bool check_supply_limits(ProgramState& state, bool low_voltage,
                                       std::string_view status);
inline constexpr std::string_view kSupplyRefusedStatus = "Voltages refused.";

}  // namespace corvanel
