// SPDX-License-Identifier: GPL-3.0-or-later
// The calibration rescue file ("calibration-MODEL.txt") with any content: what the
// reader accepts are values a chip can hold, and they survive being saved and
// read again. The reader takes a path, so each input is written to a file of
// this process's own.

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "core/engine/calibration_recovery.h"

using namespace corvanel;

namespace {

std::filesystem::path own_folder() {
    static const std::filesystem::path folder = [] {
        auto path = std::filesystem::temp_directory_path() /
                    ("corvanel-calibration-fuzz-" + std::to_string(getpid()));
        std::filesystem::create_directories(path);
        return path;
    }();
    return folder;
}

bool holdable(std::int32_t value) {
    return value == -1 || (value >= 0 && value <= 0x3FFF);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::filesystem::path file = own_folder() / "calibration-PIC12F675.txt";
    {
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    const std::optional<SavedCalibration> saved = load_saved_calibration(file);
    if (!saved) {
        return 0;
    }
    if (!holdable(saved->word) || !holdable(saved->bits) || (saved->word < 0 && saved->bits < 0)) {
        std::abort();  // nothing to write back, or a value no chip word holds
    }
    const std::filesystem::path copy = own_folder() / "calibration-PIC12F629.txt";
    if (!save_calibration(copy, *saved)) {
        std::abort();
    }
    const std::optional<SavedCalibration> again = load_saved_calibration(copy);
    if (!again || again->word != saved->word || again->bits != saved->bits) {
        std::abort();
    }
    return 0;
}
