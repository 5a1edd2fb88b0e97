// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Recognising the text of one instruction of the algorithm language.

#include <cstdint>
#include <string>
#include <string_view>

#include "core/devices/instruction_kind.h"

namespace corvanel {

struct DecodedInstruction {
    InstructionKind kind = InstructionKind::Unrecognized;
    std::int32_t code = 0;  // chip command code, 0..255
    // Data literal (WriteLiteral), milliseconds (Wait), user ID index 0..3 or
    // configuration word number 3..5.
    std::int32_t value = 0;
};

// A check whose location is the instruction's value (the user ID index, the
// configuration word number) rather than the loop address.
[[nodiscard]] constexpr bool located_by_value(InstructionKind kind) {
    return kind == InstructionKind::CheckUserId || kind == InstructionKind::CheckConfigMore ||
           kind == InstructionKind::CheckBlankConfigMore;
}

// Recognises one instruction text, case-sensitively and without trimming.
[[nodiscard]] DecodedInstruction decode_instruction(std::string_view text);

// The fatal message for an instruction that fits no rule.
[[nodiscard]] std::string unrecognized_instruction_text(std::string_view instruction);

}  // namespace corvanel
