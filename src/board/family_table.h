// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The emulator's family rules as a markdown table, one row per programming family
// in catalogue order: the chips, their write latches, the commands the family knows,
// its cycle times, what its erases do, its code-protect bits and the voltage order
// it needs. docs/virtual-board.md carries this table; the board server prints it
// with --families, and a test checks that the docs still say it.

#include <string>

namespace corvanel {

[[nodiscard]] std::string family_table_markdown();

}  // namespace corvanel
