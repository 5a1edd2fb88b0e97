// SPDX-License-Identifier: GPL-3.0-or-later
// The fast link: idle instructions carried out without a round trip to the board.

#include <cstdint>

#include "core/engine/program_state.h"
#include "core/engine/script_runner.h"

namespace corvanel {

namespace {

// Idle instructions carried out in one step before the step gives up and sends
// a no-operation after all, so that the window's events and the time-out check
// still get their turn. A well-formed script needs far fewer (a check loop over
// the largest FLASH is 3 x 8000h).
constexpr std::uint64_t kMaxIdleInstructionsPerStep = 1U << 20;

}  // namespace

void ScriptRunner::keep_moving() {
    if (fast_link) {
        idle_ = true;
    } else {
        state_.link.send_nop();
    }
}

ScriptRunner::StepEnd ScriptRunner::execute_step(std::size_t& index) {
    idle_ = false;
    if (!execute(decoded_[index])) {
        return StepEnd::Unrecognized;
    }
    std::uint64_t carried_out = 0;
    while (idle_) {
        idle_ = false;
        if (position_.instruction < 1 || position_.instruction > script_length()) {
            return StepEnd::Finished;
        }
        if (++carried_out > kMaxIdleInstructionsPerStep) {
            state_.link.send_nop();
            break;
        }
        index = static_cast<std::size_t>(position_.instruction - 1);
        if (!execute(decoded_[index])) {
            return StepEnd::Unrecognized;
        }
    }
    return StepEnd::Waiting;
}

}  // namespace corvanel
