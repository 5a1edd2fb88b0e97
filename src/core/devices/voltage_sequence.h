// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

namespace corvanel {

// Order in which the programmer raises the supply and programming voltages.
enum class VoltageSequence : std::int32_t { None = 0, VddFirst = 1, VppFirst = 2 };

}  // namespace corvanel
