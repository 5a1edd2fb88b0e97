// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The board's own check-out, run with the socket empty: what it says of itself
// (identify), each rail with each Vdd and Vpp level selected in turn, the chip's
// Vdd behind the switch and the data line's pull-up, the declared receive buffer
// filled with no-operations, and the declared line rates. Each line passes or
// fails and names what to check with a meter when it fails.
//
// Vpp never reaches the socket: the board measures its Vpp rail with the voltages
// off. The one voltages-on is the board's low-voltage entry at 3.3 V (Vdd only,
// MCLR held low), and only on a board that selects its Vdd and has just read its
// 3.3 V rail inside the 3.0-3.6 V every listed part takes: a chip left in the
// socket by mistake sees no more than an LF part's own supply, and no Vpp.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace corvanel {

struct ProgramState;

enum class BoardTestVerdict { Pass, Fail, NotDeclared, NotTested };

struct BoardTestLine {
    std::string name;  // "Vdd rail, 3.3 V selected"
    BoardTestVerdict verdict = BoardTestVerdict::NotTested;
    std::string reading;  // "3.31 V (3.0-3.6 V)"
    std::string meter;    // what to check with a meter when it failed
};

struct BoardTestReport {
    std::vector<BoardTestLine> lines;
    // The board stopped answering or answered out of step: the rest was not asked.
    bool link_failed = false;
    // The user asked to stop (the host's stop_requested): the lines judged before
    // are kept, the voltages were switched off, and the test has not passed.
    bool stopped = false;
    [[nodiscard]] bool passed() const;
    // The names of the failed lines, ", " between them.
    [[nodiscard]] std::string failed_names() const;
};

// Switches both ends of the line to rate code `code` (board_identity::kRate...;
// 0 back to the starting rate) with the check exchange of extension 47h, and
// answers whether the new rate holds. Given by whoever owns the port; without it
// the declared rates are listed and not exercised.
using BoardRateSwitch = std::function<bool(std::uint8_t code)>;

// The switch a port whose rate the user did not pin gives the test (through
// switch_line_rate); nothing on a pinned port, whose declared rates are listed.
[[nodiscard]] BoardRateSwitch rate_switch_of(ProgramState& state);

// Runs the test on the open port with the voltages off; leaves them off, with
// 3.3 V and the low Vpp level selected (the reset state), the receive
// notification off and nothing waiting. The applied model plays no part. A stop
// the host asks for ends it at the board's next answer, the voltages off.
[[nodiscard]] BoardTestReport run_board_test(ProgramState& state,
                                             const BoardRateSwitch& switch_rate = {});

// "PASS", "FAIL", "not declared", "not tested".
[[nodiscard]] std::string board_test_verdict_text(BoardTestVerdict verdict);

// The report as a table, one line each ("PASS  Vpp rail, low level  8.71 V
// (8.0-9.0 V)"), a failed line followed by its meter hint, and a last line
// "Board test passed.", "Board test failed: NAMES." or, stopped by the user,
// "Interrupted: board test stopped, voltages off."
[[nodiscard]] std::vector<std::string> board_test_table(const BoardTestReport& report);

}  // namespace corvanel
