// SPDX-License-Identifier: GPL-3.0-or-later
// Sending ahead against a faulty board: Program All and then Verify of a
// shipped model over a line that loses, doubles, changes or adds to one answer
// byte, or a board that falls silent. A failure is never reported as success: a verify
// that passes means the chip holds the image, and every aborted operation
// leaves the voltages off.

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
    const std::int32_t words = static_cast<std::int32_t>(choices.pick(24));
    for (std::int32_t i = 0; i < words; ++i) {
        const auto address = static_cast<std::int32_t>(choices.word()) % state.image.flash_size;
        const auto value = static_cast<std::int32_t>(choices.word() & 0x3FFF);
        (void)state.image.set_flash_word(address, value);
    }
    auto board = VirtualBoard::with_chip(state.model.model_name);
    if (!board) {
        return 0;
    }
    BoardChannel channel(*board);
    fuzz::QuietHost host;
    host.answer = choices.pick(2) == 1 ? message_result::kYes : message_result::kNo;
    state.host = &host;
    state.link.channel = &channel;
    state.link.port_ready = true;
    state.runner.fast_link = choices.pick(2) == 1;
    state.runner.window = static_cast<int>(choices.pick(65));

    BoardFaults faults;
    // One choice a statement: the order in which they are taken is then fixed.
    const std::uint64_t low = choices.word();
    const std::uint64_t at = 1 + low + (static_cast<std::uint64_t>(choices.pick(8)) << 16);
    switch (choices.pick(6)) {
        case 0:
            faults.drop_answer = at;
            break;
        case 1:
            faults.duplicate_answer = at;
            break;
        case 2:
            faults.garbage_answer = at;
            break;
        case 3:
            faults.stop_after_bytes = at;
            break;
        case 4:
            faults.corrupt_answer = at;
            break;
        default:
            break;  // a sound line
    }
    channel.set_faults(faults);

    for (const OperationKind kind : {OperationKind::Program, OperationKind::Verify}) {
        if (start_operation(state, kind) != StartResult::Started) {
            std::abort();
        }
        fuzz::run_to_end(state, channel, host);
        if (state.operation_failed && board->voltages_on() && !faults.stop_after_bytes) {
            std::abort();  // aborted with the chip powered
        }
        if (state.operation_failed || state.operation_refused) {
            return 0;
        }
    }
    if (state.report.mismatch_count != 0) {
        return 0;
    }
    // "Chip verified.": the chip must hold every FLASH word of the image, but
    // for the factory calibration word the model keeps (the chip's own value).
    const auto& calibration = state.model.calibration_word;
    for (std::int32_t i = 0; i < state.image.flash_size; ++i) {
        if (calibration && i == calibration->address) {
            continue;
        }
        if (board->chip().flash(i) != state.image.flash_word(i)) {
            std::abort();
        }
    }
    return 0;
}
