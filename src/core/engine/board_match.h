// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Whether the board on the line can run an operation for the applied model: what
// the model needs (its command set's commands, the set's low-voltage key when
// the entry is at low voltage) minus what the board declares in its identify
// record. Each need missing has one message; the first missing refuses the
// operation before anything is sent.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corvanel {

struct ProgramState;
struct CommandSet;

enum class Lack : std::uint8_t {
    ModelLowVoltage,  // the model itself has no low-voltage entry ("lvp: true")
    Commands,         // the board cannot frame the set's commands
    LowVoltageKey,    // the board cannot clock the set's low-voltage key
};

// One thing the model asks of the board: the feature bit that declares it, and
// whether it is a board extension after 104 (which a board of the original
// protocol has no way to declare or deny).
struct BoardNeed {
    Lack lack;
    std::uint16_t feature = 0;
    bool extension = false;
};

// What the board declared: nothing known (not asked yet), the original seven
// commands (a board of the original protocol, or one whose answer was garbled),
// or the feature bits of its record.
struct DeclaredFeatures {
    bool known = false;
    bool identified = false;
    std::uint16_t features = 0;
};

[[nodiscard]] DeclaredFeatures declared_features(const ProgramState& state);
// Whether the board declared every bit of `feature`: only a board that identified
// itself declares an extension (Vdd select, Vpp levels, blocks) the host may use.
[[nodiscard]] bool board_declares(const ProgramState& state, std::uint16_t feature);

// The needs of an operation on `set`, the low-voltage key only when `low_voltage`.
[[nodiscard]] std::vector<BoardNeed> board_needs(const CommandSet& set, bool low_voltage);

// The first need the board does not declare. A board not asked yet is refused
// nothing; an extension is refused only by a board that identified itself.
[[nodiscard]] std::optional<Lack> first_lack(const std::vector<BoardNeed>& needs,
                                             DeclaredFeatures declared);

inline constexpr std::string_view kLowVoltageRefusedStatus = "Low-voltage entry refused.";

// The message and the status line of each lack; "{model}" and "{set}" stand for
// the model's name and its command set's ("8-bit").
struct LackText {
    Lack lack;
    std::string_view message;
    std::string_view status;
};
inline constexpr std::array<LackText, 3> kLackTexts{{
    {Lack::ModelLowVoltage,
     "{model} cannot enter programming mode at low voltage: its model in the device database "
     "has no \"lvp: true\".\r\nSet \"Programming entry\" to \"High voltage\" to program it.",
     kLowVoltageRefusedStatus},
    {Lack::Commands, "This board cannot program {model}: it has no {set} command support.",
     "Operation refused: no {set} commands."},
    {Lack::LowVoltageKey,
     "This board cannot program {model} at low voltage: it has no low-voltage entry for {set} "
     "commands.",
     "Operation refused: no {set} commands."},
}};

struct Refusal {
    std::string message;
    std::string status;
};

// Why the applied model cannot be run on this board with this entry; nothing
// when it can.
[[nodiscard]] std::optional<Refusal> capability_refusal(const ProgramState& state);

}  // namespace corvanel
