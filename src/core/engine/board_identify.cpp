// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/engine/board_identify.h"

#include <chrono>
#include <thread>
#include <vector>

#include "core/engine/program_state.h"
#include "core/link/board_protocol.h"

namespace corvanel {

namespace {

// After a garbled answer the rest of it must not reach the next command: the
// line is left until it has been quiet this long (at most the limit).
constexpr double kQuietSeconds = 0.03;
constexpr double kQuietLimitSeconds = 0.5;
constexpr auto kRound = std::chrono::milliseconds(1);

bool answers_at_once(const ProgrammerLink& link) {
    return link.channel != nullptr && link.channel->answers_at_once();
}

// Reads until a whole record has come or the wait is over.
std::vector<std::uint8_t> read_answer(ProgramState& state) {
    ProgrammerLink& link = state.link;
    EngineHost& host = state.engine_host();
    std::vector<std::uint8_t> answer;
    const double start = host.clock_seconds();
    const double wait = link.channel != nullptr && link.channel->announced_itself()
                            ? kAnnouncedIdentifyWaitSeconds
                            : kIdentifyWaitSeconds;
    for (;;) {
        host.process_events();
        const std::vector<std::uint8_t> bytes = link.take_waiting_bytes();
        answer.insert(answer.end(), bytes.begin(), bytes.end());
        const double now = host.clock_seconds();
        if (answer.size() >= kIdentifyAnswerBytes || answers_at_once(link) || !(now > start) ||
            now - start >= wait) {
            return answer;
        }
        std::this_thread::sleep_for(kRound);
    }
}

void wait_for_quiet(ProgramState& state) {
    ProgrammerLink& link = state.link;
    EngineHost& host = state.engine_host();
    const double start = host.clock_seconds();
    double last = start;
    for (;;) {
        host.process_events();
        const double now = host.clock_seconds();
        if (!link.take_waiting_bytes().empty()) {
            last = now;
        }
        if (answers_at_once(link) || !(now > start) || now - last >= kQuietSeconds ||
            now - start >= kQuietLimitSeconds) {
            return;
        }
        std::this_thread::sleep_for(kRound);
    }
}

bool is_lf_part(const ActiveModel& model) {
    return model.model_name.find("LF") != std::string::npos;
}

}  // namespace

BoardAnswer identify_board(ProgramState& state) {
    ProgrammerLink& link = state.link;
    if (!link.port_ready || link.vpp_test_on || state.runner.running() || state.runner.in_step()) {
        return BoardAnswer::NotAsked;
    }
    link.set_receive_notification(0);
    (void)link.take_waiting_bytes();
    BoardAnswer answer = BoardAnswer::Plain;
    std::optional<BoardIdentity> identity;
    for (int attempt = 0; attempt < 2; ++attempt) {
        link.send_identify();
        const std::vector<std::uint8_t> bytes = read_answer(state);
        if (bytes.empty()) {
            answer = BoardAnswer::Plain;
            break;
        }
        // More than one record is as garbled as less: whatever follows would be
        // taken for the next command's answer.
        if (bytes.size() == kIdentifyAnswerBytes) {
            identity = parse_board_identity(bytes);
        }
        if (identity) {
            answer = BoardAnswer::Identified;
            break;
        }
        answer = BoardAnswer::Garbled;
        wait_for_quiet(state);
    }
    state.board_answer = answer;
    state.board = identity;
    link.encoder.read_echo = answer == BoardAnswer::Identified;
    return answer;
}

std::string board_status_text(const ProgramState& state) {
    switch (state.board_answer) {
        case BoardAnswer::Identified: {
            if (!state.board) {
                return {};
            }
            // A board that selects Vdd reports the one the last chip had: the
            // line names the one this model is powered at.
            BoardIdentity shown = *state.board;
            if (shown.has(board_feature::kVddSelect)) {
                shown.vdd_selected_mv =
                    vdd_select_code(state) == board_extension::kVdd5V ? 5000 : 3300;
            }
            return board_identity_text(shown);
        }
        case BoardAnswer::Plain:
            return "Plain board (original protocol)";
        case BoardAnswer::Garbled:
            return "Board's identity garbled: used as a plain board";
        case BoardAnswer::NotAsked:
            break;
    }
    return {};
}

std::uint8_t vdd_select_code(const ProgramState& state) {
    const ActiveModel& model = state.model;
    if (model.vdd_window) {
        return model.vdd_window->contains(5.0) ? board_extension::kVdd5V : board_extension::kVdd3V3;
    }
    return is_lf_part(model) ? board_extension::kVdd3V3 : board_extension::kVdd5V;
}

void prepare_vdd_select(ProgramState& state) {
    if (state.board_answer == BoardAnswer::Identified && state.board &&
        state.board->has(board_feature::kVddSelect)) {
        state.link.vdd_select = vdd_select_code(state);
    } else {
        state.link.vdd_select.reset();
    }
}

bool board_vdd_reported(const ProgramState& state) {
    return state.board_answer == BoardAnswer::Identified && state.board &&
           (state.board->has(board_feature::kVddSelect) || state.board->vdd_volts());
}

std::optional<double> effective_board_vdd(const ProgramState& state) {
    if (state.board_answer == BoardAnswer::Identified && state.board) {
        if (state.board->has(board_feature::kVddSelect)) {
            return vdd_select_code(state) == board_extension::kVdd5V ? 5.0 : 3.3;
        }
        if (const auto vdd = state.board->vdd_volts()) {
            return vdd;
        }
    }
    return state.board_vdd;
}

bool board_vpp_measured(const ProgramState& state) {
    return state.board_answer == BoardAnswer::Identified && state.board &&
           state.board->vpp_volts().has_value();
}

std::optional<double> effective_board_vpp(const ProgramState& state) {
    if (board_vpp_measured(state)) {
        return state.board->vpp_volts();
    }
    return state.board_vpp;
}

}  // namespace corvanel
