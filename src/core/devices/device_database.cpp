// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/devices/device_database.h"

#include "core/files/read_file.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <sstream>

#include "core/devices/address_map_keys.h"
#include "core/devices/algorithm_check.h"
#include "core/devices/leading_number.h"
#include "core/devices/vdd_window.h"
#include "core/devices/vpp_window.h"
#include "core/image/memory_image.h"
#include "core/text/ascii_text.h"

#include <optional>

namespace corvanel {

namespace {

constexpr std::array<const char*, kAlgorithmTables> kDefinitionWords = {
    "erasealgdef", "programalgdef", "readalgdef", "blankcheckalgdef", "verifyalgdef", "idalgdef"};

enum class Key {
    Model,
    Flash,
    Eeprom,
    ConfigErased,
    Config2Used,
    VoltageSeq,
    ProgTime,
    PageSize,
    EraseAlg,
    ProgramAlg,
    ReadAlg,
    BlankCheckAlg,
    VerifyAlg,
    ConfigMask,
    DeviceId,
    IdAlg,
    CalFlash,
    CalConfig,
    Vpp,
    Vdd,
    ConfigWords,
    ConfigAddr,
    IdAddr,
    EepromAddr,
    RevAddr,
    Lvp,
    CommandSetKey,
    BulkErase,
    Sources
};

struct KeyName {
    const char* text;
    Key key;
};

constexpr std::array<KeyName, 29> kKeys = {{{"model:", Key::Model},
                                            {"flash:", Key::Flash},
                                            {"eeprom:", Key::Eeprom},
                                            {"configerased:", Key::ConfigErased},
                                            {"config2used:", Key::Config2Used},
                                            {"voltageseq:", Key::VoltageSeq},
                                            {"progtime:", Key::ProgTime},
                                            {"pagesize:", Key::PageSize},
                                            {"erasealg:", Key::EraseAlg},
                                            {"programalg:", Key::ProgramAlg},
                                            {"readalg:", Key::ReadAlg},
                                            {"blankcheckalg:", Key::BlankCheckAlg},
                                            {"verifyalg:", Key::VerifyAlg},
                                            {"configmask:", Key::ConfigMask},
                                            {"deviceid:", Key::DeviceId},
                                            {"idalg:", Key::IdAlg},
                                            {"calflash:", Key::CalFlash},
                                            {"calconfig:", Key::CalConfig},
                                            {"vpp:", Key::Vpp},
                                            {"vdd:", Key::Vdd},
                                            {"configwords:", Key::ConfigWords},
                                            {"configaddr:", Key::ConfigAddr},
                                            {"idaddr:", Key::IdAddr},
                                            {"eepromaddr:", Key::EepromAddr},
                                            {"revaddr:", Key::RevAddr},
                                            {"lvp:", Key::Lvp},
                                            {"commandset:", Key::CommandSetKey},
                                            {"bulkerase:", Key::BulkErase},
                                            {"sources:", Key::Sources}}};

// The algorithm field a key fills, with the table its slot number refers to.
std::string* algorithm_field(DeviceModel& model, Key key, AlgorithmTable& table) {
    switch (key) {
        case Key::EraseAlg:
            table = AlgorithmTable::Erase;
            return &model.erasealg;
        case Key::ProgramAlg:
            table = AlgorithmTable::Program;
            return &model.programalg;
        case Key::ReadAlg:
            table = AlgorithmTable::Read;
            return &model.readalg;
        case Key::BlankCheckAlg:
            table = AlgorithmTable::BlankCheck;
            return &model.blankcheckalg;
        case Key::VerifyAlg:
            table = AlgorithmTable::Verify;
            return &model.verifyalg;
        case Key::IdAlg:
            table = AlgorithmTable::DeviceId;
            return &model.idalg;
        default:
            return nullptr;
    }
}

std::string* text_field(DeviceModel& model, Key key) {
    switch (key) {
        case Key::Flash:
            return &model.flash;
        case Key::Eeprom:
            return &model.eeprom;
        case Key::ConfigErased:
            return &model.configerased;
        case Key::Config2Used:
            return &model.config2used;
        case Key::VoltageSeq:
            return &model.voltageseq;
        case Key::ProgTime:
            return &model.progtime;
        case Key::PageSize:
            return &model.pagesize;
        case Key::ConfigMask:
            return &model.configmask;
        case Key::DeviceId:
            return &model.deviceid;
        case Key::CalFlash:
            return &model.calflash;
        case Key::CalConfig:
            return &model.calconfig;
        case Key::Vpp:
            return &model.vpp;
        case Key::Vdd:
            return &model.vdd;
        case Key::ConfigWords:
            return &model.configwords;
        case Key::ConfigAddr:
            return &model.configaddr;
        case Key::IdAddr:
            return &model.idaddr;
        case Key::EepromAddr:
            return &model.eepromaddr;
        case Key::RevAddr:
            return &model.revaddr;
        case Key::Lvp:
            return &model.lvp;
        case Key::CommandSetKey:
            return &model.commandset;
        case Key::BulkErase:
            return &model.bulkerase;
        case Key::Sources:
            return &model.sources;
        default:
            return nullptr;
    }
}

DatabaseLoadResult bad_line(std::string_view source_name, int line_number, std::string_view line,
                            std::string_view what) {
    std::ostringstream message;
    message << "Device database " << source_name << ", line " << line_number << ": " << what
            << "\r\n"
            << line;
    return {DatabaseStatus::BadLine, message.str(), line_number};
}

bool valid_slot(std::int32_t slot) {
    return slot >= 0 && slot < kAlgorithmSlots;
}

// Where each key of the model being read stood, so that a fault found once the
// whole model is known (its keys may come in any order) names the key's line.
struct KeyLine {
    std::string key;
    int number = 0;
    std::string text;
};

// An algorithm a model took from a slot, with the definition line it came from:
// a command the model's chip lacks is a fault of that line.
struct AlgorithmUse {
    std::string algorithm;
    KeyLine definition;
};

// The checks of a whole model: its algorithms against its command set, its
// address map keys against each other.
std::optional<DatabaseLoadResult> model_problem(const DeviceModel& model,
                                                const std::vector<KeyLine>& lines,
                                                const std::vector<AlgorithmUse>& algorithms,
                                                std::string_view source_name) {
    const CommandSet& set = command_set_of(model.commandset);
    const EraseSelection erase =
        parse_erase_selection(model.bulkerase).value_or(EraseSelection::ProgramCounter);
    for (const AlgorithmUse& use : algorithms) {
        if (const std::string wrong = command_set_problem(use.algorithm, set, erase);
            !wrong.empty()) {
            return bad_line(source_name, use.definition.number, use.definition.text,
                            wrong + ", the set of model " + model.name + ".");
        }
    }
    auto problem = address_map_problem(model);
    if (!problem && erase == EraseSelection::Payload && set.payload_erase_code < 0) {
        // Only the 8-bit set has a Bulk Erase that takes a payload.
        problem = ModelKeyProblem{"bulkerase:",
                                  "a payload bulk erase belongs to the 8-bit command set "
                                  "(\"commandset: 8bit\")."};
    }
    if (!problem) {
        return std::nullopt;
    }
    // The last line of that key counts: it gave the value.
    for (auto line = lines.rbegin(); line != lines.rend(); ++line) {
        if (line->key == problem->key) {
            return bad_line(source_name, line->number, line->text, problem->text);
        }
    }
    return bad_line(source_name, lines.empty() ? 0 : lines.front().number,
                    lines.empty() ? std::string_view() : std::string_view(lines.front().text),
                    problem->text);
}

}  // namespace

bool single_source(const DeviceModel& model) {
    return !model.sources.empty() && leading_number(model.sources) == 1;
}

std::vector<std::string_view> split_cr_lines(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t cr = text.find('\r', start);
        if (cr == std::string_view::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, cr - start));
        start = cr + 1;
        if (start < text.size() && text[start] == '\n') {
            ++start;
        }
    }
    return lines;
}

DatabaseLoadResult parse_device_database(std::string_view text, std::string_view source_name,
                                         DeviceDatabase& database) {
    for (auto& table : database.definitions) {
        table.fill(std::string());
    }
    database.models.clear();
    DeviceModel* current = nullptr;
    std::vector<KeyLine> current_lines;
    std::vector<AlgorithmUse> current_algorithms;
    // The line that defined each slot as it stands now.
    std::array<std::array<KeyLine, kAlgorithmSlots>, kAlgorithmTables> definition_lines;

    // The family notes: "# ==== Slot N: ... ====" opens a section, "# Family: NAME"
    // in it names the family of the models whose program algorithm is slot N.
    std::array<std::string, kAlgorithmSlots> slot_families;
    std::int32_t note_slot = -1;  // none

    int line_number = 0;
    for (const std::string_view line : split_cr_lines(text)) {
        ++line_number;
        if (line.empty()) {
            continue;
        }
        if (line.starts_with("# ====")) {
            constexpr std::string_view kSlotNote = "# ==== Slot ";
            note_slot = -1;
            if (line.starts_with(kSlotNote)) {
                const std::int32_t slot = leading_number(line.substr(kSlotNote.size()));
                note_slot = valid_slot(slot) ? slot : -1;
            }
            continue;
        }
        if (constexpr std::string_view kFamilyNote = "# Family: ";
            note_slot >= 0 && line.starts_with(kFamilyNote)) {
            slot_families[static_cast<std::size_t>(note_slot)] =
                std::string(trimmed(line.substr(kFamilyNote.size())));
            continue;
        }
        const std::string lower = lower_copy(line);
        const std::size_t space = lower.find(' ');
        // A line without a space has neither the "word number: list" nor the
        // "key: value" form; it is a note like any other unmatched line.
        if (space == std::string::npos) {
            continue;
        }
        const std::size_t colon = lower.find(':');
        const std::string_view word = std::string_view(lower).substr(0, space);

        const auto definition =
            std::find_if(kDefinitionWords.begin(), kDefinitionWords.end(),
                         [&](const char* candidate) { return word == candidate; });
        if (definition != kDefinitionWords.end()) {
            const std::int32_t slot = leading_number(line.substr(space + 1));
            if (!valid_slot(slot)) {
                return bad_line(source_name, line_number, line,
                                "the algorithm slot number must be 0 to 63.");
            }
            if (colon == std::string::npos) {
                return bad_line(source_name, line_number, line,
                                "an algorithm definition needs a colon before its instructions.");
            }
            const auto table = static_cast<std::size_t>(definition - kDefinitionWords.begin());
            // The character right after the colon is the separating space of a
            // well-formed line and is skipped whatever it is.
            const std::size_t text_start = std::min(colon + 2, line.size());
            const std::string_view algorithm = line.substr(text_start);
            if (!algorithm.empty()) {
                if (const std::string problem = algorithm_problem(algorithm); !problem.empty()) {
                    return bad_line(source_name, line_number, line, problem + ".");
                }
            }
            database.definitions[table][static_cast<std::size_t>(slot)] = std::string(algorithm);
            definition_lines[table][static_cast<std::size_t>(slot)] = {
                std::string(word), line_number, std::string(line)};
            continue;
        }

        if (colon == std::string::npos) {
            continue;
        }
        const std::string_view key_text = std::string_view(lower).substr(0, colon + 1);
        const auto key = std::find_if(kKeys.begin(), kKeys.end(),
                                      [&](const KeyName& k) { return key_text == k.text; });
        if (key == kKeys.end()) {
            continue;
        }
        const std::string value(line.substr(space + 1));
        if (key->key == Key::Model) {
            if (current != nullptr) {
                if (auto problem =
                        model_problem(*current, current_lines, current_algorithms, source_name)) {
                    return *problem;
                }
            }
            current_lines.clear();
            current_algorithms.clear();
            current_lines.push_back({std::string(key_text), line_number, std::string(line)});
            database.models.emplace_back();
            current = &database.models.back();
            current->name = value;
            continue;
        }
        AlgorithmTable table{};
        DeviceModel scratch;
        std::string* algorithm = algorithm_field(current ? *current : scratch, key->key, table);
        if (algorithm != nullptr) {
            const std::int32_t slot = leading_number(value);
            if (!valid_slot(slot)) {
                return bad_line(source_name, line_number, line,
                                "the algorithm slot number must be 0 to 63.");
            }
            // The model takes a copy of the slot as it stands now; a later
            // redefinition of the slot only reaches models read after it.
            *algorithm =
                database
                    .definitions[static_cast<std::size_t>(table)][static_cast<std::size_t>(slot)];
            if (current != nullptr && algorithm->empty()) {
                return bad_line(source_name, line_number, line,
                                "no algorithm is defined in slot " + std::to_string(slot) +
                                    " of that table above this line.");
            }
            if (current != nullptr && key->key == Key::ProgramAlg) {
                current->family = slot_families[static_cast<std::size_t>(slot)];
            }
            if (current != nullptr) {
                current_algorithms.push_back({*algorithm,
                                              definition_lines[static_cast<std::size_t>(table)]
                                                              [static_cast<std::size_t>(slot)]});
            }
        } else if (current != nullptr) {
            if (key->key == Key::Vpp && !parse_vpp_window(value)) {
                return bad_line(source_name, line_number, line,
                                "the Vpp window must be two voltages, the lower first, "
                                "up to 20 V (\"vpp: 8.0 9.0\").");
            }
            if (key->key == Key::CommandSetKey && parse_command_set(value) == nullptr) {
                return bad_line(source_name, line_number, line,
                                "the command set must be " + command_set_keys() + ".");
            }
            if (key->key == Key::BulkErase && !parse_erase_selection(value)) {
                return bad_line(source_name, line_number, line,
                                "the bulk erase must select its regions by pc or by payload "
                                "(\"bulkerase: payload\").");
            }
            if (key->key == Key::Vdd && !parse_vdd_window(value)) {
                return bad_line(source_name, line_number, line,
                                "the Vdd window must be two voltages, the lower first, up to "
                                "6.5 V, with an optional erase window (\"vdd: 2.0 5.5\", "
                                "\"vdd: 1.8 3.6 erase 2.7 3.6\").");
            }
            // The address map keys, and FLASH against them, are checked once
            // the model is complete (model_problem).
            current_lines.push_back({std::string(key_text), line_number, std::string(line)});
            *text_field(*current, key->key) = value;
        }
    }

    if (current != nullptr) {
        if (auto problem =
                model_problem(*current, current_lines, current_algorithms, source_name)) {
            return *problem;
        }
    }
    if (database.models.empty()) {
        return {DatabaseStatus::NoModels, std::string(), 0};
    }
    return {};
}

DatabaseLoadResult load_device_database(const std::string& path, DeviceDatabase& database) {
    const FileReadResult file = read_input_file(path);
    if (!file.ok) {
        return {DatabaseStatus::FileError,
                "The device database " + path + " cannot be read: " + file.error + ".", 0};
    }
    return parse_device_database(file.bytes, path, database);
}

}  // namespace corvanel
