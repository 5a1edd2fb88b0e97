// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/devices/model_family.h"

#include <algorithm>
#include <cctype>

namespace corvanel {
namespace {

std::string_view trim(std::string_view text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front())) != 0) {
        text.remove_prefix(1);
    }
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())) != 0) {
        text.remove_suffix(1);
    }
    return text;
}

bool same_letters(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
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
    name = trim(name);
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
        rest = trim(rest);
        while (!rest.empty() &&
               (std::isdigit(static_cast<unsigned char>(rest.front())) != 0 ||
                rest.front() == '+' || rest.front() == '-' || rest.front() == '.')) {
            rest.remove_prefix(1);
        }
    }
    rest = trim(rest);
    return rest.empty() ? std::string("one source") : "one source (" + std::string(rest) + ")";
}

}  // namespace corvanel
