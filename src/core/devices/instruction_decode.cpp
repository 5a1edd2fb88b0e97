// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/devices/instruction_decode.h"

#include <algorithm>
#include <array>
#include <optional>
#include <span>

#include "core/devices/leading_number.h"
#include "core/image/hex_text.h"
#include "core/image/memory_image.h"
#include "core/text/ascii_text.h"

namespace corvanel {

namespace {

using Kind = InstructionKind;

struct WholeText {
    std::string_view text;
    Kind kind;
};

constexpr std::array<WholeText, 10> kControlWords{{
    {"begin", Kind::Begin},
    {"end", Kind::End},
    {"calcflash", Kind::CalcFlash},
    {"calcflashpage", Kind::CalcFlashPage},
    {"calceeprom", Kind::CalcEeprom},
    {"setflashloop", Kind::SetFlashLoop},
    {"seteepromloop", Kind::SetEepromLoop},
    {"loop", Kind::Loop},
    {"ifpage", Kind::IfPage},
    {"endifpage", Kind::EndIfPage},
}};

// "sCC-NAME": command CC, then the data word of NAME.
constexpr std::array<WholeText, 12> kWriteNames{{
    {"flash", Kind::WriteFlash},
    {"eeprom", Kind::WriteEeprom},
    {"config1", Kind::WriteConfig1},
    {"config2", Kind::WriteConfig2},
    {"calflash", Kind::WriteCalFlash},
    {"calconfig1", Kind::WriteCalConfig},
    {"calspace1", Kind::WriteCalSpace1},
    {"calspace2", Kind::WriteCalSpace2},
    {"next", Kind::StepCommand},
    {"row", Kind::WriteRowStart},
    {"address", Kind::WriteAddress},
    {"regions", Kind::EraseRegions},
}};

// "NAME=sCC": command CC, then the word read into NAME.
constexpr std::array<WholeText, 12> kReadNames{{
    {"flash", Kind::ReadFlash},
    {"eeprom", Kind::ReadEeprom},
    {"config1", Kind::ReadConfig1},
    {"config2", Kind::ReadConfig2},
    {"temp", Kind::ReadTemp},
    {"deviceid", Kind::ReadDeviceId},
    {"calflash", Kind::ReadCalFlash},
    {"calconfig1", Kind::ReadCalConfig},
    {"calspace1", Kind::ReadCalSpace1},
    {"calspace2", Kind::ReadCalSpace2},
    {"revision", Kind::ReadRevision},
    {"protection", Kind::ReadProtection},
}};

constexpr std::array<WholeText, 13> kWords{{
    {"beginvppvdd", Kind::BeginVppFirst},
    {"setcalloop", Kind::SetCalLoop},
    {"ifuserids", Kind::IfUserIds},
    {"endifuserids", Kind::EndIfUserIds},
    {"checkblankflash", Kind::CheckBlankFlash},
    {"checkblankeeprom", Kind::CheckBlankEeprom},
    {"checkblankconfig1", Kind::CheckBlankConfig1},
    {"checkblankconfig2", Kind::CheckBlankConfig2},
    {"checkflash", Kind::CheckFlash},
    {"checkeeprom", Kind::CheckEeprom},
    {"checkconfig1", Kind::CheckConfig1},
    {"checkconfig2", Kind::CheckConfig2},
    {"checkdeviceid", Kind::CheckDeviceId},
}};

// The numbered names: "userid1".."userid4" (the index 0..3 of the ID word) and
// "config3".."config7" (the configuration word beyond the second).
struct NumberedName {
    std::string_view stem;
    char first;
    char last;
    std::int32_t value_of_first;
};
constexpr NumberedName kUserId{"userid", '1', '4', 0};
constexpr NumberedName kConfigMore{"config", '3', '0' + kMaxConfigWords, 3};

// One instruction text cut into its parts. Three shapes carry a command code in
// two hex digits: "sCC" (a bare command), "sCC-NAME" (a command, then the word
// NAME names or a four-digit data literal) and "NAME=sCC" (a command, then a read
// into NAME). Only the two characters of the code are the code: what stands
// between it and "-NAME", or after it in a read, is not looked at (the device
// file has always been read that way). Any other text is a word.
struct InstructionTokens {
    enum class Shape { Word, Command, CodeFirst, CodeLast };
    Shape shape = Shape::Word;
    std::string_view name;    // the whole text for a word
    std::int32_t code = -1;   // 0..FFh; -1 when not two hex digits
    bool code_alone = false;  // CodeFirst: "-NAME" follows the code at once
};

// Hex digits in either case; -1 unless `text` is exactly `width` of them.
std::int32_t hex_digits(std::string_view text, std::size_t width) {
    if (text.size() != width) {
        return -1;
    }
    const std::string digits = upper_copy(text);
    return width == 2 ? hexval2(digits) : hexval4(digits);
}

InstructionTokens tokenize(std::string_view text) {
    using Shape = InstructionTokens::Shape;
    InstructionTokens tokens;
    tokens.name = text;
    constexpr std::size_t kCodeEnd = 3;  // 's' and two digits
    const std::size_t dash = text.rfind('-');
    if (text.starts_with('s') && text.size() == kCodeEnd) {
        tokens.shape = Shape::Command;
    } else if (text.starts_with('s') && dash != std::string_view::npos && dash >= kCodeEnd) {
        tokens.shape = Shape::CodeFirst;
        tokens.name = text.substr(dash + 1);
        tokens.code_alone = dash == kCodeEnd;
    }
    if (tokens.shape != Shape::Word) {
        tokens.code = hex_digits(text.substr(1, 2), 2);
        return tokens;
    }
    constexpr std::string_view kReadMark = "=s";
    if (const std::size_t mark = text.find(kReadMark); mark != std::string_view::npos) {
        tokens.shape = Shape::CodeLast;
        tokens.name = text.substr(0, mark);
        tokens.code = hex_digits(text.substr(mark + kReadMark.size()).substr(0, 2), 2);
    }
    return tokens;
}

std::optional<Kind> kind_named(std::span<const WholeText> table, std::string_view name) {
    for (const auto& entry : table) {
        if (name == entry.text) {
            return entry.kind;
        }
    }
    return std::nullopt;
}

// The value of a numbered name ("userid2" -> 1, "config4" -> 4), after `prefix`.
std::optional<std::int32_t> numbered(std::string_view name, std::string_view prefix,
                                     const NumberedName& numbered_name) {
    if (!name.starts_with(prefix)) {
        return std::nullopt;
    }
    name.remove_prefix(prefix.size());
    if (name.size() != numbered_name.stem.size() + 1 || !name.starts_with(numbered_name.stem)) {
        return std::nullopt;
    }
    const char digit = name.back();
    if (digit < numbered_name.first || digit > numbered_name.last) {
        return std::nullopt;
    }
    return numbered_name.value_of_first + (digit - numbered_name.first);
}

// A code the interpreter cannot send makes the whole instruction unknown.
DecodedInstruction with_code(Kind kind, std::int32_t code, std::int32_t value = 0) {
    if (code < 0 || value < 0) {
        return {};
    }
    return {kind, code, value};
}

std::optional<DecodedInstruction> decode_code_first(const InstructionTokens& tokens) {
    if (const auto kind = kind_named(kWriteNames, tokens.name)) {
        return with_code(*kind, tokens.code);
    }
    if (!tokens.code_alone) {
        return std::nullopt;
    }
    if (const auto index = numbered(tokens.name, "", kUserId)) {
        return with_code(Kind::WriteUserId, tokens.code, *index);
    }
    if (const auto number = numbered(tokens.name, "", kConfigMore)) {
        return with_code(Kind::WriteConfigMore, tokens.code, *number);
    }
    if (tokens.name.size() == 4) {
        return with_code(Kind::WriteLiteral, tokens.code, hex_digits(tokens.name, 4));
    }
    return std::nullopt;
}

std::optional<DecodedInstruction> decode_code_last(const InstructionTokens& tokens) {
    if (const auto kind = kind_named(kReadNames, tokens.name)) {
        return with_code(*kind, tokens.code);
    }
    if (const auto index = numbered(tokens.name, "", kUserId)) {
        return with_code(Kind::ReadUserId, tokens.code, *index);
    }
    if (const auto number = numbered(tokens.name, "", kConfigMore)) {
        return with_code(Kind::ReadConfigMore, tokens.code, *number);
    }
    return std::nullopt;
}

DecodedInstruction decode_word(std::string_view word) {
    if (const auto kind = kind_named(kControlWords, word)) {
        return {*kind};
    }
    if (const auto kind = kind_named(kWords, word)) {
        return {*kind};
    }
    if (const auto index = numbered(word, "check", kUserId)) {
        return {Kind::CheckUserId, 0, *index};
    }
    if (const auto number = numbered(word, "check", kConfigMore)) {
        return {Kind::CheckConfigMore, 0, *number};
    }
    if (const auto number = numbered(word, "checkblank", kConfigMore)) {
        return {Kind::CheckBlankConfigMore, 0, *number};
    }
    if (word == "wprog") {
        return {Kind::WaitProg};
    }
    if (word.starts_with('w')) {
        return {Kind::Wait, 0, leading_number(word.substr(1))};
    }
    return {};
}

}  // namespace

DecodedInstruction decode_instruction(std::string_view text) {
    const InstructionTokens tokens = tokenize(text);
    std::optional<DecodedInstruction> decoded;
    switch (tokens.shape) {
        case InstructionTokens::Shape::Command:
            return with_code(Kind::Command, tokens.code);
        case InstructionTokens::Shape::CodeFirst:
            decoded = decode_code_first(tokens);
            break;
        case InstructionTokens::Shape::CodeLast:
            decoded = decode_code_last(tokens);
            break;
        case InstructionTokens::Shape::Word:
            break;
    }
    // A shape whose name is no instruction's may still be a word ("w5=s...").
    return decoded ? *decoded : decode_word(text);
}

std::string unrecognized_instruction_text(std::string_view instruction) {
    std::string text = "Unrecognized symbolic instruction '";
    text.append(instruction).append("'.\r\nThe program must end.");
    return text;
}

}  // namespace corvanel
