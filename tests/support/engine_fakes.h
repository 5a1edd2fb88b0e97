// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Test doubles for the engine: a host that records everything it is asked to
// do, and a byte channel whose far end answers like the programmer board
// (one byte per command, low/high/one more for a read) or stays silent.

#include <array>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/engine/chip_operations.h"
#include "core/engine/engine_host.h"
#include "core/engine/program_state.h"
#include "core/link/byte_channel.h"

namespace corvanel::test {

// One entry per byte written ("w104") and per pass of event processing ("ev").
using Trace = std::vector<std::string>;

struct ShownMessage {
    std::string text;
    int kind = 0;
    std::string caption;
};

class RecordingHost : public EngineHost {
public:
    explicit RecordingHost(Trace* trace = nullptr) : trace_(trace) {}

    void set_status_text(std::string_view text) override { statuses.emplace_back(text); }
    int show_message(std::string_view text, int kind, std::string_view caption) override {
        messages.push_back({std::string(text), kind, std::string(caption)});
        const bool question = (kind & ~message_kind::kDefaultButton2) == message_kind::kQuestion;
        return question ? question_answer : message_result::kOk;
    }
    void disable_commands() override {
        ++disables;
        commands_enabled = false;
    }
    void enable_commands() override {
        ++enables;
        commands_enabled = true;
    }
    void redraw_tables() override { ++redraws; }
    // The test clock moves on by the length of every pause.
    void pause(int milliseconds) override {
        pauses.push_back(milliseconds);
        now += milliseconds / 1000.0;
    }
    double clock_seconds() override { return now; }
    void process_events() override {
        ++events;
        if (trace_ != nullptr) {
            trace_->push_back("ev");
        }
    }
    void end_program() override { ++program_ends; }
    std::optional<double> ask_board_vpp(std::string_view question) override {
        vpp_questions.emplace_back(question);
        return board_vpp_answer;
    }

    [[nodiscard]] std::string status() const { return statuses.empty() ? "" : statuses.back(); }

    std::vector<std::string> statuses;
    std::vector<ShownMessage> messages;
    std::vector<int> pauses;
    // What a Yes/No question is answered with.
    int question_answer = message_result::kNo;
    int disables = 0;
    int enables = 0;
    bool commands_enabled = true;
    int redraws = 0;
    int events = 0;
    int program_ends = 0;
    double now = 100.0;
    // What the user gives when asked for a plain board's Vpp.
    std::optional<double> board_vpp_answer;
    std::vector<std::string> vpp_questions;

private:
    Trace* trace_;
};

// The far end answers every complete command unless it is silent. Read
// commands answer the next word of `read_words` (3FFFh when none is left).
class FakeChannel : public ByteChannel {
public:
    explicit FakeChannel(Trace* trace = nullptr) : trace_(trace) {}

    void write_byte(std::uint8_t byte) override {
        written.push_back(byte);
        if (trace_ != nullptr) {
            trace_->push_back("w" + std::to_string(byte));
        }
        answer(byte);
    }
    std::vector<std::uint8_t> read_all() override {
        std::vector<std::uint8_t> bytes(incoming.begin(), incoming.end());
        incoming.clear();
        return bytes;
    }
    void set_receive_threshold(int value) override { threshold = value; }
    [[nodiscard]] int receive_threshold() const override { return threshold; }
    [[nodiscard]] bool is_open() const override { return true; }

    std::vector<std::uint8_t> written;
    std::deque<std::uint8_t> incoming;
    std::deque<std::int32_t> read_words;
    // What 107 is answered with; none (the default): no answer, as a board of
    // the original protocol. A record in it changes as a board of this program's
    // design would: Vdd select (43h, 44h) sets the selected Vdd; a Vpp level (45h,
    // 49h, 46h) of a version-2 record sets the level and, where level_vpp_mv names
    // one, the Vpp it then measures; a calibration (48h, then 105 with 10 mV units)
    // within 15 % of the Vpp measured sets the status bit and the Vpp.
    std::vector<std::uint8_t> identify_answer;
    std::array<int, 4> level_vpp_mv{};
    int threshold = 0;
    bool answering = true;

private:
    void put16(std::size_t at, int value) {
        identify_answer[at] = static_cast<std::uint8_t>(value & 0xFF);
        identify_answer[at + 1] = static_cast<std::uint8_t>((value >> 8) & 0xFF);
    }
    void extension(std::uint8_t code) {
        if (identify_answer.size() < 12) {
            return;
        }
        calibration_armed_ = code == 0x48;
        if (code == 0x43 || code == 0x44) {
            put16(5, code == 0x44 ? 5000 : 3300);
        }
        const int level = code == 0x45 ? 1 : code == 0x49 ? 2 : code == 0x46 ? 3 : 0;
        if (level != 0 && identify_answer.size() >= 18) {
            identify_answer[11] = static_cast<std::uint8_t>(level);
            if (level_vpp_mv[static_cast<std::size_t>(level)] != 0) {
                put16(9, level_vpp_mv[static_cast<std::size_t>(level)]);
            }
        }
    }
    void calibrate(int centivolts) {
        calibration_armed_ = false;
        if (identify_answer.size() < 18) {
            return;
        }
        const int measured = identify_answer[9] | (identify_answer[10] << 8);
        const double ratio = measured > 0 ? centivolts * 10.0 / measured : 0.0;
        if (ratio >= 0.85 && ratio <= 1.15) {
            identify_answer[12] |= 1U;
            put16(9, centivolts * 10);
        }
    }
    void answer(std::uint8_t byte) {
        if (data_bytes_left_ > 0) {
            data_[data_at_++ % 2] = byte;
            if (--data_bytes_left_ == 0) {
                if (command_ == 104) {
                    extension(data_[0]);
                } else if (command_ == 105 && calibration_armed_) {
                    calibrate(data_[0] | (data_[1] << 8));
                }
                reply(command_);
            }
            return;
        }
        command_ = byte;
        data_at_ = 0;
        if (byte == 104) {
            data_bytes_left_ = 1;
        } else if (byte == 105) {
            data_bytes_left_ = 2;
        } else if (byte == 107) {
            for (const std::uint8_t b : identify_answer) {
                reply(b);
            }
        } else if (byte == 106) {
            std::int32_t word = 0x3FFF;
            if (!read_words.empty()) {
                word = read_words.front();
                read_words.pop_front();
            }
            reply(static_cast<std::uint8_t>(word & 0xFF));
            reply(static_cast<std::uint8_t>((word >> 8) & 0xFF));
            reply(106);
        } else {
            reply(byte);
        }
    }
    void reply(std::uint8_t byte) {
        if (answering) {
            incoming.push_back(byte);
        }
    }

    Trace* trace_;
    std::uint8_t command_ = 0;
    int data_bytes_left_ = 0;
    std::array<int, 2> data_{};
    std::size_t data_at_ = 0;
    bool calibration_armed_ = false;
};

// The host's receive loop: one notification while bytes wait and the threshold is 1.

template <typename Channel>
void pump(ProgramState& state, Channel& channel) {
    while (channel.receive_threshold() == 1 && !channel.incoming.empty()) {
        state.link.MSComm1_OnComm();
    }
}

// A program state wired to a recording host and a fake channel, with a blank
// 64-word FLASH, 64-byte EEPROM image, Vdd-first voltages and port 3 open.
struct EngineFixture {
    EngineFixture() {
        state.host = &host;
        state.link.channel = &channel;
        state.link.port_ready = true;
        state.link.port_number = 3;
        state.model.voltage_sequence = VoltageSequence::VddFirst;
        state.model.page_size = 8;
        state.model.programming_time = 5;
        state.image.flash_size = 64;
        state.image.eeprom_size = 64;
        state.image.config_erased1 = 0x3FFF;
        state.image.config_erased2 = 0x3FFF;
        state.image.clear_image();
    }

    // Runs `script` as the given operation until the board has nothing more to say.
    StartResult run(const InstructionList& script, OperationKind kind = OperationKind::Program) {
        list_of(kind) = script;
        const StartResult result = start_operation(state, kind);
        pump(state, channel);
        return result;
    }

    InstructionList& list_of(OperationKind kind) {
        switch (kind) {
            case OperationKind::Program:
                return state.model.program_list;
            case OperationKind::Erase:
                return state.model.erase_list;
            case OperationKind::Read:
                return state.model.read_list;
            case OperationKind::Blank:
                return state.model.blank_list;
            case OperationKind::Verify:
                break;
        }
        return state.model.verify_list;
    }

    Trace trace;
    RecordingHost host{&trace};
    FakeChannel channel{&trace};
    ProgramState state;
};

}  // namespace corvanel::test
