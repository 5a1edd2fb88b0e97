// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/engine/device_id_guard.h"

#include <optional>

#include "core/devices/device_identity.h"
#include "core/engine/chip_operations.h"
#include "core/engine/program_state.h"
#include "core/image/hex_text.h"

namespace corvanel {

InstructionList id_read_script(const ActiveModel& model) {
    return model.id_list.empty() ? split_instructions(kGenericIdReadAlgorithm) : model.id_list;
}

InstructionList guarded_script(const ProgramState& state, OperationKind kind,
                               const InstructionList& algorithm) {
    InstructionList script;
    if (state.model.device_id) {
        script = id_read_script(state.model);
        script.emplace_back("checkdeviceid");
    }
    // A region erase that is to keep memories must know first whether code
    // protection would make it clear them all (see kRegionEraseProtectedText).
    const bool keeps = kind == OperationKind::Program && !state.erase_keeps.none() &&
                       erase_keeps_regions(algorithm);
    if (kind == OperationKind::Verify || keeps) {
        const ProtectionBits bits = state.protection();
        if (bits.program != 0 || bits.data != 0) {
            const InstructionList read = split_instructions(
                state.model.command_set->protection_read(state.image.map, bits.word));
            script.insert(script.end(), read.begin(), read.end());
        }
    }
    if (script.empty()) {
        return algorithm;
    }
    script.insert(script.end(), algorithm.begin(), algorithm.end());
    return script;
}

std::string_view cancelled_text(OperationKind kind) {
    switch (kind) {
        case OperationKind::Program:
            return "Program all cancelled.";
        case OperationKind::Erase:
            return "Erase all cancelled.";
        case OperationKind::Read:
            return "Read all cancelled.";
        case OperationKind::Blank:
            return "Blank check cancelled.";
        case OperationKind::Verify:
            break;
    }
    return "Verify cancelled.";
}

bool confirm_before_start(ProgramState& state, const std::string& question, OperationKind kind) {
    if (question.empty()) {
        return true;
    }
    EngineHost& host = state.engine_host();
    if (host.show_message(question, message_kind::kQuestion, "") == message_result::kYes) {
        return true;
    }
    state.operation_refused = true;
    host.set_status_text(cancelled_text(kind));
    host.process_events();
    return false;
}

bool confirm_device_id(ProgramState& state) {
    if (!state.model.device_id) {
        return true;
    }
    // A byte doubled or thrown in on the line shifts every answer after it: the
    // word read is then not the chip's, and a byte is left over. Such a word
    // must not become a question about another model.
    if (answers_after_end(state)) {
        abort_operation(state, kOutOfStepText);
        return false;
    }
    const std::string question =
        device_id_question(state.database, *state.model.device_id, state.model.model_name,
                           state.runner.device_id_word, state.runner.revision_word);
    if (question.empty()) {
        return true;
    }
    EngineHost& host = state.engine_host();
    if (host.show_message(question, message_kind::kQuestion, "") == message_result::kYes) {
        return true;
    }
    const std::optional<OperationKind> kind = operation_from_name(state.runner.operation_name);
    state.operation_refused = true;
    state.runner.stop();
    state.link.set_receive_notification(0);
    // The ID read normally ends with its own "end"; this covers one that does not.
    state.link.voltages_off();
    // A Read All cleared the image before the first command: it gets it back.
    if (kind == OperationKind::Read && state.image_before_read) {
        state.image = *state.image_before_read;
        host.redraw_tables();
    }
    state.image_before_read.reset();
    host.enable_commands();
    host.set_status_text(cancelled_text(kind.value_or(OperationKind::Program)));
    host.process_events();
    return false;
}

}  // namespace corvanel
