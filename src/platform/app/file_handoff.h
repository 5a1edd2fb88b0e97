// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A second start of the window hands the file it was given to the running copy:
// it leaves the file's absolute path in a small file beside the single-instance
// lock, which the running copy takes (and removes) when its folder changes.

#include <QString>

namespace corvanel {

// Where a second start leaves the file it was given for the running copy: beside
// the lock.
[[nodiscard]] QString handoff_path(const QString& lock_path);
// Leaves `file` (made absolute) for the running copy; false when it cannot.
bool hand_off_file(const QString& lock_path, const QString& file);
// The file a second start left, taken away; empty when there is none.
[[nodiscard]] QString take_handed_off_file(const QString& lock_path);

}  // namespace corvanel
