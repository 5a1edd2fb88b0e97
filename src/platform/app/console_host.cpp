// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/app/console_host.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <csignal>
#include <cstdlib>

#include "core/engine/chip_operations.h"
#include "core/engine/program_state.h"
#include "core/engine/progress_estimate.h"
#include "platform/app/crash_voltages_off.h"
#include "platform/link/precise_pause.h"

namespace corvanel {

namespace {

// The number of the stop signal received (SIGINT, SIGTERM, SIGHUP), 0 for none.
volatile std::sig_atomic_t g_interrupt_requested = 0;
// 1 while the port is open: the signal is noted and handled between steps.
volatile std::sig_atomic_t g_port_open = 0;
// 1 while several boards program at once: their ports open and close on their
// own, and a stop signal is noted for all of them all along.
volatile std::sig_atomic_t g_ports_held = 0;
// 1 once a production run has its result: the tool finishes its log line and
// ends with that result rather than dying between the line and the exit.
volatile std::sig_atomic_t g_interrupts_deferred = 0;

extern "C" void on_interrupt(int signal_number) {
    if (g_port_open == 0 && g_ports_held == 0 && g_interrupts_deferred == 0) {
        // Nothing is powered: end now, as the default action would, with the
        // documented exit status. A HEX file being saved keeps its old contents.
        std::_Exit(128 + signal_number);
    }
    if (g_interrupt_requested != 0) {
        // The first one was not heard: the tool is held in a call that does not
        // come back to its steps. Voltages off straight to the port, and out.
        write_voltages_off_to_port();
        std::_Exit(128 + signal_number);
    }
    g_interrupt_requested = signal_number;
}

// The board a thread works for, before each line it prints: several boards'
// lines interleave on one output.
thread_local std::string t_line_prefix;
thread_local std::function<void(std::string_view)> t_line_sink;

constexpr int kBarWidth = 30;
constexpr double kRedrawSeconds = 0.05;

}  // namespace

void print_lines(std::FILE* out, std::string_view text) {
    if (t_line_sink) {
        std::size_t start = 0;
        while (start <= text.size()) {
            std::size_t end = text.find_first_of("\r\n", start);
            if (end == std::string_view::npos) {
                end = text.size();
            }
            t_line_sink(text.substr(start, end - start));
            if (end + 1 < text.size() && text[end] == '\r' && text[end + 1] == '\n') {
                ++end;
            }
            start = end + 1;
        }
        return;
    }
    std::string line = t_line_prefix;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            continue;
        }
        line += c == '\r' ? '\n' : c;
        if (line.back() == '\n' && i + 1 < text.size()) {
            line += t_line_prefix;
        }
    }
    line += '\n';
    // One call: another board's thread cannot cut into the lines.
    std::fputs(line.c_str(), out);
    std::fflush(out);
}

void set_line_prefix(std::string prefix) {
    t_line_prefix = std::move(prefix);
}

void set_line_sink(std::function<void(std::string_view line)> sink) {
    t_line_sink = std::move(sink);
}

ConsoleHost::ConsoleHost(std::FILE* out, bool terminal) : out_(out), terminal_(terminal) {
    clock_.start();
}

void ConsoleHost::clear_progress() {
    if (progress_shown_) {
        std::fputs("\r\033[K", out_);
        progress_shown_ = false;
    }
}

void ConsoleHost::set_status_text(std::string_view text) {
    last_status_ = std::string(text);
    if (quiet_) {
        if (phase_ == Phase::Starting) {
            phase_ = Phase::Running;
        } else if (phase_ == Phase::Finishing) {
            phase_ = Phase::Idle;
        }
        return;
    }
    switch (phase_) {
        case Phase::Running:
            if (terminal_) {
                const auto count = parse_progress(text);
                const bool counted = count.has_value();
                const long long done = counted ? count->done : 0;
                const long long total = counted ? count->total : 1;
                // A terminal redrawn for every word would slow the operation down:
                // at most every 50 ms, and always the last word of a loop.
                const double now = clock_seconds();
                if (counted && done != total && now - last_draw_ < kRedrawSeconds) {
                    return;
                }
                last_draw_ = now;
                std::string line = "\r\033[K" + last_status_;
                if (counted) {
                    const long long filled = std::clamp(done * kBarWidth / total, 0LL,
                                                        static_cast<long long>(kBarWidth));
                    line += " [" + std::string(static_cast<std::size_t>(filled), '#') +
                            std::string(static_cast<std::size_t>(kBarWidth - filled), '.') + "] " +
                            std::to_string(std::clamp(done * 100 / total, 0LL, 100LL)) + "%";
                }
                std::fputs(line.c_str(), out_);
                std::fflush(out_);
                progress_shown_ = true;
            }
            return;
        case Phase::Starting:
            phase_ = Phase::Running;
            break;
        case Phase::Finishing:
            phase_ = Phase::Idle;
            break;
        case Phase::Idle:
            break;
    }
    // The start text (the commands were just locked), a result, or a text of its own.
    clear_progress();
    print_lines(out_, text);
}

int ConsoleHost::show_message(std::string_view text, int kind, std::string_view caption) {
    (void)caption;
    clear_progress();
    print_lines(out_, text);
    if (kind == message_kind::kQuestion) {
        print_lines(out_, answer_yes_ ? "Yes (--force)." : "No (--force would go on).");
    }
    std::fputc('\n', out_);
    std::fflush(out_);
    if (kind == message_kind::kQuestion) {
        return answer_yes_ ? message_result::kYes : message_result::kNo;
    }
    return message_result::kOk;
}

void ConsoleHost::disable_commands() {
    // The next status text is the operation's start text; print it, then progress.
    phase_ = Phase::Starting;
}

void ConsoleHost::enable_commands() {
    // The completion routines (and the time-out abort) unlock first, then write the result.
    phase_ = Phase::Finishing;
}

void ConsoleHost::pause(int milliseconds) {
    if (!skip_pauses_) {
        pause_to_deadline(milliseconds);
    }
}

double ConsoleHost::clock_seconds() {
    return static_cast<double>(clock_.nsecsElapsed()) / 1e9;
}

void ConsoleHost::process_events() {
    // The engine asks after every command; nothing of the tool needs it that often.
    if (event_throttle_.due()) {
        QCoreApplication::processEvents();
    }
}

void ConsoleHost::end_program() {
    program_ended_ = true;
}

bool ConsoleHost::stop_if_interrupted(ProgramState& state) {
    if (g_interrupt_requested == 0 || !state.runner.running() || state.runner.in_step()) {
        return false;
    }
    if (state.runner.calibration_at_risk()) {
        // Between the erase and the write-back of the chip's calibration: stopping
        // now would lose it, so the stop waits for the write-back.
        if (!stop_deferred_) {
            stop_deferred_ = true;
            clear_progress();
            print_lines(out_, "Stopping once the chip's calibration is written back...");
        }
        return false;
    }
    state.runner.stop();
    state.operation_failed = true;
    state.link.set_receive_notification(0);
    // As every abort: the board may be inside a command whose bytes the line lost.
    state.link.voltages_off_after_fault();
    clear_progress();
    print_lines(out_, "Interrupted: operation stopped, voltages off.");
    interrupted_ = true;
    return true;
}

bool ConsoleHost::wait_for_operation(ProgramState& state) {
    bool timed_out = false;
    QEventLoop loop;
    QTimer watch;
    watch.setInterval(20);
    // A board that answers at once (the in-process one) keeps the interpreter
    // inside its steps nearly all the time, so the signal is also looked at
    // before every answer byte is handed over: that is always between steps.
    const std::function<void()> step = state.link.on_received_byte;
    state.link.on_received_byte = [this, &state, step] {
        if (stop_if_interrupted(state)) {
            return;
        }
        if (step) {
            step();
        }
    };
    QObject::connect(&watch, &QTimer::timeout, &loop, [&] {
        (void)stop_if_interrupted(state);
        if (check_timeout(state, clock_seconds())) {
            timed_out = true;
        }
        if (timed_out || interrupted_ || program_ended_ || !state.runner.running()) {
            loop.quit();
        }
    });
    watch.start();
    if (state.runner.running() && !program_ended_) {
        loop.exec();
    }
    state.link.on_received_byte = step;
    clear_progress();
    phase_ = Phase::Idle;
    return !timed_out && !interrupted_;
}

void ConsoleHost::catch_interrupts() {
    for (const int signal_number : {SIGINT, SIGTERM, SIGHUP}) {
        std::signal(signal_number, on_interrupt);
    }
}

void ConsoleHost::set_port_open(bool open) {
    g_port_open = open ? 1 : 0;
}

void ConsoleHost::hold_ports_open(bool held) {
    g_ports_held = held ? 1 : 0;
}

void ConsoleHost::defer_interrupts() {
    g_interrupts_deferred = 1;
}

int ConsoleHost::interrupt_signal() {
    return static_cast<int>(g_interrupt_requested);
}

void ConsoleHost::request_stop() {
    g_interrupt_requested = SIGINT;
}

void ConsoleHost::clear_stop() {
    g_interrupt_requested = 0;
}

}  // namespace corvanel
