// SPDX-License-Identifier: GPL-3.0-or-later
// The device file reader on any text: a file it accepts must give models that
// can be applied to an image, with algorithms the interpreter can split.

#include <cstdlib>

#include "fuzz_support.h"

using namespace corvanel;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    DeviceDatabase database;
    const DatabaseLoadResult loaded = parse_device_database(text, "fuzz.txt", database);
    if (loaded.status != DatabaseStatus::Loaded) {
        if (loaded.status == DatabaseStatus::BadLine && loaded.message.empty()) {
            std::abort();  // a refused line must be named to the user
        }
        return 0;
    }
    for (int number = 1; number <= database.model_count(); ++number) {
        ActiveModel model;
        MemoryImage image;
        if (apply_model(database, number, model, image)) {
            image.clear_image();
            if (image.flash_size <= 0 ||
                static_cast<std::int32_t>(image.flash.size()) != image.flash_size) {
                std::abort();
            }
        }
    }
    return 0;
}
