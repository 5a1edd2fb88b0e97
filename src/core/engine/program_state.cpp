#include "core/engine/program_state.h"

namespace corvanel {

ProgramState::ProgramState() : runner(*this) {
    link.process_events = [this] { engine_host().process_events(); };
    link.on_received_byte = [this] { runner.run_step(); };
}

}  // namespace corvanel
