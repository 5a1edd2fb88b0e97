// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/engine/line_rate.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <thread>
#include <vector>

#include "core/engine/board_identify.h"
#include "core/engine/program_state.h"
#include "core/link/board_protocol.h"

namespace corvanel {

namespace {

namespace id = board_identity;

// The check's answer must come this soon at the new rate.
constexpr double kCheckAnswerSeconds = 0.3;
constexpr auto kRound = std::chrono::milliseconds(1);

std::int32_t starting_rate(const ProgrammerLink& link) {
    return static_cast<std::int32_t>(std::strtol(link.baud_text.c_str(), nullptr, 10));
}

// The first byte that comes within `seconds`; nothing when none does, or once
// the user has asked to stop.
std::optional<std::uint8_t> read_byte(ProgramState& state, double seconds) {
    EngineHost& host = state.engine_host();
    const double start = host.clock_seconds();
    for (;;) {
        host.process_events();
        if (host.stop_requested()) {
            return std::nullopt;
        }
        const std::vector<std::uint8_t> bytes = state.link.take_waiting_bytes();
        if (!bytes.empty()) {
            return bytes.size() == 1 ? std::optional<std::uint8_t>(bytes.front())
                                     : std::optional<std::uint8_t>(0);
        }
        const double now = host.clock_seconds();
        if (!(now > start) || now - start >= seconds) {
            return std::nullopt;
        }
        std::this_thread::sleep_for(kRound);
    }
}

// The host's pause, cut short by a stop: the board's check window closes by
// itself, and a board that has not heard the checks goes back to the old rate.
void pause_unless_stopped(EngineHost& host, int milliseconds) {
    constexpr int kSlice = 20;
    while (milliseconds > 0 && !host.stop_requested()) {
        const int slice = std::min(milliseconds, kSlice);
        host.pause(slice);
        milliseconds -= slice;
    }
}

bool check_answered(ProgramState& state) {
    state.link.send_check();
    return read_byte(state, kCheckAnswerSeconds) == board_command::kNop;
}

// One switch to `code`: true when both ends run at it afterwards.
bool try_rate(ProgramState& state, std::uint8_t code, std::int32_t from) {
    ProgrammerLink& link = state.link;
    EngineHost& host = state.engine_host();
    const auto to = static_cast<std::int32_t>(id::rate_of_code(code));
    (void)link.take_waiting_bytes();
    link.send_line_rate(code);
    if (read_byte(state, kCheckAnswerSeconds) != board_command::kChipCommand) {
        return false;  // not answered at the old rate: nothing to undo
    }
    const double switched = host.clock_seconds();
    if (link.channel->set_line_rate(to)) {
        host.pause(id::kRateSettleMs);
        if (check_answered(state) && check_answered(state)) {
            return true;
        }
    }
    // Back to the old rate once the board's check window has closed for certain.
    (void)link.channel->set_line_rate(from);
    const double wait = id::kRateHostFallbackMs / 1000.0 - (host.clock_seconds() - switched);
    if (wait > 0) {
        pause_unless_stopped(host, static_cast<int>(wait * 1000.0 + 0.5));
    }
    (void)link.take_waiting_bytes();
    if (check_answered(state)) {
        return false;
    }
    // The board saw both checks and kept the new rate; only its answer was lost.
    if (link.channel->set_line_rate(to) && check_answered(state)) {
        return true;
    }
    (void)link.channel->set_line_rate(from);
    return false;
}

}  // namespace

std::optional<std::uint8_t> next_line_rate(std::uint8_t listed, std::int32_t fastest,
                                           std::int32_t current, std::uint8_t failed) {
    for (std::uint8_t code = id::kRateCodeCount - 1; code > id::kRateStarting; --code) {
        const auto rate = static_cast<std::int32_t>(id::rate_of_code(code));
        if (((listed >> code) & 1U) != 0 && ((failed >> code) & 1U) == 0 && rate <= fastest &&
            rate > current) {
            return code;
        }
    }
    return std::nullopt;
}

std::int32_t agree_line_rate(ProgramState& state) {
    ProgrammerLink& link = state.link;
    if (link.rate_pinned || !link.port_ready || link.channel == nullptr ||
        state.board_answer != BoardAnswer::Identified || !state.board ||
        !state.board->has(id::kHasLineRate) || state.runner.running()) {
        return link.agreed_rate;
    }
    link.set_receive_notification(0);
    const std::int32_t fastest = link.channel->fastest_line_rate();
    for (;;) {
        const std::int32_t current = link.agreed_rate != 0 ? link.agreed_rate : starting_rate(link);
        const auto code =
            next_line_rate(state.board->line_rates, fastest, current, link.failed_rates);
        if (!code) {
            break;
        }
        if (try_rate(state, *code, current)) {
            link.agreed_rate = static_cast<std::int32_t>(id::rate_of_code(*code));
            break;
        }
        link.failed_rates = static_cast<std::uint8_t>(link.failed_rates | (1U << *code));
    }
    return link.agreed_rate;
}

bool switch_line_rate(ProgramState& state, std::uint8_t code) {
    ProgrammerLink& link = state.link;
    if (code == id::kRateStarting) {
        leave_line_rate(state);
        return link.agreed_rate == 0;
    }
    if (!link.port_ready || link.channel == nullptr || state.runner.running()) {
        return false;
    }
    link.set_receive_notification(0);
    const std::int32_t current = link.agreed_rate != 0 ? link.agreed_rate : starting_rate(link);
    if (!try_rate(state, code, current)) {
        return false;
    }
    link.agreed_rate = static_cast<std::int32_t>(id::rate_of_code(code));
    return true;
}

void leave_line_rate(ProgramState& state) {
    ProgrammerLink& link = state.link;
    if (link.agreed_rate == 0 || link.channel == nullptr || !link.port_ready) {
        return;
    }
    link.set_receive_notification(0);
    (void)link.take_waiting_bytes();
    link.send_line_rate(id::kRateStarting);
    (void)read_byte(state, kCheckAnswerSeconds);
    (void)link.channel->set_line_rate(starting_rate(link));
    link.agreed_rate = 0;
}

}  // namespace corvanel
