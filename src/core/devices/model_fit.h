// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Which models of the database a HEX file was built for. A file with data the
// applied model has no place for was usually built for another, often larger,
// chip: the out-of-range warning then names the file's highest address and
// the models that hold every word of it, instead of only counting addresses.

#include <string>
#include <string_view>
#include <vector>

#include "core/devices/device_database.h"
#include "core/image/intel_hex_reader.h"

namespace corvanel {

// The numbers of the models that have a place for every word address in
// `ranges`, in file order.
[[nodiscard]] std::vector<int> models_holding(const DeviceDatabase& database,
                                              const std::vector<WordRange>& ranges);

// The lines added to the out-of-range warning for a file loaded into model
// `selected_model` (each ending with CR LF):
//   The file's highest address is 8008h: it was built for a larger chip than PIC16F628A.
//   Models that hold the whole file: PIC16F1509, PIC16LF1509.
// Empty when the report has no data out of range.
[[nodiscard]] std::string model_fit_text(const DeviceDatabase& database, int selected_model,
                                         const HexOpenReport& report);

// Adds those lines to the report's out-of-range warning (its last message).
void add_model_fit_text(const DeviceDatabase& database, int selected_model, HexOpenReport& report);

}  // namespace corvanel
