// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/engine/board_match.h"

#include <algorithm>

#include "core/devices/command_set.h"
#include "core/engine/program_state.h"

namespace corvanel {

namespace {

std::string filled(std::string_view text, const ProgramState& state) {
    std::string out;
    while (!text.empty()) {
        const std::size_t at = text.find('{');
        out += text.substr(0, at);
        if (at == std::string_view::npos) {
            break;
        }
        text.remove_prefix(at);
        if (text.starts_with("{model}")) {
            out += state.model.model_name;
            text.remove_prefix(7);
        } else if (text.starts_with("{set}")) {
            out += state.model.command_set->name;
            text.remove_prefix(5);
        } else {
            out += '{';
            text.remove_prefix(1);
        }
    }
    return out;
}

}  // namespace

DeclaredFeatures declared_features(const ProgramState& state) {
    switch (state.board_answer) {
        case BoardAnswer::Identified:
            return state.board ? DeclaredFeatures{true, true, state.board->features}
                               : DeclaredFeatures{};
        case BoardAnswer::Plain:
        case BoardAnswer::Garbled:
            return {true, false, 0};
        case BoardAnswer::NotAsked:
            break;
    }
    return {};
}

bool board_declares(const ProgramState& state, std::uint16_t feature) {
    const DeclaredFeatures declared = declared_features(state);
    return declared.identified && (declared.features & feature) == feature;
}

std::vector<BoardNeed> board_needs(const CommandSet& set, bool low_voltage) {
    std::vector<BoardNeed> needs;
    if (set.commands_feature != 0) {
        needs.push_back({Lack::Commands, set.commands_feature, false});
    }
    if (low_voltage) {
        needs.push_back({Lack::LowVoltageKey, set.low_voltage_feature, true});
    }
    return needs;
}

std::optional<Lack> first_lack(const std::vector<BoardNeed>& needs, DeclaredFeatures declared) {
    if (!declared.known) {
        return std::nullopt;
    }
    for (const BoardNeed& need : needs) {
        if (need.extension && !declared.identified) {
            continue;
        }
        if ((declared.features & need.feature) != need.feature) {
            return need.lack;
        }
    }
    return std::nullopt;
}

std::optional<Refusal> capability_refusal(const ProgramState& state) {
    std::optional<Lack> lack;
    if (state.programming_entry == ProgrammingEntry::LowVoltage && !state.model.low_voltage_entry) {
        lack = Lack::ModelLowVoltage;
    } else {
        lack = first_lack(board_needs(*state.model.command_set, state.low_voltage_entry()),
                          declared_features(state));
    }
    if (!lack) {
        return std::nullopt;
    }
    const auto text = std::find_if(kLackTexts.begin(), kLackTexts.end(),
                                   [&](const LackText& t) { return t.lack == *lack; });
    return Refusal{filled(text->message, state), filled(text->status, state)};
}

}  // namespace corvanel
