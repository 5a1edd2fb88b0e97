// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/engine/program_state.h"

#include "core/engine/chip_operations.h"
#include "core/engine/operation_stop.h"
#include "core/engine/supply_limits.h"

namespace corvanel {

ProgramState::ProgramState() : runner(*this) {
    // Every voltages-on, whichever operation sends it, passes the supplies' limits.
    install_supply_limits(*this);
    link.process_events = [this] { engine_host().process_events(); };
    link.pause = [this](int milliseconds) { engine_host().pause(milliseconds); };
    link.on_received_byte = [this] {
        if (!stop_at_answer(*this)) {
            runner.run_step();
        }
    };
    // Outside an operation nobody waits for an answer: the next one starts afresh.
    link.on_answer_fault = [this](std::uint8_t, std::int32_t) {
        if (runner.running()) {
            abort_operation(*this, kOutOfStepText);
        }
    };
}

}  // namespace corvanel
