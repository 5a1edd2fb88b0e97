// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A code-protected chip hides its program memory as soon as its configuration
// word is written, so a Program All that verifies must write and verify
// everything else first and the configuration word last. The algorithms work in
// sections, each between its own "begin" and "end" (the chip's address counter
// only returns to 0 when programming mode is left); the configuration word has a
// section of its own, reached by Load Configuration and seven increments. Here
// an algorithm is cut into its configuration sections and the rest.

#include "core/devices/model_application.h"

namespace corvanel {

struct ConfigSplit {
    // The algorithm without its configuration sections, in the same order.
    InstructionList rest;
    // Only the sections that write, read or check a configuration word (1 to 7).
    InstructionList config;
    [[nodiscard]] bool found() const { return !config.empty(); }
};

// A section is one from a "begin" (or "beginvppvdd") up to and including its
// "end"; instructions outside every section stay with the rest. The sections
// that only keep the calibration bits of the configuration word are not
// configuration sections: they belong to the erase.
[[nodiscard]] ConfigSplit split_config_sections(const InstructionList& algorithm);

}  // namespace corvanel
