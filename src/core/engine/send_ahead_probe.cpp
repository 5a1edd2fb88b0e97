// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/engine/send_ahead_probe.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <thread>

#include "core/devices/leading_number.h"
#include "core/engine/chip_operations.h"
#include "core/engine/program_state.h"

namespace corvanel {

namespace {

// The window with blocks, per byte of the board's buffer: a word of a read block
// is five answers to the interpreter for two bytes on the line, and three blocks'
// words ready keep the line busy.
constexpr std::int32_t kBlockWindowPerByte = 4;

// The windows tried, smallest first; the burst for each is 12 no-operations per
// answer byte (48 to 768 no-operations, 0.27 s of line time at 56000 baud).
constexpr std::array<std::int32_t, 5> kProbeWindows = {4, 8, 16, 32, kAutoWindowMax};

// A burst's answers are due once the line has carried the burst and its
// answers; half as long again for a board slower per byte than the line, and
// 50 ms for a USB adapter's latency timer and a busy computer.
constexpr double kDeadlineFactor = 1.5;
constexpr double kDeadlineSlackSeconds = 0.05;
// The line counts as quiet after this long without a byte; one that never goes
// quiet is given up after the limit. After a burst that went wrong the answers
// still on their way must not reach the operation: the line is then left
// longer, for a board (or a computer) that stalled.
constexpr double kQuietSeconds = 0.03;
constexpr double kQuietLimitSeconds = 0.5;
constexpr double kSettleQuietSeconds = 0.15;
constexpr double kSettleLimitSeconds = 3.0;
constexpr auto kRound = std::chrono::milliseconds(1);

// Seconds one byte takes on the line (10 bits); the slowest rate offered when
// the link's rate is no number.
double byte_seconds(const ProgrammerLink& link) {
    constexpr std::int32_t kSlowestBaud = 1200;
    const std::int32_t baud = leading_number(link.baud_text);
    return 10.0 / static_cast<double>(baud > 0 ? baud : kSlowestBaud);
}

bool answers_at_once(const ProgrammerLink& link) {
    return link.channel != nullptr && link.channel->answers_at_once();
}

enum class Burst { Complete, Lost, Late, Extra, VoltagesOn };

struct Quiet {
    std::size_t came = 0;  // bytes that came meanwhile
    bool reached = true;   // false: still bytes coming at the limit
};

// Takes in every byte that comes until the line has been quiet for `quiet`
// seconds, or gives up after `limit`.
Quiet wait_for_quiet(ProgramState& state, double quiet = kQuietSeconds,
                     double limit = kQuietLimitSeconds) {
    ProgrammerLink& link = state.link;
    EngineHost& host = state.engine_host();
    Quiet result;
    const double start = host.clock_seconds();
    double last = start;
    for (;;) {
        host.process_events();
        const std::size_t n = link.discard_waiting_bytes();
        const double now = host.clock_seconds();
        if (n > 0) {
            result.came += n;
            last = now;
        }
        if (answers_at_once(link) || !(now > start) || now - last >= quiet) {
            return result;
        }
        if (now - start >= limit) {
            result.reached = false;
            return result;
        }
        std::this_thread::sleep_for(kRound);
    }
}

Burst run_burst(ProgramState& state, std::int32_t nops, double byte_time) {
    ProgrammerLink& link = state.link;
    EngineHost& host = state.engine_host();
    const double start = host.clock_seconds();
    for (std::int32_t i = 0; i < nops; ++i) {
        // Event processing after each command may run the "Test Vpp" label:
        // once the voltages are on, nothing more is sent.
        if (link.vpp_test_on) {
            return Burst::VoltagesOn;
        }
        link.send_nop();
    }
    const double deadline =
        start + kDeadlineFactor * (nops + 1) * 2.0 * byte_time + kDeadlineSlackSeconds;
    std::size_t answered = link.discard_waiting_bytes();
    for (;;) {
        if (answered >= static_cast<std::size_t>(nops) || answers_at_once(link)) {
            break;
        }
        host.process_events();
        answered += link.discard_waiting_bytes();
        const double now = host.clock_seconds();
        if (!(now > start) || now >= deadline) {
            break;
        }
        std::this_thread::sleep_for(kRound);
    }
    const Quiet quiet = wait_for_quiet(state);
    const std::size_t after = quiet.came;
    if (link.vpp_test_on) {
        return Burst::VoltagesOn;
    }
    if (answered + after > static_cast<std::size_t>(nops)) {
        return Burst::Extra;
    }
    if (after > 0 || !quiet.reached) {
        return Burst::Late;
    }
    return answered == static_cast<std::size_t>(nops) ? Burst::Complete : Burst::Lost;
}

std::string window_words(const SendAheadChoice& choice) {
    return choice.window > 0 ? std::to_string(choice.window) : std::string("lock-step");
}

// " (measured)", " (board's buffer)", ...: where a window came from.
std::string source_words(SendAheadChoice::Source source) {
    switch (source) {
        case SendAheadChoice::Source::Measured:
            return " (measured)";
        case SendAheadChoice::Source::AnswersLost:
            return " (answers lost)";
        case SendAheadChoice::Source::NotMeasured:
            return " (not measured)";
        case SendAheadChoice::Source::Declared:
            return " (board's buffer)";
        case SendAheadChoice::Source::Remembered:
            return " (remembered)";
        case SendAheadChoice::Source::VoltagesOn:
            break;
    }
    return " (voltages on)";
}

// "Fast" / "Lock-step" and the window: what the status bar shows of the link.
std::string mode_words(bool fast, std::int32_t window) {
    if (window > 0) {
        // Any window above 0 runs the fast link too.
        return "Fast, window " + std::to_string(window);
    }
    return fast ? "Fast, lock-step" : "Lock-step";
}

}  // namespace

std::string send_ahead_text(const SendAheadChoice& choice) {
    return "Send-ahead: " + window_words(choice) + source_words(choice.source);
}

ProbeReport probe_send_ahead(ProgramState& state) {
    ProgrammerLink& link = state.link;
    ProbeReport report;
    // Bytes are taken in here, not handed to the interpreter.
    link.set_receive_notification(0);
    const double byte_time = byte_seconds(link);
    // Whatever an earlier command left on the line must not count as an answer.
    if (!wait_for_quiet(state).reached) {
        report.reason = "late";
        return report;
    }
    for (const std::int32_t window : kProbeWindows) {
        const std::int32_t nops = window * kProbeNopsPerWindowByte;
        const Burst burst = run_burst(state, nops, byte_time);
        report.nops_sent += nops;
        if (burst == Burst::Complete) {
            report.window = window;
            report.largest_burst = nops;
            continue;
        }
        switch (burst) {
            case Burst::Lost:
                report.reason = "lost";
                break;
            case Burst::Late:
                report.reason = "late";
                break;
            case Burst::Extra:
                report.reason = "extra";
                break;
            case Burst::Complete:
            case Burst::VoltagesOn:
                report.reason = "voltages on";
                break;
        }
        if (burst != Burst::Lost) {
            // A line that answers late or too much cannot be trusted with any window.
            report.window = 0;
        }
        // No answer of the probe may arrive once the operation has begun.
        const Quiet settled = wait_for_quiet(state, kSettleQuietSeconds, kSettleLimitSeconds);
        if (settled.came > 0 || !settled.reached) {
            report.window = 0;
            if (report.reason == "lost") {
                report.reason = "late";
            }
        }
        return report;
    }
    return report;
}

std::optional<SendAheadChoice> SendAheadMemory::find(std::int32_t port,
                                                     const std::string& baud) const {
    const auto found = choices_.find({port, baud});
    if (found == choices_.end()) {
        return std::nullopt;
    }
    return found->second;
}

void SendAheadMemory::remember(std::int32_t port, const std::string& baud, SendAheadChoice choice) {
    choices_[{port, baud}] = choice;
}

void SendAheadMemory::answers_lost(std::int32_t port, const std::string& baud) {
    choices_[{port, baud}] = SendAheadChoice{0, SendAheadChoice::Source::AnswersLost};
}

void SendAheadMemory::port_opened(std::int32_t port) {
    for (auto it = choices_.begin(); it != choices_.end();) {
        if (it->first.first == port && it->second.source == SendAheadChoice::Source::AnswersLost) {
            it = choices_.erase(it);
        } else {
            ++it;
        }
    }
}

bool probe_worth_it(const ProgramState& state, OperationKind kind) {
    switch (kind) {
        case OperationKind::Verify:
        case OperationKind::Read:
        case OperationKind::Blank:
            return true;
        case OperationKind::Program:
            // The script writes up to the last word in use ("calcflash").
            return state.image.last_used_flash() + 1 > kProbeWorthProgramWords;
        case OperationKind::Erase:
            break;
    }
    return false;
}

bool probe_doubtful(const ProbeReport& report) {
    return report.window == 0 && report.reason != "voltages on" && report.reason != "lost";
}

std::optional<SendAheadChoice> known_send_ahead(const ProgramState& state) {
    const ProgrammerLink& link = state.link;
    if (link.vpp_test_on) {
        return SendAheadChoice{0, SendAheadChoice::Source::VoltagesOn};
    }
    if (const auto known = state.send_ahead_memory.find(link.port_number, link.baud_text)) {
        // Lost answers on this port since it was opened outrank anything declared.
        return known;
    }
    if (state.board_answer == BoardAnswer::Identified && state.board) {
        return SendAheadChoice{state.board->send_ahead_window(), SendAheadChoice::Source::Declared};
    }
    if (const auto stored =
            state.load_measured_window ? state.load_measured_window() : std::nullopt) {
        return SendAheadChoice{std::clamp(*stored, 0, kAutoWindowMax),
                               SendAheadChoice::Source::Remembered};
    }
    return std::nullopt;
}

std::string link_mode_text(const ProgramState& state) {
    const bool fast = state.runner.fast_link;
    if (!state.auto_window) {
        // A window typed in (the tool's --window) or none.
        return mode_words(fast, state.runner.window);
    }
    if (const auto choice = known_send_ahead(state)) {
        return mode_words(fast, choice->window) + source_words(choice->source);
    }
    return mode_words(fast, 0) + ", window not measured";
}

SendAheadChoice choose_send_ahead(ProgramState& state, OperationKind kind) {
    ProgrammerLink& link = state.link;
    SendAheadChoice choice;
    if (const auto known = known_send_ahead(state)) {
        choice = *known;
        if (choice.source == SendAheadChoice::Source::Remembered) {
            state.send_ahead_memory.remember(link.port_number, link.baud_text, choice);
        }
    } else if (probe_worth_it(state, kind)) {
        ProbeReport report = probe_send_ahead(state);
        if (probe_doubtful(report)) {
            report = probe_send_ahead(state);
        }
        if (report.reason == "voltages on") {
            choice.source = SendAheadChoice::Source::VoltagesOn;
        } else {
            choice = SendAheadChoice{report.window, SendAheadChoice::Source::Measured};
            // Late or stray answers twice over (a first identify answer still on its
            // way, a board still busy after reset) measured a hiccup of the line, not
            // the board: this operation runs lock-step and the next one measures
            // again. Kept, the 0 would hold the port lock-step for good.
            if (!probe_doubtful(report)) {
                state.send_ahead_memory.remember(link.port_number, link.baud_text, choice);
                // A board in this process is measured in no time: nothing to keep.
                if (state.store_measured_window && !answers_at_once(link)) {
                    state.store_measured_window(report.window);
                }
            }
        }
    }
    state.runner.window = choice.window;
    if (choice.window > 0 && link.blocks() && choice.source == SendAheadChoice::Source::Declared) {
        // Blocks answer once for many commands, and the link itself keeps what is
        // on the line within the board's buffer: the interpreter's window only has
        // to hold a few blocks' commands so that the next is ready in time.
        state.runner.window =
            std::max(choice.window, state.board->buffer_bytes * kBlockWindowPerByte);
    }
    if (choice.window > 0) {
        state.runner.fast_link = true;
    }
    return choice;
}

void note_send_ahead_failure(ProgramState& state) {
    if (state.auto_window && state.runner.window > 0) {
        state.send_ahead_memory.answers_lost(state.link.port_number, state.link.baud_text);
        if (state.store_measured_window) {
            state.store_measured_window(std::nullopt);
        }
    }
}

}  // namespace corvanel
