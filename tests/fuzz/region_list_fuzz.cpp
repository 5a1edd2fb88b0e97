// SPDX-License-Identifier: GPL-3.0-or-later
// The --only list (and the window's "Program memories" setting, which holds the
// same text) on any text: a list it accepts selects something, reads the same in
// any letter case, and written back reads as the same selection.

#include <cstdlib>
#include <string>

#include "core/engine/region_selection.h"
#include "core/text/ascii_text.h"

using namespace corvanel;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::optional<RegionSelection> selection = parse_region_list(text);
    if (parse_region_list(upper_copy(text)) != selection ||
        parse_region_list(lower_copy(text)) != selection) {
        std::abort();  // letter case is ignored
    }
    if (!selection) {
        return 0;
    }
    if (selection->none()) {
        std::abort();  // an accepted list selects at least one memory
    }
    if (parse_region_list(region_list_text(*selection)) != selection) {
        std::abort();
    }
    return 0;
}
