#include "core/engine/device_id_guard.h"

#include "core/devices/device_identity.h"
#include "core/engine/chip_operations.h"
#include "core/engine/program_state.h"

namespace corvanel {

InstructionList id_read_script(const ActiveModel& model) {
    return model.id_list.empty() ? split_instructions(kGenericIdReadAlgorithm) : model.id_list;
}

InstructionList guarded_script(const ActiveModel& model, OperationKind kind,
                               const InstructionList& algorithm) {
    if (!model.device_id || (kind != OperationKind::Program && kind != OperationKind::Erase)) {
        return algorithm;
    }
    InstructionList script = id_read_script(model);
    script.emplace_back("checkdeviceid");
    script.insert(script.end(), algorithm.begin(), algorithm.end());
    return script;
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
                           state.runner.device_id_word);
    if (question.empty()) {
        return true;
    }
    EngineHost& host = state.engine_host();
    if (host.show_message(question, message_kind::kQuestion, "") == message_result::kYes) {
        return true;
    }
    const std::string name = state.runner.operation_name;
    state.operation_refused = true;
    state.runner.stop();
    state.link.set_receive_notification(0);
    // The ID read normally ends with its own "end"; this covers one that does not.
    state.link.voltages_off();
    host.enable_commands();
    host.set_status_text(name == operation_name(OperationKind::Erase) ? "Erase all cancelled."
                                                                      : "Program all cancelled.");
    host.process_events();
    return false;
}

}  // namespace corvanel
