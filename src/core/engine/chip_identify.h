// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// "Identify Chip": reads the device ID word with the generic ID read (Vpp before
// Vdd, so that any part enters programming mode) and names every model of the
// database that has that ID. It runs in the frame of a chip operation (commands
// locked, one interpreter step per answer byte, the time-out check), under the
// operation name "identify".

#include <string_view>

#include "core/engine/chip_operations.h"

namespace corvanel {

inline constexpr std::string_view kIdentifyOperationName = "identify";
inline constexpr std::string_view kIdentifyStartText = "Reading the device ID.";

// Starts the ID read; the same checks as start_operation (busy, port).
StartResult start_identify(ProgramState& state);

// The completion routine: unlocks the commands, writes the result to the status
// line (identify_report) and hands the word to the host (chip_identified).
void identify2_routine(ProgramState& state);

}  // namespace corvanel
