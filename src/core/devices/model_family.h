// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What a listing of models says beside the sizes: the family a model belongs to
// (the "# Family:" note of its program algorithm's section) and whether its data
// rests on a single source. The tool's `models`, the chooser's tooltips and the
// table of supported chips say the same.

#include <string>
#include <string_view>
#include <vector>

#include "core/devices/device_database.h"

namespace corvanel {

// The families of the database, each once, in the order of their first model;
// models without a family note add none.
[[nodiscard]] std::vector<std::string> family_names(const DeviceDatabase& database);

// `name` names the family `family`: the whole name, letter case ignored, blanks
// around it and a leading "PIC" allowed ("16f188XX", "PIC16F188xx"). A part of
// a name ("188") is not a family: a filter by family must not pull in its
// neighbours.
[[nodiscard]] bool family_matches(std::string_view family, std::string_view name);

// "one source (PM)" for a model whose data rests on a single source ("sources:
// 1 (PM)"), "one source" when the key names none; empty for any other model.
[[nodiscard]] std::string one_source_text(const DeviceModel& model);

// What a model is, on one line: "Family: 16F188xx, 8-bit commands, one source (PM)"
// (the family only where the device file notes one, the source only when single).
// The chooser's tooltips and the main window's model label say it.
[[nodiscard]] std::string model_summary(const DeviceModel& model);

}  // namespace corvanel
