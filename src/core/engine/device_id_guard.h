// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The device ID guard of the chip operations. A model with a "deviceid:" key
// has its ID read first, so that a wrong chip in the socket (or none at all) is
// caught before it is erased, and an empty socket is not taken for a blank chip
// or blamed on the programmer. The operation's script then starts with the ID
// read algorithm and the instruction "checkdeviceid", and only then goes on with
// the operation's own algorithm.
//
// Verify also reads the configuration word that holds code protection first
// ("protection=s04") when the chip's code protection bits are known: a protected
// chip hides its program memory, which is then left out of the comparison instead
// of failing at every word.

#include <string>
#include <string_view>

#include "core/devices/model_application.h"
#include "core/image/memory_image.h"

namespace corvanel {

struct ProgramState;
enum class OperationKind;

// The script an operation runs: the model's algorithm for it, preceded by the
// ID read and "checkdeviceid" when the model names its ID, and for Verify by the
// protection read.
[[nodiscard]] InstructionList guarded_script(const ProgramState& state, OperationKind kind,
                                             const InstructionList& algorithm);

// The status line of an operation that the user stopped at its ID check.
[[nodiscard]] std::string_view cancelled_text(OperationKind kind);

// A question before an operation sends anything (the supply guards): an empty
// one lets it go on; otherwise it is asked with No as the default, and a "No"
// marks the operation refused and says in the status line that it was cancelled.
[[nodiscard]] bool confirm_before_start(ProgramState& state, const std::string& question,
                                        OperationKind kind);

// The ID read algorithm of the model: its own ("idalg:"), else the generic one.
[[nodiscard]] InstructionList id_read_script(const ActiveModel& model);

// "checkdeviceid": answers true when the last ID word read names the applied
// model, or when the user agrees to go on (the message box's "Yes"). Otherwise
// the operation ends here: the voltages are switched off, the commands unlocked,
// the status line says the operation was cancelled, `operation_refused` is set,
// and no completion routine runs. A model without an ID always goes on. Bytes
// that come after the ID read's last answer abort the operation as out of step
// before anything is asked.
[[nodiscard]] bool confirm_device_id(ProgramState& state);

}  // namespace corvanel
