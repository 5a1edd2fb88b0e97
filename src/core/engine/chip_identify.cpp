// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/engine/chip_identify.h"

#include <algorithm>

#include "core/devices/device_identity.h"
#include "core/engine/board_identify.h"
#include "core/engine/board_match.h"
#include "core/engine/program_state.h"
#include "core/engine/supply_limits.h"
#include "core/engine/vpp_guard.h"

namespace corvanel {

StartResult start_identify(ProgramState& state) {
    if (const auto refused = start_refused(state)) {
        return *refused;
    }
    state.operation_refused = false;
    if (state.board_answer == BoardAnswer::Identified) {
        (void)identify_board(state);
    }
    if (!check_programming_entry(state) ||
        !check_supply_limits(state, state.low_voltage_entry(), kSupplyRefusedStatus)) {
        return StartResult::Refused;
    }
    prepare_vdd_select(state);
    state.link.encoder.set = command_sets().front();
    ScriptRunner& runner = state.runner;
    EngineHost& host = state.engine_host();
    runner.load_script(split_instructions(state.link.encoder.set->identify_script));
    reset_for_new_script(state);
    state.start_time = host.clock_seconds();
    host.disable_commands();
    host.set_status_text(kIdentifyStartText);
    host.process_events();
    state.link.discard_waiting_bytes();
    runner.rewind();
    runner.operation_name = std::string(kIdentifyOperationName);
    runner.run_step();
    return StartResult::Started;
}

namespace {

// The read in the last set found no chip: the next set, in the order of the
// table, that a board which identified itself declares; null when there is none.
// A board of the original protocol is asked in the first set only.
const CommandSet* next_read_due(const ProgramState& state) {
    if (!no_chip_answer(state.runner.device_id_word)) {
        return nullptr;
    }
    const auto sets = command_sets();
    auto set = std::find(sets.begin(), sets.end(), state.link.encoder.set);
    while (set != sets.end() && ++set != sets.end()) {
        if ((*set)->commands_feature != 0 && board_declares(state, (*set)->commands_feature)) {
            return *set;
        }
    }
    return nullptr;
}

}  // namespace

void identify2_routine(ProgramState& state) {
    if (const CommandSet* next = next_read_due(state)) {
        state.link.encoder.set = next;
        state.runner.device_id_word = -1;
        state.runner.revision_word = -1;
        state.runner.continue_with(split_instructions(next->identify_script));
        return;
    }
    EngineHost& host = state.engine_host();
    host.enable_commands();
    state.elapsed_text = elapsed_seconds_text(host.clock_seconds() - state.start_time);
    host.set_status_text(
        identify_report(state.database, state.runner.device_id_word, state.runner.revision_word));
    host.process_events();
    host.chip_identified(state.runner.device_id_word);
}

}  // namespace corvanel
