// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/engine/config_sections.h"

#include "core/engine/script_runner.h"

namespace corvanel {

namespace {

bool touches_config_word(InstructionKind kind) {
    const KindMemory memory = traits_of(kind).memory;
    return memory == KindMemory::Config1 || memory == KindMemory::Config2 ||
           memory == KindMemory::ConfigMore;
}

}  // namespace

ConfigSplit split_config_sections(const InstructionList& algorithm) {
    ConfigSplit split;
    InstructionList section;
    bool inside = false;
    bool config = false;
    for (const std::string& text : algorithm) {
        const InstructionKind kind = decode_instruction(text).kind;
        if (!inside) {
            if (kind != InstructionKind::Begin && kind != InstructionKind::BeginVppFirst) {
                split.rest.push_back(text);
                continue;
            }
            inside = true;
            config = false;
            section.clear();
        }
        section.push_back(text);
        config = config || touches_config_word(kind);
        if (kind == InstructionKind::End) {
            InstructionList& target = config ? split.config : split.rest;
            target.insert(target.end(), section.begin(), section.end());
            inside = false;
        }
    }
    // A section the algorithm never ends stays where it was.
    split.rest.insert(split.rest.end(), section.begin(), inside ? section.end() : section.begin());
    return split;
}

}  // namespace corvanel
