// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/devices/config_fields.h"

#include "core/files/read_file.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <utility>

#include "core/image/hex_text.h"
#include "core/text/ascii_text.h"

namespace corvanel {

namespace {

// The next blank-separated word of `rest`, which moves past it and one blank.
std::string_view next_word(std::string_view& rest) {
    const std::size_t end = std::min(rest.find(' '), rest.size());
    const std::string_view word = rest.substr(0, end);
    rest = rest.substr(std::min(end + 1, rest.size()));
    return word;
}

std::int32_t hex_word(std::string_view text) {
    return text.size() == 4 ? hexval4(upper_copy(text)) : -1;
}

ConfigFieldsLoadResult error_at(std::string_view source, int line, std::string_view what) {
    std::string message = "Configuration fields ";
    message.append(source).append(", line ").append(std::to_string(line)).append(": ");
    message.append(what);
    return {false, message};
}

}  // namespace

const ConfigWordFields* ChipConfigFields::word(int number) const {
    for (const ConfigWordFields& w : words) {
        if (w.number == number) {
            return &w;
        }
    }
    return nullptr;
}

const ChipConfigFields* ConfigFieldTable::find(std::string_view chip) const {
    const std::string wanted = upper_copy(chip);
    for (const ChipConfigFields& c : chips) {
        if (upper_copy(c.chip) == wanted) {
            return &c;
        }
    }
    return nullptr;
}

ConfigFieldsLoadResult parse_config_fields(std::string_view text, std::string_view source_name,
                                           ConfigFieldTable& table) {
    table.chips.clear();
    int line_number = 0;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        std::string_view line = text.substr(start, end - start);
        start = end + 1;
        ++line_number;
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        if (line.empty() || line.front() == '#') {
            continue;
        }
        std::string_view rest = line;
        const std::string_view key = next_word(rest);
        if (key != "chip:" && key != "word:" && key != "field:" && key != "option:") {
            return error_at(source_name, line_number, "unknown line.");
        }
        if (key == "chip:") {
            table.chips.push_back({std::string(next_word(rest)), {}});
            continue;
        }
        if (table.chips.empty()) {
            return error_at(source_name, line_number, "a chip: line must come first.");
        }
        ChipConfigFields& chip = table.chips.back();
        if (key == "word:") {
            // The enhanced parts have up to five words; the program shows words 1 and 2.
            const std::string_view number = next_word(rest);
            const std::int32_t address = hex_word(next_word(rest));
            if (number.size() != 1 || number[0] < '1' || number[0] > '9' || address < 0) {
                return error_at(source_name, line_number, "word: wants 1 to 9 and an address.");
            }
            chip.words.push_back({number[0] - '0', address, {}});
            continue;
        }
        if (chip.words.empty()) {
            return error_at(source_name, line_number, "a word: line must come before its fields.");
        }
        ConfigWordFields& word = chip.words.back();
        if (key == "field:") {
            ConfigField field;
            field.name = std::string(next_word(rest));
            field.mask = hex_word(next_word(rest));
            field.title = std::string(rest);
            if (field.name.empty() || field.mask <= 0) {
                return error_at(source_name, line_number, "field: wants a name and a mask.");
            }
            word.fields.push_back(std::move(field));
            continue;
        }
        if (key == "option:") {
            if (word.fields.empty()) {
                return error_at(source_name, line_number, "an option: line must follow a field.");
            }
            ConfigOption option;
            option.value = hex_word(next_word(rest));
            option.name = std::string(next_word(rest));
            option.text = std::string(rest);
            ConfigField& field = word.fields.back();
            if (option.value < 0 || option.name.empty() || (option.value & ~field.mask) != 0) {
                return error_at(source_name, line_number,
                                "option: wants a value inside its field's mask and a name.");
            }
            field.options.push_back(std::move(option));
        }
    }
    return {};
}

ConfigFieldsLoadResult load_config_fields(const std::string& path, ConfigFieldTable& table) {
    const FileReadResult file = read_input_file(path);
    if (!file.ok) {
        return {false,
                "The configuration fields file " + path + " cannot be read: " + file.error + "."};
    }
    return parse_config_fields(file.bytes, path, table);
}

const ConfigOption* selected_option(const ConfigField& field, std::int32_t word) {
    const std::int32_t bits = word & field.mask;
    for (const ConfigOption& option : field.options) {
        if (option.value == bits) {
            return &option;
        }
    }
    return nullptr;
}

std::int32_t with_option(std::int32_t word, const ConfigField& field, const ConfigOption& option) {
    return (word & ~field.mask) | (option.value & field.mask);
}

std::vector<std::string> describe_config_word(const ConfigWordFields& word_fields,
                                              std::int32_t word) {
    std::vector<std::string> lines;
    for (const ConfigField& field : word_fields.fields) {
        std::string line = field.title + " (" + field.name + "): ";
        if (const ConfigOption* option = selected_option(field, word)) {
            line += option->name;
            if (!option->text.empty()) {
                line += ", " + option->text;
            }
        } else {
            line += "bits " + hex4h(word & field.mask) + " match no option";
        }
        lines.push_back(std::move(line));
    }
    return lines;
}

ProtectionBits protection_bits(const ChipConfigFields* chip) {
    ProtectionBits bits;
    if (chip == nullptr) {
        return bits;
    }
    // CP and CPD share one word on every part; the word CP is in counts, and a CPD
    // found elsewhere is left out rather than judged against the wrong word.
    const auto find = [&](std::string_view name) -> std::pair<int, std::int32_t> {
        for (const ConfigWordFields& word : chip->words) {
            for (const ConfigField& field : word.fields) {
                if (field.name == name) {
                    return {word.number, field.mask};
                }
            }
        }
        return {0, 0};
    };
    const auto [program_word, program] = find("CP");
    const auto [data_word, data] = find("CPD");
    bits.word = program_word != 0 ? program_word : (data_word != 0 ? data_word : 1);
    bits.program = program;
    bits.data = data_word == bits.word ? data : 0;
    return bits;
}

}  // namespace corvanel
