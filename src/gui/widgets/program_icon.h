// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QIcon>

namespace corvanel {

// The program's icon: an eight-pin chip package, drawn at the usual sizes.
[[nodiscard]] QIcon program_icon();

}  // namespace corvanel
