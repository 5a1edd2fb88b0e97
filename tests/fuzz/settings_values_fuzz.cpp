// SPDX-License-Identifier: GPL-3.0-or-later
// The values of settings.ini as the programs read them, each through the pure
// function that parses it: numbers (port, baud, model, window) by leading_number,
// "Board Vpp" by parse_volts, a model's "vpp:" window, the programming entry. The
// file is the user's to edit: any text gives a value in range or none.

#include <cmath>
#include <cstdlib>
#include <string>

#include "core/devices/leading_number.h"
#include "core/devices/programming_entry.h"
#include "core/devices/vpp_window.h"
#include "core/text/decimal_number.h"
#include "fuzz_support.h"

using namespace corvanel;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Choices choices(data, size);
    const std::uint32_t which = choices.pick(5);
    const std::string_view text = choices.rest();
    switch (which) {
        case 0:
            // Blanks in front are skipped: the same number with or without them.
            if (leading_number(" \t" + std::string(text)) != leading_number(text)) {
                std::abort();
            }
            break;
        case 1:
            if (const auto volts = parse_volts(text)) {
                if (!(*volts > 0.0 && *volts <= kHighestVpp)) {
                    std::abort();
                }
                // What the window shows of it reads back as the same voltage.
                const auto shown = parse_volts(volts_text(*volts));
                if (!shown || std::fabs(*shown - *volts) > 0.0051) {
                    std::abort();
                }
            }
            break;
        case 2:
            if (const auto window = parse_vpp_window(text)) {
                if (!(window->min_volts > 0.0 && window->min_volts <= window->max_volts &&
                      window->max_volts <= kHighestVpp)) {
                    std::abort();
                }
                (void)vpp_window_text(*window);
            }
            break;
        case 3:
            if (const auto number = parse_decimal_number(text)) {
                if (!std::isfinite(*number) || *number < 0.0) {
                    std::abort();
                }
            }
            break;
        default:
            if (const auto entry = programming_entry_from_text(text)) {
                if (programming_entry_from_text(programming_entry_text(*entry)) != entry) {
                    std::abort();
                }
            }
            break;
    }
    return 0;
}
