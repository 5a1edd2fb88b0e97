// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The automatic send-ahead window: how many answer bytes the link may keep
// outstanding, measured on the board in the socket's line instead of typed in.
//
// The board's receive buffer is what limits the window: while it sends the
// answers of one command its firmware does not look at the line, and whatever
// arrives meanwhile waits in the buffer or is lost. The probe asks the board
// only for no-operation commands (100), with the voltages off, so that the chip
// cannot be touched whatever happens: bursts of no-operations written back to
// back, each burst larger than the last, every answer counted against a
// deadline, and the line left to go quiet before the next burst. A board that
// is slower per byte than the line falls behind a burst and, with a small
// buffer, loses bytes of it; the window granted is the largest whose burst
// (12 no-operations per answer byte of window: 3 bytes a command at most,
// times a margin of 4) came back complete and on time. An answer too many or
// too late means a line that cannot be trusted: lock-step.
//
// A board that takes every byte in no time at all never falls behind a burst,
// whatever its buffer, so no-operations cannot show its size; such a board gets
// the largest window (64). An operation that then loses answers ("out of step",
// "not responding") sets the port to lock-step until it is opened again.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>

namespace corvanel {

struct ProgramState;
enum class OperationKind;

// The largest window the probe grants, and the smallest worth having: below 4
// answer bytes a read (3 answers) cannot overlap the command after it.
inline constexpr std::int32_t kAutoWindowMax = 64;
inline constexpr std::int32_t kAutoWindowMin = 4;
// No-operations in the burst that must come back complete for a window of N.
inline constexpr std::int32_t kProbeNopsPerWindowByte = 12;
// Program All gains from sending ahead only when it writes more than this many
// FLASH words (its writes wait for every answer before each programming pause).
inline constexpr std::int32_t kProbeWorthProgramWords = 512;

struct SendAheadChoice {
    enum class Source {
        Measured,     // the probe ran on this port
        AnswersLost,  // an operation with the measured window lost answers
        NotMeasured,  // the operation gains nothing from a window: none was measured yet
        VoltagesOn,   // "Test Vpp" holds the voltages: nothing may be sent
        Declared,     // the board's identify record names its buffer: no probe
        Remembered,   // measured on an earlier run on this port and baud rate (the settings)
    };
    std::int32_t window = 0;  // 0: lock-step
    Source source = Source::NotMeasured;
};

// "Send-ahead: 64 (measured)", "Send-ahead: lock-step (answers lost)",
// "Send-ahead: 21 (board's buffer)", "Send-ahead: 64 (remembered)".
[[nodiscard]] std::string send_ahead_text(const SendAheadChoice& choice);

// What the probe saw.
struct ProbeReport {
    std::int32_t window = 0;         // the window granted; 0: lock-step
    std::int32_t largest_burst = 0;  // no-operations of the largest burst answered in full
    std::int32_t nops_sent = 0;
    std::string reason;  // why it stopped growing: "", "lost", "late", "extra", "voltages on"
};

// A probe's result worth a second look before the port is set to lock-step: a
// line that answered late or too much once (a busy computer, a board that was
// still starting) may well keep up on the next try.
[[nodiscard]] bool probe_doubtful(const ProbeReport& report);

// Writes the bursts through state.link (receive notification off) and answers
// the window. Sends nothing at all but no-operation commands, and nothing once
// "Test Vpp" has the voltages on. Uses the host's clock and event processing; a
// host whose clock stands still gets one look at the answers of each burst.
[[nodiscard]] ProbeReport probe_send_ahead(ProgramState& state);

// The window chosen per port (and baud rate) while the program runs.
class SendAheadMemory {
public:
    [[nodiscard]] std::optional<SendAheadChoice> find(std::int32_t port,
                                                      const std::string& baud) const;
    void remember(std::int32_t port, const std::string& baud, SendAheadChoice choice);
    // Answers were lost with a window: lock-step on this port until it is opened again.
    void answers_lost(std::int32_t port, const std::string& baud);
    // The port was opened (again): a lock-step after lost answers is forgotten,
    // so the next operation measures afresh; a measured window is kept.
    void port_opened(std::int32_t port);

private:
    std::map<std::pair<std::int32_t, std::string>, SendAheadChoice> choices_;
};

// Whether an operation of this kind on the applied model gains from a window
// enough to be worth measuring one.
[[nodiscard]] bool probe_worth_it(const ProgramState& state, OperationKind kind);

// For an automatic window: the window the next operation starts with when it
// needs no measuring (the voltages are on, this run's window for the port, the
// board's declared buffer, the settings' remembered window); nothing when the
// probe would first have to measure one. Changes nothing.
[[nodiscard]] std::optional<SendAheadChoice> known_send_ahead(const ProgramState& state);

// How the link runs, for the window's status bar: "Fast, window 85 (board's
// buffer)", "Fast, window 21 (measured)", "Lock-step (answers lost)",
// "Fast, lock-step", "Lock-step"; with an automatic window not yet measured
// ", window not measured" follows. From the same choice (known_send_ahead) and
// the same words as the operations' "Send-ahead: ..." text.
[[nodiscard]] std::string link_mode_text(const ProgramState& state);

// For an automatic window: the window for the operation about to start on the
// link's port. A board that identified itself gets the window of its declared
// buffer; otherwise the window known for the port (this run's, else the one
// remembered in the settings), measured first when none is known and the
// operation gains from it (a doubtful result is measured once more). Sets
// state.runner.window, and the fast link on with any window above 0: a board
// that keeps up with a window keeps up without the no-operations.
SendAheadChoice choose_send_ahead(ProgramState& state, OperationKind kind);

// Called when an operation is aborted: with an automatic window above 0 the
// port falls back to lock-step, and the window remembered in the settings is
// forgotten.
void note_send_ahead_failure(ProgramState& state);

}  // namespace corvanel
