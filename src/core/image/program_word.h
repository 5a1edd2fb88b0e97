// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The width of a 14-bit part's words, for the image, the device ID checks and
// the emulated chips alike.

#include <cstdint>

namespace corvanel {

// Every bit of a 14-bit program or configuration word: what an erased word reads,
// and the mask of the bits a word holds.
inline constexpr std::int32_t kBlankFlashWord = 0x3FFF;

}  // namespace corvanel
