#include "core/engine/chip_identify.h"

#include "core/devices/device_identity.h"
#include "core/engine/program_state.h"

namespace corvanel {

StartResult start_identify(ProgramState& state) {
    ScriptRunner& runner = state.runner;
    EngineHost& host = state.engine_host();
    if (runner.running() || runner.in_step()) {
        return StartResult::Busy;
    }
    if (!state.link.port_ready) {
        host.set_status_text("Serial port " + std::to_string(state.link.port_number) + " error!");
        return StartResult::PortNotReady;
    }
    runner.load_script(split_instructions(kGenericIdReadAlgorithm));
    runner.address = 0;
    runner.loop_start = 0;
    runner.device_id_word = -1;
    state.operation_refused = false;
    state.start_time = host.clock_seconds();
    host.disable_commands();
    host.set_status_text(kIdentifyStartText);
    host.process_events();
    state.link.discard_waiting_bytes();
    runner.next_instruction = 1;
    runner.phase = 0;
    runner.word_accumulator = 0;
    runner.operation_name = std::string(kIdentifyOperationName);
    runner.run_step();
    return StartResult::Started;
}

void identify2_routine(ProgramState& state) {
    EngineHost& host = state.engine_host();
    host.enable_commands();
    state.elapsed_text = elapsed_seconds_text(host.clock_seconds() - state.start_time);
    host.set_status_text(identify_report(state.database, state.runner.device_id_word));
    host.process_events();
    host.chip_identified(state.runner.device_id_word);
}

}  // namespace corvanel
