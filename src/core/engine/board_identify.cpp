// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/engine/board_identify.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <thread>
#include <vector>

#include "core/engine/board_match.h"
#include "core/engine/program_state.h"
#include "core/engine/supply_limits.h"
#include "core/link/board_protocol.h"

namespace corvanel {

namespace {

// After a garbled answer the rest of it must not reach the next command: the
// line is left until it has been quiet this long (at most the limit).
constexpr double kQuietSeconds = 0.03;
constexpr double kQuietLimitSeconds = 0.5;
constexpr auto kRound = std::chrono::milliseconds(1);
// How long a board asked at a faster rate has to begin its record.
constexpr double kFasterRateIdentifySeconds = 0.05;
// A buffer that holds less than two blocks of two words cannot gain from blocks.
constexpr std::int32_t kLeastBlockBuffer = 2 * (board_command::kBlockHeaderBytes + 2 * 2);

bool answers_at_once(const ProgrammerLink& link) {
    return link.channel != nullptr && link.channel->answers_at_once();
}

// Reads until `expected` bytes have come (a record: as many as its first byte
// says) or the wait is over. Once a record's first byte has come the rest is
// on its way: the wait grows to kRecordRestWaitSeconds, so that a loaded line
// does not cut a record and leave its tail for the next command.
std::vector<std::uint8_t> read_answer(ProgramState& state, std::optional<std::size_t> expected,
                                      double first_wait = 0.0) {
    ProgrammerLink& link = state.link;
    EngineHost& host = state.engine_host();
    std::vector<std::uint8_t> answer;
    const double start = host.clock_seconds();
    double wait = first_wait > 0.0 ? first_wait
                  : link.channel != nullptr && link.channel->announced_itself()
                      ? kAnnouncedIdentifyWaitSeconds
                      : kIdentifyWaitSeconds;
    for (;;) {
        host.process_events();
        const std::vector<std::uint8_t> bytes = link.take_waiting_bytes();
        answer.insert(answer.end(), bytes.begin(), bytes.end());
        if (!expected && !answer.empty()) {
            // A version this program does not know has no length: garbled.
            expected = identify_answer_bytes(answer.front()).value_or(answer.size());
        }
        if (!answer.empty()) {
            wait = std::max(wait, kRecordRestWaitSeconds);
        }
        const double now = host.clock_seconds();
        if ((expected && answer.size() >= *expected) || answers_at_once(link) || !(now > start) ||
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

std::optional<BoardIdentity> ask_identity(ProgramState& state, BoardAnswer& answer) {
    ProgrammerLink& link = state.link;
    std::optional<BoardIdentity> identity;
    answer = BoardAnswer::Plain;
    for (int attempt = 0; attempt < 2; ++attempt) {
        link.send_identify();
        const std::vector<std::uint8_t> bytes = read_answer(state, std::nullopt);
        if (bytes.empty()) {
            answer = BoardAnswer::Plain;
            break;
        }
        // More than one record is as garbled as less: whatever follows would be
        // taken for the next command's answer.
        identity = parse_board_identity(bytes);
        if (identity) {
            answer = BoardAnswer::Identified;
            break;
        }
        answer = BoardAnswer::Garbled;
        wait_for_quiet(state);
    }
    return identity;
}

// The Vdd select and the Vpp level the applied model needs and the board has not
// selected yet: the record measured the rails as they are now.
std::vector<std::uint8_t> selects_due(const ProgramState& state, const BoardIdentity& board) {
    std::vector<std::uint8_t> due;
    if (board.has(board_feature::kVddSelect)) {
        const std::uint8_t code = vdd_select_code(state);
        const std::int32_t mv = code == board_extension::kVdd5V ? board_identity::kVdd5VMillivolts
                                                                : board_identity::kVdd3V3Millivolts;
        if (board.vdd_selected_mv != mv) {
            due.push_back(code);
        }
    }
    if (board.has(board_identity::kHasVppLevels) && !state.low_voltage_entry()) {
        if (const auto level = vpp_level_for(state.model)) {
            if (board.vpp_level != level->level) {
                due.push_back(level->code);
            }
        }
    }
    return due;
}

// A board silent at the starting rate may still run at a rate an earlier host
// switched it to (its port was opened again without a reset): asked at each rate
// this end knows, fastest first, once while the port stays open.
std::optional<BoardIdentity> ask_at_faster_rates(ProgramState& state, BoardAnswer& answer) {
    ProgrammerLink& link = state.link;
    if (link.rate_pinned || link.rates_searched || link.channel == nullptr ||
        link.channel->fastest_line_rate() == 0) {
        return std::nullopt;
    }
    link.rates_searched = true;
    const std::int32_t fastest = link.channel->fastest_line_rate();
    for (std::uint8_t code = board_identity::kRateCodeCount - 1;
         code > board_identity::kRateStarting; --code) {
        const auto rate = static_cast<std::int32_t>(board_identity::rate_of_code(code));
        if (rate > fastest || !link.channel->set_line_rate(rate)) {
            continue;
        }
        // At these rates a record is on the line within milliseconds: a short wait
        // each keeps a plain board from costing a second at every port opened.
        link.send_identify();
        const std::vector<std::uint8_t> bytes =
            read_answer(state, std::nullopt, kFasterRateIdentifySeconds);
        if (auto identity = parse_board_identity(bytes)) {
            answer = BoardAnswer::Identified;
            link.agreed_rate = rate;
            return identity;
        }
        if (!bytes.empty()) {
            wait_for_quiet(state);
        }
    }
    const std::int32_t starting =
        static_cast<std::int32_t>(std::strtol(link.baud_text.c_str(), nullptr, 10));
    (void)link.channel->set_line_rate(starting);
    answer = BoardAnswer::Plain;
    return std::nullopt;
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
    std::optional<BoardIdentity> identity = ask_identity(state, answer);
    if (answer == BoardAnswer::Plain && !state.board_spoke) {
        identity = ask_at_faster_rates(state, answer);
    }
    if (identity) {
        // The record measured the rails the board has selected now; the model's are
        // selected and measured again before anything judges them.
        const std::vector<std::uint8_t> due = selects_due(state, *identity);
        if (!due.empty()) {
            for (const std::uint8_t code : due) {
                link.send_select(code);
            }
            const std::vector<std::uint8_t> echoes = read_answer(state, due.size());
            const bool answered = echoes.size() == due.size() &&
                                  std::all_of(echoes.begin(), echoes.end(), [](std::uint8_t b) {
                                      return b == board_command::kChipCommand;
                                  });
            identity = answered ? ask_identity(state, answer) : std::nullopt;
            if (!identity) {
                answer = BoardAnswer::Garbled;
                wait_for_quiet(state);
            }
        }
    }
    // A board that answered once, or announced itself, and now answers nothing
    // or no record: the line is at fault, not the board's kind.
    if (identity) {
        state.board_spoke = true;
    } else if (state.board_spoke || (link.channel != nullptr && link.channel->announced_itself())) {
        answer = BoardAnswer::Garbled;
    }
    state.board_answer = answer;
    state.board = identity;
    link.encoder.read_echo = answer == BoardAnswer::Identified;
    const bool blocks = identity && identity->has(board_identity::kHasBlocks) &&
                        identity->buffer_bytes >= kLeastBlockBuffer;
    link.set_blocks(blocks, blocks ? static_cast<std::size_t>(identity->buffer_bytes) : 0);
    link.board_waits = identity && identity->has(board_identity::kHasBoardWait);
    return answer;
}

std::vector<std::uint8_t> read_board_answer(ProgramState& state, std::size_t expected) {
    return read_answer(state, expected);
}

void forget_board(ProgramState& state) {
    state.board_answer = BoardAnswer::NotAsked;
    state.board.reset();
    state.board_spoke = false;
    state.link.encoder.read_echo = false;
    state.link.set_blocks(false, 0);
    state.link.board_waits = false;
    // A port opened anew runs at the starting rate.
    state.link.agreed_rate = 0;
    state.link.failed_rates = 0;
    state.link.rates_searched = false;
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
            std::string text = board_identity_text(shown);
            if (state.link.agreed_rate != 0) {
                text += ", line " + std::to_string(state.link.agreed_rate) + " baud";
            }
            return text;
        }
        case BoardAnswer::Plain:
            return "Plain board (original protocol)";
        case BoardAnswer::Garbled:
            return std::string(kGarbledBoardText);
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
    if (board_declares(state, board_feature::kVddSelect)) {
        state.link.vdd_select = vdd_select_code(state);
    } else {
        state.link.vdd_select.reset();
    }
    // No level fits: the supplies' limits refuse the voltages-on itself.
    const std::optional<VppLevel> level = vpp_level_for(state.model);
    if (board_declares(state, board_identity::kHasVppLevels) && level) {
        state.link.vpp_level = level->code;
    } else {
        state.link.vpp_level.reset();
    }
}

bool board_vdd_reported(const ProgramState& state) {
    return state.board_answer == BoardAnswer::Identified && state.board &&
           (state.board->has(board_feature::kVddSelect) || state.board->vdd_volts() ||
            state.board->vdd_measured_volts());
}

std::optional<double> effective_board_vdd(const ProgramState& state) {
    if (state.board_answer == BoardAnswer::Identified && state.board) {
        // The rail the board measured, where it measured the model's: a regulator
        // that failed gives what it gives, whatever was selected.
        if (const auto rail = state.board->vdd_measured_volts();
            rail && selects_due(state, *state.board).empty()) {
            return rail;
        }
        if (board_declares(state, board_feature::kVddSelect)) {
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
