// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/devices/algorithm_check.h"

#include <algorithm>

#include "core/devices/instruction_decode.h"
#include "core/devices/model_application.h"
#include "core/image/hex_text.h"

namespace corvanel {

namespace {

// The memory an instruction writes, as a region of the chip; none for the others.
enum class WrittenRegion { None, Flash, Eeprom, UserIds, Config };

WrittenRegion written_region(InstructionKind kind) {
    if (traits_of(kind).role != KindRole::Write) {
        return WrittenRegion::None;
    }
    switch (traits_of(kind).memory) {
        case KindMemory::Flash:
            return WrittenRegion::Flash;
        case KindMemory::Eeprom:
            return WrittenRegion::Eeprom;
        case KindMemory::UserId:
            return WrittenRegion::UserIds;
        case KindMemory::Config1:
        case KindMemory::Config2:
        case KindMemory::ConfigMore:
            return WrittenRegion::Config;
        default:
            return WrittenRegion::None;
    }
}

// A program algorithm that erases by regions leaves out each section that writes a
// memory the operation keeps (the cells were not erased, and a write over them
// would change them): so each section writes one region at most, and the erase
// writes none, or leaving a section out would leave out another region's writes.
std::string region_sections_problem(const InstructionList& instructions) {
    const bool by_regions =
        std::any_of(instructions.begin(), instructions.end(), [](const std::string& text) {
            return decode_instruction(text).kind == InstructionKind::EraseRegions;
        });
    if (!by_regions) {
        return {};
    }
    WrittenRegion section = WrittenRegion::None;
    bool erases = false;
    for (std::size_t i = 0; i < instructions.size(); ++i) {
        const InstructionKind kind = decode_instruction(instructions[i]).kind;
        if (kind == InstructionKind::Begin || kind == InstructionKind::BeginVppFirst) {
            section = WrittenRegion::None;
            erases = false;
        }
        erases = erases || kind == InstructionKind::EraseRegions;
        const WrittenRegion region = written_region(kind);
        if (region == WrittenRegion::None) {
            continue;
        }
        if (erases || (section != WrittenRegion::None && section != region)) {
            return "\"" + instructions[i] + "\" writes " +
                   (erases ? "in the section of the region erase"
                           : "a second memory in its section") +
                   ": an algorithm that erases by regions writes each memory in a section of its "
                   "own, apart from the erase (instruction " +
                   std::to_string(i + 1) + ")";
        }
        section = region;
    }
    return {};
}

}  // namespace

std::string algorithm_problem(std::string_view algorithm_text) {
    const InstructionList instructions = split_instructions(algorithm_text);
    bool open = false;
    for (std::size_t i = 0; i < instructions.size(); ++i) {
        const std::string& text = instructions[i];
        const std::string where = " (instruction " + std::to_string(i + 1) + ")";
        const InstructionKind kind = decode_instruction(text).kind;
        if (kind == InstructionKind::Unrecognized) {
            if (text.find('\n') != std::string::npos) {
                // A file saved with LF line ends reads as one long line.
                return "a line feed inside the line: the file must end its lines with CR LF";
            }
            return "unknown instruction \"" + text + "\"" + where;
        }
        if (kind == InstructionKind::Begin || kind == InstructionKind::BeginVppFirst) {
            if (open) {
                return "\"" + text + "\" before the \"end\" of the section before it" + where;
            }
            open = true;
        } else if (kind == InstructionKind::End) {
            if (!open) {
                return "\"end\" without its \"begin\"" + where;
            }
            open = false;
        }
    }
    if (open) {
        return "the last section has no \"end\": the voltages would stay on";
    }
    return region_sections_problem(instructions);
}

namespace {

// The frame an instruction of this role sends after its command.
Frame frame_of(KindRole role) {
    switch (role) {
        case KindRole::Write:
            return Frame::Payload;
        case KindRole::Read:
            return Frame::Read;
        default:
            return Frame::None;
    }
}

std::string_view frame_text(Frame frame) {
    switch (frame) {
        case Frame::Payload:
            return "takes a 24-bit payload";
        case Frame::Read:
            return "is a read";
        default:
            return "takes no data";
    }
}

// What is wrong with a payload-selected Bulk Erase (18h of the 8-bit set) for a chip of this erase
// selection.
std::string bulk_erase_problem(const DecodedInstruction& decoded, KindRole role,
                               EraseSelection erase) {
    if (erase == EraseSelection::ProgramCounter) {
        return role == KindRole::Command
                   ? std::string()
                   : "takes no data on a chip whose bulk erase the PC selects";
    }
    if (role != KindRole::Command && decoded.kind != InstructionKind::WriteLiteral) {
        return "takes its payload as a literal naming the regions (\"s18-000f\")";
    }
    if (role == KindRole::Command) {
        return "takes a 24-bit payload naming the regions on a chip whose bulk erase the "
               "payload selects (\"s18-000f\")";
    }
    if (decoded.value == 0 || (decoded.value & ~erase_region::kAll) != 0) {
        return "takes a payload of region bits 0-3 (EEPROM 1, program memory 2, user IDs 4, "
               "configuration 8), at least one";
    }
    return {};
}

}  // namespace

std::string command_set_problem(std::string_view algorithm_text, const CommandSet& set,
                                EraseSelection erase) {
    const std::string set_name(set.name);
    const InstructionList instructions = split_instructions(algorithm_text);
    for (std::size_t i = 0; i < instructions.size(); ++i) {
        const DecodedInstruction decoded = decode_instruction(instructions[i]);
        // Only these roles send a code after board command 104; the voltage
        // switches, waits and checks send none.
        const KindRole role = traits_of(decoded.kind).role;
        if (role != KindRole::Command && role != KindRole::Write && role != KindRole::Read) {
            continue;
        }
        const CodeRange* row = code_range(set, decoded.code);
        const std::string head = "\"" + instructions[i] + "\": command " + hex2h(decoded.code);
        const std::string where = " (instruction " + std::to_string(i + 1) + ")";
        if (row == nullptr) {
            return head + " is not in the " + set_name + " command set" + where;
        }
        if (decoded.kind == InstructionKind::EraseRegions) {
            if (decoded.code != set.payload_erase_code || set.erase_regions.all() == 0) {
                return head + " names no regions to erase in the " + set_name + " command set" +
                       where;
            }
            if (erase != EraseSelection::Payload) {
                return head + " cannot erase by regions on a chip whose bulk erase the PC selects" +
                       where;
            }
            continue;
        }
        if (decoded.code == set.payload_erase_code) {
            if (const std::string wrong = bulk_erase_problem(decoded, role, erase);
                !wrong.empty()) {
                return head + " " + wrong + where;
            }
            continue;
        }
        if (row->frame != Frame::Any && row->frame != frame_of(role)) {
            return head + " " + std::string(frame_text(row->frame)) + " in the " + set_name +
                   " command set" + where;
        }
    }
    return {};
}

}  // namespace corvanel
