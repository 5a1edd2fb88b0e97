// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/devices/vdd_window.h"

#include "core/devices/vpp_window.h"

namespace corvanel {

namespace {

// Hundredths of a volt: "3.6" typed by the user is inside a window ending at 3.6.
constexpr double kSlack = 0.005;

std::optional<VppWindow> pair(std::string_view text) {
    const auto window = parse_vpp_window(text);
    if (!window || window->max_volts > kHighestVdd) {
        return std::nullopt;
    }
    return window;
}

}  // namespace

bool VddWindow::contains(double volts) const {
    return volts >= min_volts - kSlack && volts <= max_volts + kSlack;
}

bool VddWindow::contains_for_erase(double volts) const {
    if (!contains(volts)) {
        return false;
    }
    if (erase_min_volts && erase_max_volts) {
        return volts >= *erase_min_volts - kSlack && volts <= *erase_max_volts + kSlack;
    }
    return true;
}

std::optional<double> parse_board_vdd(std::string_view text) {
    const std::optional<double> volts = parse_volts(text);
    if (!volts || *volts > kHighestVdd) {
        return std::nullopt;
    }
    return volts;
}

std::optional<VddWindow> parse_vdd_window(std::string_view text) {
    constexpr std::string_view kErase = " erase ";
    const std::size_t erase = text.find(kErase);
    const auto write = pair(text.substr(0, erase));
    if (!write) {
        return std::nullopt;
    }
    VddWindow window{write->min_volts, write->max_volts, std::nullopt, std::nullopt};
    if (erase != std::string_view::npos) {
        const auto erase_pair = pair(text.substr(erase + kErase.size()));
        if (!erase_pair) {
            return std::nullopt;
        }
        window.erase_min_volts = erase_pair->min_volts;
        window.erase_max_volts = erase_pair->max_volts;
    }
    return window;
}

std::string vdd_window_text(const VddWindow& window) {
    std::string text = vpp_window_text(VppWindow{window.min_volts, window.max_volts});
    if (window.erase_min_volts && window.erase_max_volts) {
        text += " (erase " +
                vpp_window_text(VppWindow{*window.erase_min_volts, *window.erase_max_volts}) + ")";
    }
    return text;
}

}  // namespace corvanel
