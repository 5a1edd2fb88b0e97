// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The open and save dialogs of the HEX commands. Tests and hosts without a
// user install a chooser of their own instead of the platform dialog.

#include <functional>

#include <QString>

class QWidget;

namespace corvanel {

enum class FileChooserMode { Open, Save };

// Answers the chosen path, or an empty text when the user cancelled.
using FileChooser = std::function<QString(FileChooserMode mode, const QString& title,
                                          const QString& start_folder, const QString& filter)>;

// An empty function brings back the platform dialog.
void set_file_chooser(FileChooser chooser);

// Filter of both HEX dialogs, in the toolkit's notation.
[[nodiscard]] QString hex_file_filter();

// Shows the dialog (or asks the installed chooser). The save dialog never asks
// about overwriting: the save command asks that question itself.
[[nodiscard]] QString choose_file(QWidget* parent, FileChooserMode mode, const QString& title,
                                  const QString& start_folder);
// The same with a filter of its own (the toolkit's notation).
[[nodiscard]] QString choose_file(QWidget* parent, FileChooserMode mode, const QString& title,
                                  const QString& start_folder, const QString& filter);

}  // namespace corvanel
