// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/engine/algorithm_check.h"

#include "core/devices/model_application.h"
#include "core/engine/script_runner.h"

namespace corvanel {

std::string algorithm_problem(std::string_view algorithm_text) {
    const InstructionList instructions = split_instructions(algorithm_text);
    bool open = false;
    for (std::size_t i = 0; i < instructions.size(); ++i) {
        const std::string& text = instructions[i];
        const std::string where = " (instruction " + std::to_string(i + 1) + ")";
        const InstructionKind kind = decode_instruction(text).kind;
        if (kind == InstructionKind::Unrecognized) {
            if (text.find('\n') != std::string::npos) {
                // A file saved with LF line ends reads as one long line.
                return "a line feed inside the line: the file must end its lines with CR LF";
            }
            return "unknown instruction \"" + text + "\"" + where;
        }
        if (kind == InstructionKind::Begin || kind == InstructionKind::BeginVppFirst) {
            if (open) {
                return "\"" + text + "\" before the \"end\" of the section before it" + where;
            }
            open = true;
        } else if (kind == InstructionKind::End) {
            if (!open) {
                return "\"end\" without its \"begin\"" + where;
            }
            open = false;
        }
    }
    if (open) {
        return "the last section has no \"end\": the voltages would stay on";
    }
    return {};
}

}  // namespace corvanel
