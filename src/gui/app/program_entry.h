// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The program entry of the window application: one running copy only, the
// program folder, the device database before any window, then the main window.

#include <QString>
#include <QStringList>

#include <optional>

#include "platform/app/file_handoff.h"

class QLockFile;

namespace corvanel {

struct ProgramState;

// Where the lock that keeps a second copy from starting lives: the user's
// runtime folder, or the temporary folder where there is none.
[[nodiscard]] QString single_instance_lock_path();

// Takes the lock; false when another running copy holds it. A lock left behind
// by a copy that no longer runs is taken over.
[[nodiscard]] bool acquire_single_instance(QLockFile& lock);

// Outcome of loading the device database at start-up.
struct DatabaseStartup {
    bool go_on = false;
    // Shown before the program ends; empty when it ends silently (no models).
    QString message;
};

// Loads the device database at `path` into `program`.
[[nodiscard]] DatabaseStartup load_database_for_startup(const QString& path, ProgramState& program);

// The short usage of the window program, naming where it finds its files when
// it lies in `program_folder`.
[[nodiscard]] QString window_usage_text(const QString& program_folder);

// The text for an information option among `arguments` (the program name
// first): the usage for --help or -h, the name and version for --version;
// nothing when there is none, and the window starts.
[[nodiscard]] std::optional<QString> information_text(const QStringList& arguments,
                                                      const QString& program_folder,
                                                      const QString& version);

// The HEX file named on the command line (the first argument that is not an
// option); empty when there is none.
[[nodiscard]] QString file_argument(const QStringList& arguments);

// The whole program: answers the process exit code.
int run_window_application(int argc, char** argv, const QString& version);

}  // namespace corvanel
