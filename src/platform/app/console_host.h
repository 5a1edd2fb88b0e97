// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The chip operations' host of a run without a window (the command-line tool,
// and each board of the window's several-boards mode, whose lines go to its
// tile through set_line_sink): the status line becomes printed lines, messages are printed, pauses
// really wait (except for the in-process virtual board, whose chip clock they move on instead), and
// the time-out check runs from a timer while the event loop waits for the board.
//
// On a terminal the progress texts ("F:120/2048") overwrite one line with a
// bar; elsewhere only the start line and the result line are printed.

#include <QElapsedTimer>

#include <cstdio>
#include <functional>
#include <string>
#include <string_view>

#include "core/engine/engine_host.h"
#include "platform/link/precise_pause.h"

namespace corvanel {

struct ProgramState;

// Lines separated by CR LF (or LF) printed as lines, each after the calling
// thread's line prefix.
void print_lines(std::FILE* out, std::string_view text);
// What print_lines puts before each line printed from this thread ("COM3: "
// for the board a thread of a gang run works for); empty by default.
void set_line_prefix(std::string prefix);
// Where print_lines sends this thread's lines instead of its file, one call a
// line without the prefix (the window's tile of the board the thread works
// for); an empty function prints again.
void set_line_sink(std::function<void(std::string_view line)> sink);

class ConsoleHost final : public EngineHost {
public:
    ConsoleHost(std::FILE* out, bool terminal);

    void set_status_text(std::string_view text) override;
    int show_message(std::string_view text, int kind, std::string_view caption) override;
    void disable_commands() override;
    void enable_commands() override;
    void redraw_tables() override {}
    void pause(int milliseconds) override;
    [[nodiscard]] double clock_seconds() override;
    void process_events() override;
    void end_program() override;

    // The virtual board acts at once: the script's programming pauses are skipped.
    void set_skip_pauses(bool skip) { skip_pauses_ = skip; }
    // The answer to a question (the device ID guard's "Continue?"): "Yes" with
    // --force, otherwise "No", so that nothing is erased unless asked for.
    void set_answer_yes(bool yes) { answer_yes_ = yes; }
    [[nodiscard]] bool answers_unread() const override { return answer_yes_; }
    [[nodiscard]] bool program_ended() const { return program_ended_; }
    // Quiet: status texts are kept but not printed (the device ID reads of
    // --repeat, three a second, would fill the output).
    void set_quiet(bool quiet) { quiet_ = quiet; }
    [[nodiscard]] const std::string& last_status() const { return last_status_; }

    // Runs one operation of `state` that start_operation has started: waits in
    // the event loop until it finishes, ends the program, the board has been
    // silent past the time-out, or the user interrupts (those two answer false).
    [[nodiscard]] bool wait_for_operation(ProgramState& state);

    // Ctrl-C (SIGINT) during an operation stops it and switches the programming
    // voltages off, instead of leaving them on the chip when the tool dies.
    // SIGTERM and SIGHUP (a closed terminal, a stopped job) are handled the same way.
    static void catch_interrupts();
    // While the port is open a stop signal is only noted, and the operation
    // stops between two steps with the voltages off. With no port open there is
    // nothing to switch off: the signal ends the tool at once, also while it
    // reads a file that never ends or waits for one that never comes.
    static void set_port_open(bool open);
    // Several boards at once: a stop signal is only noted while `held`, whatever
    // each board's port is doing, and every board stops between two steps.
    static void hold_ports_open(bool held);
    // From now on a stop signal is only noted, also with the port closed: the
    // chip's result is known and is logged and answered as it is.
    static void defer_interrupts();
    [[nodiscard]] bool interrupted() const { return interrupted_; }
    // A stop signal has come: the board test and a rate switch end at once.
    [[nodiscard]] bool stop_requested() override { return interrupt_signal() != 0; }
    // The stop signal received so far, 0 for none; the tool exits with 128 + it.
    [[nodiscard]] static int interrupt_signal();
    // The window's Stop of several boards: noted as a SIGINT would be, and every
    // board stops between two steps with its voltages off. Cleared for the next run.
    static void request_stop();
    static void clear_stop();

private:
    enum class Phase { Idle, Starting, Running, Finishing };

    void clear_progress();
    // Stops the running operation after a stop signal, between two steps only
    // (never in the middle of a command's bytes), and switches the voltages off.
    bool stop_if_interrupted(ProgramState& state);

    std::FILE* out_;
    bool terminal_;
    bool skip_pauses_ = false;
    bool answer_yes_ = false;
    bool program_ended_ = false;
    bool quiet_ = false;
    bool interrupted_ = false;
    bool stop_deferred_ = false;  // a stop request waits for the calibration write-back
    bool progress_shown_ = false;
    Phase phase_ = Phase::Idle;
    std::string last_status_;
    double last_draw_ = -1.0;
    QElapsedTimer clock_;
    EventPassThrottle event_throttle_{std::chrono::milliseconds(5)};
};

}  // namespace corvanel
