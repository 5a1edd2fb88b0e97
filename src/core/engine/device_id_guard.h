#pragma once

// The device ID guard of Program All and Erase All. A model with a "deviceid:"
// key has its ID read first, so that a wrong chip in the socket (or none at all)
// is caught before it is erased. The operation's script then starts with the ID
// read algorithm and the instruction "checkdeviceid", and only then goes on with
// the operation's own algorithm.

#include "core/devices/model_application.h"

namespace corvanel {

struct ProgramState;
enum class OperationKind;

// The script an operation runs: the model's algorithm for it, preceded by the
// ID read and "checkdeviceid" when the operation erases the chip and the model
// names its ID.
[[nodiscard]] InstructionList guarded_script(const ActiveModel& model, OperationKind kind,
                                             const InstructionList& algorithm);

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
