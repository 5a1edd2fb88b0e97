// SPDX-License-Identifier: GPL-3.0-or-later
// Sending ahead against a faulty board: Program All and then Verify of a
// shipped model over a line that loses, doubles, changes or adds to one answer
// byte, a board that falls silent, or a board whose receive buffer overflows and
// loses bytes the host sent (a window larger than the board can hold). A failure is never reported
// as success: a verify that passes means the chip holds the image, and every aborted operation
// leaves the voltages off.

#include <cstdlib>
#include <optional>

#include "board/virtual_board.h"
#include "fuzz_support.h"

using namespace corvanel;

namespace {

// The host's side of the line to a board that loses what it is sent: bytes
// `first` to `first + count - 1` (counted from 1) never reach it, as when they
// arrive while its receive buffer is full. A full buffer drains while the host
// waits: once the host's clock has moved on (a pause, a time-out), nothing more
// is lost, so the voltages-off after a time-out reaches the board as it would.
class LossyLine : public ByteChannel {
public:
    LossyLine(BoardChannel& board, const double& clock) : board_(board), clock_(clock) {}

    void write_byte(std::uint8_t byte) override {
        ++written_;
        if (written_ >= first && written_ < first + count) {
            if (!losing_since_) {
                losing_since_ = clock_;
            }
            if (*losing_since_ == clock_) {
                return;
            }
        }
        board_.write_byte(byte);
    }
    std::vector<std::uint8_t> read_all() override { return board_.read_all(); }
    void set_receive_threshold(int threshold) override { board_.set_receive_threshold(threshold); }
    [[nodiscard]] int receive_threshold() const override { return board_.receive_threshold(); }
    [[nodiscard]] bool is_open() const override { return board_.is_open(); }
    void note_pause(int milliseconds) override { board_.note_pause(milliseconds); }
    [[nodiscard]] bool answers_at_once() const override { return board_.answers_at_once(); }

    std::uint64_t first = 0;  // 0: nothing is lost
    std::uint64_t count = 0;

private:
    BoardChannel& board_;
    const double& clock_;
    std::uint64_t written_ = 0;
    std::optional<double> losing_since_;
};

}  // namespace

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
    LossyLine line(channel, host.now);
    host.answer = choices.pick(2) == 1 ? message_result::kYes : message_result::kNo;
    state.host = &host;
    state.link.channel = &line;
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
            // A sound line, or one whose board loses 1 to 64 of the bytes sent.
            if (choices.pick(2) == 1) {
                line.first = at;
                line.count = 1 + choices.pick(64);
            }
            break;
    }
    channel.set_faults(faults);

    for (const OperationKind kind : {OperationKind::Program, OperationKind::Verify}) {
        const StartResult started = start_operation(state, kind);
        if (started == StartResult::Refused && host.answer == message_result::kNo) {
            return 0;  // a guard asked (an LF part on a board of unknown Vdd) and heard No
        }
        if (started != StartResult::Started) {
            std::abort();
        }
        fuzz::run_to_end(state, channel, host);
        // A board that went silent cannot be switched off. One that lost bytes the
        // host sent may be inside a command: the abort's voltages-off must reach it
        // all the same.
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
