// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/devices/model_fit.h"

#include <limits>

#include "core/devices/model_application.h"

namespace corvanel {

namespace {

constexpr std::string_view kCrLf = "\r\n";
// A list longer than this is cut: the user needs the likely part, not the catalogue.
constexpr std::size_t kMaxNamedModels = 8;

bool holds(const MemoryImage& image, const std::vector<WordRange>& ranges) {
    for (const WordRange& range : ranges) {
        if (range.first < 0 || range.end > std::numeric_limits<std::int32_t>::max()) {
            return false;
        }
        for (auto address = range.first; address < range.end; ++address) {
            if (image.locate(static_cast<std::int32_t>(address)).region == Region::Outside) {
                return false;
            }
        }
    }
    return true;
}

std::string address_text(std::int64_t address) {
    // Word addresses above FFFFh do not exist on a 14-bit part; the digits say how far.
    std::string digits;
    for (auto rest = address; rest > 0 || digits.empty(); rest /= 16) {
        digits.insert(digits.begin(), "0123456789ABCDEF"[rest % 16]);
    }
    while (digits.size() < 4) {
        digits.insert(digits.begin(), '0');
    }
    return digits + "h";
}

}  // namespace

std::vector<int> models_holding(const DeviceDatabase& database,
                                const std::vector<WordRange>& ranges) {
    std::vector<int> found;
    for (int number = 1; number <= database.model_count(); ++number) {
        ActiveModel model;
        MemoryImage image;
        if (!apply_model(database, number, model, image)) {
            continue;
        }
        image.clear_image();  // the cells take the model's sizes here
        if (holds(image, ranges)) {
            found.push_back(number);
        }
    }
    return found;
}

std::string model_fit_text(const DeviceDatabase& database, int selected_model,
                           const HexOpenReport& report) {
    if (report.out_of_range_count == 0 || !database.has_model(selected_model)) {
        return {};
    }
    ActiveModel current;
    MemoryImage current_image;
    (void)apply_model(database, selected_model, current, current_image);
    current_image.clear_image();
    std::string text = "The file's highest address is " + address_text(report.highest_address);
    if (!report.ranges_complete) {
        return text + "." + std::string(kCrLf);
    }
    const std::vector<int> fits = models_holding(database, report.ranges);
    bool larger = !fits.empty();
    std::string names;
    for (std::size_t i = 0; i < fits.size(); ++i) {
        ActiveModel model;
        MemoryImage image;
        (void)apply_model(database, fits[i], model, image);
        image.clear_image();
        larger = larger && image.flash_size > current_image.flash_size;
        if (i < kMaxNamedModels) {
            names += (i == 0 ? "" : ", ") + database.model(fits[i]).name;
        }
    }
    if (fits.size() > kMaxNamedModels) {
        names += " and " + std::to_string(fits.size() - kMaxNamedModels) + " more";
    }
    text += std::string(": it was built for ") + (larger ? "a larger chip" : "another chip") +
            " than " + current.model_name + "." + std::string(kCrLf);
    if (fits.empty()) {
        text += "No model of the device database holds the whole file.";
    } else {
        text += "Models that hold the whole file: " + names + ".";
    }
    return text + std::string(kCrLf);
}

void add_model_fit_text(const DeviceDatabase& database, int selected_model, HexOpenReport& report) {
    const std::string text = model_fit_text(database, selected_model, report);
    if (!text.empty() && !report.messages.empty()) {
        report.messages.back().text += text;
    }
}

}  // namespace corvanel
