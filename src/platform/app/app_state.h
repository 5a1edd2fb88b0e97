// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Program-wide values of the window application: the program state (device
// database, applied model, memory image, report) and the texts every window
// shares. The program installs its own instances at start-up; a test installs
// one of its own before it creates a window.

#include <QString>

#include "core/engine/program_state.h"

namespace corvanel {

// The program state in use. Without an installed one, a default instance.
[[nodiscard]] ProgramState& state();
// Installs `program_state` (not owned); nullptr goes back to the default instance.
void install_state(ProgramState* program_state);

// Caption of the main window and default caption of every message.
[[nodiscard]] const QString& window_title();

// The folder holding the program file, ending in the platform's separator.
[[nodiscard]] QString& program_folder();

// Start folder of the HEX open and save dialogs, ending in the platform's separator.
[[nodiscard]] QString& last_path();

// The program folder for an executable folder: native separators and a
// trailing separator. Windows file names ignore case, so there the folder is
// lower-cased; elsewhere the case is kept, since it tells files apart.
[[nodiscard]] QString make_program_folder(const QString& executable_folder);

// Path of the device database file: in the program folder, else in the
// installed data folder (see data_files.h); the program folder's when neither holds it.
[[nodiscard]] QString device_database_path();

}  // namespace corvanel
