// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/engine/operation_stop.h"

#include "core/engine/chip_operations.h"
#include "core/engine/program_state.h"

namespace corvanel {

bool request_stop(ProgramState& state) {
    if (!state.runner.running()) {
        state.stop_requested = false;
        return false;
    }
    state.stop_requested = true;
    return true;
}

bool stop_now(ProgramState& state) {
    if (state.runner.in_step()) {
        return false;
    }
    state.stop_requested = false;
    if (state.runner.running()) {
        abort_operation(state, kOperationStoppedText);
    }
    return true;
}

bool stop_at_answer(ProgramState& state) {
    if (!state.stop_requested) {
        return false;
    }
    if (!state.runner.running() || state.runner.in_step()) {
        return false;
    }
    if (state.runner.calibration_at_risk()) {
        // Between the erase and the write-back of the chip's calibration: the stop
        // waits until the calibration is back in the chip.
        return false;
    }
    state.stop_requested = false;
    abort_operation(state, kOperationStoppedText);
    return true;
}

}  // namespace corvanel
