// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The five chip operations. Each is the same frame around a different
// algorithm of the applied model: the starter checks the port, loads the
// script, locks the commands and runs the first interpreter step; the board's
// answers drive the script; the step that finds it finished calls the
// operation's completion routine, which unlocks the commands and reports the
// result with the elapsed time.
//
// A board that stops answering would leave an operation waiting for ever, so
// the hosts call check_timeout from a timer: when no awaited byte has come for
// five seconds the operation is aborted.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/devices/model_application.h"

namespace corvanel {

struct ProgramState;
struct MemoryImage;

enum class OperationKind { Program, Erase, Read, Blank, Verify };

// "program", "erase", "read", "blank", "verify".
[[nodiscard]] std::string_view operation_name(OperationKind kind);
[[nodiscard]] std::optional<OperationKind> operation_from_name(std::string_view name);

// Seconds without an awaited answer byte before an operation is given up. A
// pause of the script itself does not count: the clock starts when the step
// that waits for the board has ended.
inline constexpr double kAnswerTimeoutSeconds = 5.0;
inline constexpr std::string_view kNotRespondingText =
    "Programmer not responding! Operation aborted.";

// The answer stream has lost its step with the commands: a byte too many or too
// few (a board that answers twice, noise on the line), seen as a value no chip
// location can hold or as bytes arriving after the operation's last answer.
inline constexpr std::string_view kOutOfStepText =
    "Programmer answers out of step! Operation aborted.";
// A device file script that would run for ever is stopped after a number of
// steps no sound script needs for the image.
inline constexpr std::string_view kScriptTooLongText =
    "Algorithm script does not end! Operation aborted.";
// After the final answer the line is watched this long for bytes that should
// not come.
inline constexpr double kSettleSeconds = 0.05;

// The most interpreter steps an operation on `image` with a script of that
// length may take: every pass of a loop handles one location, a pass takes at
// most every instruction of the script once, and an instruction takes at most
// four steps; twice that, and some room for the instructions outside loops.
[[nodiscard]] std::uint64_t operation_step_limit(const MemoryImage& image,
                                                 std::int32_t script_length);

enum class StartResult {
    Started,
    PortNotReady,  // only the status line changed ("Serial port 3 error!")
    Busy,          // an operation is still running or finishing: nothing changed
    Refused,       // the user did not go on past a guard (the board's Vpp): nothing was sent
};

// The checks before any operation starts: Busy while one runs or finishes,
// PortNotReady (with "Serial port N error!" in the status line) without a ready
// port; nothing when it may start.
[[nodiscard]] std::optional<StartResult> start_refused(ProgramState& state);

// Prepares the interpreter for the script just loaded: address and loop at the
// start, a fresh step bound for the image, the last operation's flags cleared.
// A script that continues the last operation keeps the calibration it read.
void reset_for_new_script(ProgramState& state, bool continues = false);

// Starts an operation on the applied model's algorithm for it. Bytes waiting in
// the receive buffer from before (answers nobody waits for) are discarded before
// the first command. The caller need not look at the result: the status line
// tells the user.
StartResult start_operation(ProgramState& state, OperationKind kind);

// The same on a part of the model's algorithm for the operation (see
// split_config_sections). A script that `continues` the operation before it
// (the configuration word written after the rest was verified) runs as given:
// no device ID read, and the calibration that operation kept is written back.
StartResult start_operation_on(ProgramState& state, OperationKind kind,
                               const InstructionList& algorithm, bool continues);

// The completion routines, run by the interpreter's finishing step.
void program2_routine(ProgramState& state);
void erase2_routine(ProgramState& state);
void read2_routine(ProgramState& state);
void blank2_routine(ProgramState& state);
void verify2_routine(ProgramState& state);
// Verify of a code-protected chip: the memories protection hides are left out,
// and the result says so instead of listing a mismatch at every word.
inline constexpr std::string_view kProgramMemoryHiddenText =
    "Code protection is on: program memory cannot be read.";
inline constexpr std::string_view kDataMemoryHiddenText =
    "Data code protection is on: data memory cannot be read.";
class ScriptRunner;
// The sentences for what the last Verify could not read; empty when it read all.
[[nodiscard]] std::string hidden_memory_text(const ScriptRunner& runner);
// The last Verify left a memory out: it compared less than the whole chip.
[[nodiscard]] bool verify_incomplete(const ScriptRunner& runner);

// The routine that the operation name names; nothing for any other text.
void run_completion_routine(ProgramState& state, std::string_view name);

// "12.25": whole seconds, a point, and the hundredths cut (not rounded) to two digits.
[[nodiscard]] std::string elapsed_seconds_text(double seconds);

// Aborts the running operation when it has waited for the board longer than
// the time-out at `now` (a reading of the host's clock): voltages off is sent
// once, the commands are unlocked, a Read All's image is put back as it was
// before the read, and the status line says so. Answers true
// when it aborted. Nothing happens while no operation waits, while a step is
// running, or while "Test Vpp" holds the voltages (the wait starts afresh then).
bool check_timeout(ProgramState& state, double now);

// Ends the running operation as failed: nothing more is sent but voltages-off,
// the commands are unlocked and the status line shows `status_text`. A Read All
// leaves the image as it was before the operation started.
void abort_operation(ProgramState& state, std::string_view status_text);

// After a time-out: a version-2 board that refused a voltages-on is asked why
// (identify), and the reason is shown ("the target's Vdd read 0.3 V after
// switch-on: is the socket shorted?") with kBoardRefusedText in the status line.
void name_board_refusal(ProgramState& state);
inline constexpr std::string_view kBoardRefusedText = "Board refused the voltages.";

// Watches the line for a short while after the operation's final answer; true
// when bytes came that no command asked for (they are thrown away).
[[nodiscard]] bool answers_after_end(ProgramState& state);

}  // namespace corvanel
