// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/devices/model_family.h"

#include <algorithm>
#include <cctype>

#include "core/devices/command_set.h"
#include "core/text/ascii_text.h"

namespace corvanel {
namespace {

// Letter case ignored, ASCII letters only (a file's text, whatever the locale).
bool same_letters(std::string_view a, std::string_view b) {
    return lower_copy(a) == lower_copy(b);
}

}  // namespace

std::vector<std::string> family_names(const DeviceDatabase& database) {
    std::vector<std::string> names;
    for (int n = 1; n <= database.model_count(); ++n) {
        const std::string& family = database.model(n).family;
        if (!family.empty() && std::find(names.begin(), names.end(), family) == names.end()) {
            names.push_back(family);
        }
    }
    return names;
}

bool family_matches(std::string_view family, std::string_view name) {
    name = trimmed(name);
    if (family.empty() || name.empty()) {
        return false;
    }
    if (same_letters(family, name)) {
        return true;
    }
    // The notes name families without the "PIC" of the part names.
    return name.size() > 3 && same_letters(name.substr(0, 3), "PIC") &&
           same_letters(family, name.substr(3));
}

std::string one_source_text(const DeviceModel& model) {
    if (!single_source(model)) {
        return {};
    }
    // "1 (PM)": the name in brackets; without brackets whatever follows the count.
    std::string_view rest(model.sources);
    const std::size_t open = rest.find('(');
    const std::size_t close = rest.find(')', open == std::string_view::npos ? 0 : open);
    if (open != std::string_view::npos && close != std::string_view::npos) {
        rest = rest.substr(open + 1, close - open - 1);
    } else {
        rest = trimmed(rest);
        while (!rest.empty() &&
               (std::isdigit(static_cast<unsigned char>(rest.front())) != 0 ||
                rest.front() == '+' || rest.front() == '-' || rest.front() == '.')) {
            rest.remove_prefix(1);
        }
    }
    rest = trimmed(rest);
    return rest.empty() ? std::string("one source") : "one source (" + std::string(rest) + ")";
}

std::string model_summary(const DeviceModel& model) {
    std::string summary;
    if (!model.family.empty()) {
        summary = "Family: " + model.family + ", ";
    }
    summary += std::string(command_set_of(model.commandset).name) + " commands";
    if (const std::string mark = one_source_text(model); !mark.empty()) {
        summary += ", " + mark;
    }
    return summary;
}

}  // namespace corvanel
