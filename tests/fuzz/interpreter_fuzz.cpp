// SPDX-License-Identifier: GPL-3.0-or-later
// The algorithm interpreter on the emulated chip: a model of the shipped
// device file whose algorithm for one operation is replaced by any script
// text. Whatever the script says, the operation ends (by its end, the step
// limit, the time-out or an unknown instruction) and the voltages are off.

#include <cstdlib>

#include "board/virtual_board.h"
#include "fuzz_support.h"

using namespace corvanel;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Choices choices(data, size);
    ProgramState state;
    if (!fuzz::apply_chosen_model(choices, state)) {
        return 0;
    }
    // A few words to program, so that the loops have something to do.
    for (std::int32_t i = 0; i < 4; ++i) {
        (void)state.image.set_flash_word(i, static_cast<std::int32_t>(choices.word() & 0x3FFF));
    }
    auto board = VirtualBoard::with_chip(state.model.model_name);
    if (!board) {
        return 0;
    }
    BoardChannel channel(*board);
    fuzz::QuietHost host;
    state.host = &host;
    state.link.channel = &channel;
    state.link.port_ready = true;
    state.runner.fast_link = choices.pick(2) == 1;
    state.runner.window = static_cast<int>(choices.pick(4)) * 8;
    const auto kind = static_cast<OperationKind>(choices.pick(5));
    InstructionList script = split_instructions(choices.rest());
    switch (kind) {
        case OperationKind::Program:
            state.model.program_list = std::move(script);
            break;
        case OperationKind::Erase:
            state.model.erase_list = std::move(script);
            break;
        case OperationKind::Read:
            state.model.read_list = std::move(script);
            break;
        case OperationKind::Blank:
            state.model.blank_list = std::move(script);
            break;
        case OperationKind::Verify:
            state.model.verify_list = std::move(script);
            break;
    }
    if (start_operation(state, kind) != StartResult::Started) {
        std::abort();
    }
    fuzz::run_to_end(state, channel, host);
    if (board->voltages_on() && state.operation_failed) {
        std::abort();  // an aborted operation left the chip powered
    }
    return 0;
}
