// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Where the program keeps its per-user files: the settings file and the ports
// folder that maps COM numbers to devices. The window, the command-line tool and
// the board server (which registers itself there) all find them here.

#include <filesystem>

namespace corvanel {

// The product's folder name inside the platform's configuration folder.
inline constexpr const char* kProductFolder = "Tavrelix Corvanel";

// $XDG_CONFIG_HOME (or ~/.config) on Linux and other Unix systems,
// ~/Library/Preferences on macOS, %LOCALAPPDATA% on Windows; then the product folder.
[[nodiscard]] std::filesystem::path config_folder();

// The ports folder: one entry per COM number that points somewhere else.
[[nodiscard]] std::filesystem::path ports_folder();

}  // namespace corvanel
