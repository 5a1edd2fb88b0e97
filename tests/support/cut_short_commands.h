// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Commands a lossy line cut short, each followed by the three voltages-off bytes a
// host sends when it gives an operation up. A board inside a command takes the
// next bytes as that command's data, 103 included (67h after 104 is an extension
// the board lacks: answered, nothing done), so the answers differ; the board ends
// with its voltages off every time. Both boards, the virtual one and the firmware,
// are held to it.

#include <cstdint>
#include <vector>

namespace corvanel::test {

struct CutShortCommand {
    const char* name;
    std::vector<std::uint8_t> sent;     // what reached the board before the 103s
    std::vector<std::uint8_t> answers;  // its answers to that and the three 103s
};

inline const std::vector<CutShortCommand>& cut_short_commands() {
    static const std::vector<CutShortCommand> kCases = {
        {"between commands", {}, {103, 103, 103}},
        {"104 without its code", {104}, {104, 103, 103}},
        {"105 without its data", {105}, {105, 103}},
        {"105 without its high byte", {105, 0x00}, {105, 103, 103}},
    };
    return kCases;
}

}  // namespace corvanel::test
