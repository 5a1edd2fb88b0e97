// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What the chip operations need from whoever runs them: the main window, the
// command-line tool or a test. The engine itself knows nothing of windows,
// clocks or ports; it reports and asks through this interface only.

#include <cstdint>
#include <optional>
#include <string_view>

#include "core/message_kind.h"

namespace corvanel {

class EngineHost {
public:
    virtual ~EngineHost() = default;

    // Replaces the text of the one-line status line.
    virtual void set_status_text(std::string_view text) = 0;
    // Shows a modal message and answers the button chosen. An empty caption
    // means the window title.
    virtual int show_message(std::string_view text, int kind, std::string_view caption) = 0;
    // Locks and unlocks the commands that could start a second operation.
    virtual void disable_commands() = 0;
    virtual void enable_commands() = 0;
    // Redraws the memory tables from the image.
    virtual void redraw_tables() = 0;
    // Blocks for that many milliseconds (0 returns at once).
    virtual void pause(int milliseconds) = 0;
    // A steadily rising clock in seconds, with at least hundredths.
    [[nodiscard]] virtual double clock_seconds() = 0;
    // Lets pending window events run.
    virtual void process_events() = 0;
    // Ends the program (after an unrecognised script instruction). A host that
    // cannot end at once may return: the engine then stops the operation itself
    // and sends nothing more.
    virtual void end_program() = 0;
    // "Identify Chip" has read the device ID word (-1 when none was read); the
    // status line already shows what it names. The window offers to apply the model.
    virtual void chip_identified(std::int32_t /*word*/) {}
    // Asks the user for the board's Vpp as a meter shows it (a plain board says
    // nothing of it); the window keeps the answer as "Board Vpp". Nothing when
    // the user gives none or the host cannot ask.
    virtual std::optional<double> ask_board_vpp(std::string_view /*question*/) {
        return std::nullopt;
    }
    // True when the host answers questions Yes without anyone reading them (the
    // tool's --force). A question whose Yes may put 5 V on a 3.6 V part is then
    // refused instead: only a stated supply settles it.
    [[nodiscard]] virtual bool answers_unread() const { return false; }
    // True once the user has asked to stop (the tool's Ctrl-C). An exchange that
    // runs outside an operation (the board test, a line-rate switch) looks at it
    // while it waits for the board, and ends at once with the voltages off.
    [[nodiscard]] virtual bool stop_requested() { return false; }
};

// A host that shows nothing and never waits; used when none is attached, and a
// base for hosts that need only a part of the interface.
class NullEngineHost : public EngineHost {
public:
    void set_status_text(std::string_view) override {}
    int show_message(std::string_view, int, std::string_view) override {
        return message_result::kOk;
    }
    void disable_commands() override {}
    void enable_commands() override {}
    void redraw_tables() override {}
    void pause(int) override {}
    [[nodiscard]] double clock_seconds() override { return 0.0; }
    void process_events() override {}
    void end_program() override {}
};

}  // namespace corvanel
