// SPDX-License-Identifier: GPL-3.0-or-later
// Blocks (111, 112) against the original commands: any sequence of chip
// commands, data words, reads and voltage changes sent through a link that
// gathers blocks reaches a board that clocks them exactly as the same sequence
// of single commands reaches a board of the original commands: the same chip
// afterwards, the same answers handed to the interpreter in the same order, and
// never more bytes in flight than the declared buffer. Both boards also take
// whatever bytes the input holds raw, blocks cut short included.

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "board/board_channel.h"
#include "board/virtual_board.h"
#include "core/link/board_protocol.h"
#include "core/link/programmer_link.h"
#include "fuzz_support.h"

using namespace corvanel;

namespace {

// Counts the bytes written since the last read: the board answers at once, so
// those are what the host had in flight when it next read.
class FlightLine final : public BoardChannel {
public:
    using BoardChannel::BoardChannel;
    void write_byte(std::uint8_t byte) override {
        most = std::max(most, ++since_read_);
        BoardChannel::write_byte(byte);
    }
    std::vector<std::uint8_t> read_all() override {
        since_read_ = 0;
        return BoardChannel::read_all();
    }
    std::size_t most = 0;

private:
    std::size_t since_read_ = 0;
};

struct Side {
    Side(VirtualBoard board_in, bool blocks, std::size_t buffer, const CommandSet* set)
        : board(std::move(board_in)), line(board) {
        board.set_blocks(blocks);
        link.channel = &line;
        link.encoder.set = set;
        link.encoder.read_echo = true;
        link.set_blocks(blocks, buffer);
        link.on_received_byte = [this] { delivered.push_back(link.received_byte); };
        link.on_answer_fault = [this](std::uint8_t, std::int32_t) { fault = true; };
        line.set_receive_threshold(1);
    }
    void answer() {
        link.flush_when_idle();
        while (line.has_waiting()) {
            link.MSComm1_OnComm();
            link.flush_when_idle();
        }
    }
    VirtualBoard board;
    FlightLine line;
    ProgrammerLink link;
    std::vector<std::uint8_t> delivered;
    bool fault = false;
};

constexpr std::uint8_t kCodes6[] = {0x02, 0x03, 0x04, 0x05, 0x06, 0x08, 0x00, 0x09};
constexpr std::uint8_t kCodes8[] = {0x02, 0xFE, 0xF8, 0x00, 0x80, 0xE0, 0x04};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Choices choices(data, size);
    const bool eight = choices.pick(2) == 1;
    const CommandSet* set = eight ? &eight_bit_commands() : &six_bit_commands();
    const std::size_t buffer = 18 + choices.pick(238);
    auto chip = Pic14Chip::create(eight ? "PIC16F18877" : "PIC16F877A", 1u);
    if (!chip) {
        std::abort();
    }
    Side blocks(VirtualBoard(*chip), true, buffer, set);
    Side single(VirtualBoard(*chip), false, buffer, set);
    for (int op = 0; op < 4096 && choices.pick(256) != 0xFF; ++op) {
        const std::uint32_t what = choices.pick(8);
        for (Side* side : {&blocks, &single}) {
            fuzz::Choices same = choices;
            ProgrammerLink& link = side->link;
            switch (what) {
                case 0:
                case 1:
                    link.send_chip_command(eight ? kCodes8[same.pick(sizeof kCodes8)]
                                                 : kCodes6[same.pick(sizeof kCodes6)]);
                    break;
                case 2:
                case 3:
                    link.send_data_word(
                        static_cast<std::int32_t>(same.pick(256) | (same.pick(64) << 8)));
                    break;
                case 4:
                    link.request_data_word();
                    break;
                case 5:
                    side->answer();
                    break;
                case 6:
                    (void)link.voltages_on(VoltageSequence::VppFirst);
                    break;
                default:
                    link.voltages_off();
                    break;
            }
            if (side == &single) {
                choices = same;
            }
        }
    }
    for (Side* side : {&blocks, &single}) {
        side->answer();
    }
    bool same_chip = true;
    for (std::int32_t at = 0; at < chip->flash_size(); ++at) {
        same_chip &= blocks.board.chip().flash(at) == single.board.chip().flash(at);
    }
    if (blocks.fault || single.fault || blocks.delivered != single.delivered || !same_chip ||
        blocks.line.most > std::max<std::size_t>(buffer, 3)) {
        std::abort();
    }
    // Raw bytes, blocks cut short among them: no board may go astray.
    VirtualBoard raw(*chip);
    for (std::size_t i = 0; i < size; ++i) {
        (void)raw.feed(data[i]);
        if (data[i] == 0xA5) {
            raw.line_quiet();
        }
    }
    return 0;
}
