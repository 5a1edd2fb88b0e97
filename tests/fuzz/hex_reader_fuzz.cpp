// SPDX-License-Identifier: GPL-3.0-or-later
// The HEX reader on any bytes, into the image of a model of the shipped
// device file: a rejected file leaves the image blank, an accepted one writes
// out and reads back to the same image.

#include <cstdlib>

#include "core/image/intel_hex_reader.h"
#include "core/image/intel_hex_writer.h"
#include "fuzz_support.h"

using namespace corvanel;

namespace {

bool same_cells(const MemoryImage& a, const MemoryImage& b) {
    return a.flash == b.flash && a.eeprom == b.eeprom && a.config1 == b.config1 &&
           (!a.config2_used || a.config2 == b.config2);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Choices choices(data, size);
    ActiveModel model;
    MemoryImage image;
    if (!fuzz::apply_chosen_model(choices, model, image)) {
        return 0;
    }
    const MemoryImage blank = image;
    const HexOpenReport report = open_hex_text(choices.rest(), "fuzz.hex", image);
    if (!report.loaded) {
        if (!same_cells(image, blank)) {
            std::abort();  // a rejected file changed the image
        }
        return 0;
    }
    MemoryImage again = blank;
    const HexReadResult round = load_hex_text(write_hex_text(image), again);
    if (!round.loaded || !round.end_record || !same_cells(again, image)) {
        std::abort();  // what the writer wrote does not read back the same
    }
    return 0;
}
