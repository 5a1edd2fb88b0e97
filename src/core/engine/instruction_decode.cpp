// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/engine/instruction_decode.h"

#include <array>
#include <cctype>
#include <optional>

#include "core/devices/leading_number.h"
#include "core/image/hex_text.h"

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

constexpr std::array<WholeText, 9> kWriteSuffixes{{
    {"-flash", Kind::WriteFlash},
    {"-eeprom", Kind::WriteEeprom},
    {"-config1", Kind::WriteConfig1},
    {"-config2", Kind::WriteConfig2},
    {"-calflash", Kind::WriteCalFlash},
    {"-calconfig1", Kind::WriteCalConfig},
    {"-calspace1", Kind::WriteCalSpace1},
    {"-calspace2", Kind::WriteCalSpace2},
    {"-next", Kind::StepCommand},
}};

constexpr std::array<WholeText, 10> kReadPrefixes{{
    {"flash=s", Kind::ReadFlash},
    {"eeprom=s", Kind::ReadEeprom},
    {"config1=s", Kind::ReadConfig1},
    {"config2=s", Kind::ReadConfig2},
    {"temp=s", Kind::ReadTemp},
    {"deviceid=s", Kind::ReadDeviceId},
    {"calflash=s", Kind::ReadCalFlash},
    {"calconfig1=s", Kind::ReadCalConfig},
    {"calspace1=s", Kind::ReadCalSpace1},
    {"calspace2=s", Kind::ReadCalSpace2},
}};

constexpr std::array<WholeText, 9> kCheckWords{{
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

std::string upper(std::string_view text) {
    std::string result(text);
    for (char& c : result) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return result;
}

// The hex digits at `position` (counted from 0), in either case; -1 when the
// text is too short or they are not all hex digits.
std::int32_t hex_field(std::string_view text, std::size_t position, std::size_t width) {
    if (text.size() < position + width) {
        return -1;
    }
    const std::string digits = upper(text.substr(position, width));
    return width == 2 ? hexval2(digits) : hexval4(digits);
}

// A code the interpreter cannot send makes the whole instruction unknown.
DecodedInstruction with_code(Kind kind, std::int32_t code, std::int32_t value = 0) {
    if (code < 0 || value < 0) {
        return {};
    }
    return {kind, code, value};
}

// "-userid1" .. "-userid4" at the end of the text (write), "userid1=s" ..
// "userid4=s" at its start (read), "checkuserid1" .. "checkuserid4" (check):
// the index 0..3 of the word, or -1.
std::int32_t user_id_digit(char digit) {
    return digit >= '1' && digit <= '4' ? digit - '1' : -1;
}

// The number 3 to 5 of a configuration word beyond the second; -1 otherwise.
std::int32_t config_more_digit(char digit) {
    return digit >= '3' && digit <= '5' ? digit - '0' : -1;
}

std::optional<DecodedInstruction> config_more_instruction(std::string_view text) {
    constexpr std::string_view kWrite = "-config";
    if (text.size() == 3 + kWrite.size() + 1 && text.starts_with('s') &&
        text.substr(3, kWrite.size()) == kWrite && config_more_digit(text.back()) > 0) {
        return with_code(Kind::WriteConfigMore, hex_field(text, 1, 2),
                         config_more_digit(text.back()));
    }
    constexpr std::string_view kRead = "config";
    if (text.size() > kRead.size() + 3 && text.starts_with(kRead) &&
        config_more_digit(text[kRead.size()]) > 0 && text.substr(kRead.size() + 1, 2) == "=s") {
        return with_code(Kind::ReadConfigMore, hex_field(text, kRead.size() + 3, 2),
                         config_more_digit(text[kRead.size()]));
    }
    constexpr std::string_view kCheck = "checkconfig";
    constexpr std::string_view kCheckBlank = "checkblankconfig";
    if (text.size() == kCheck.size() + 1 && text.starts_with(kCheck) &&
        config_more_digit(text.back()) > 0) {
        return DecodedInstruction{Kind::CheckConfigMore, 0, config_more_digit(text.back())};
    }
    if (text.size() == kCheckBlank.size() + 1 && text.starts_with(kCheckBlank) &&
        config_more_digit(text.back()) > 0) {
        return DecodedInstruction{Kind::CheckBlankConfigMore, 0, config_more_digit(text.back())};
    }
    return std::nullopt;
}

}  // namespace

DecodedInstruction decode_instruction(std::string_view text) {
    for (const auto& word : kControlWords) {
        if (text == word.text) {
            return {word.kind};
        }
    }
    if (text == "beginvppvdd") {
        return {Kind::BeginVppFirst};
    }
    if (text == "setcalloop") {
        return {Kind::SetCalLoop};
    }
    if (text == "ifuserids") {
        return {Kind::IfUserIds};
    }
    if (text == "endifuserids") {
        return {Kind::EndIfUserIds};
    }
    constexpr std::string_view kUserIdWrite = "-userid";
    if (text.starts_with('s') && text.size() == 3 + kUserIdWrite.size() + 1 &&
        text.substr(3, kUserIdWrite.size()) == kUserIdWrite) {
        return with_code(Kind::WriteUserId, hex_field(text, 1, 2), user_id_digit(text.back()));
    }
    constexpr std::string_view kUserIdRead = "=s";
    if (text.starts_with("userid") && text.size() > 7 &&
        text.substr(7, kUserIdRead.size()) == kUserIdRead) {
        return with_code(Kind::ReadUserId, hex_field(text, 9, 2), user_id_digit(text[6]));
    }
    if (text.size() == 12 && text.starts_with("checkuserid")) {
        return with_code(Kind::CheckUserId, 0, user_id_digit(text.back()));
    }
    // Configuration words 3 to 5: "s12-config3", "config3=s04", "checkconfig3",
    // "checkblankconfig3".
    if (const auto more = config_more_instruction(text)) {
        return *more;
    }
    if (text.starts_with("revision=s")) {
        return with_code(Kind::ReadRevision, hex_field(text, 10, 2));
    }
    if (text.starts_with("protection=s")) {
        return with_code(Kind::ReadProtection, hex_field(text, 12, 2));
    }
    if (text.starts_with('s')) {
        for (const auto& suffix : kWriteSuffixes) {
            if (text.ends_with(suffix.text)) {
                return with_code(suffix.kind, hex_field(text, 1, 2));
            }
        }
    }
    for (const auto& prefix : kReadPrefixes) {
        if (text.starts_with(prefix.text)) {
            return with_code(prefix.kind, hex_field(text, prefix.text.size(), 2));
        }
    }
    for (const auto& word : kCheckWords) {
        if (text == word.text) {
            return {word.kind};
        }
    }
    if (text.size() == 8 && text[0] == 's' && text[3] == '-') {
        return with_code(Kind::WriteLiteral, hex_field(text, 1, 2), hex_field(text, 4, 4));
    }
    if (text.size() == 3 && text[0] == 's') {
        return with_code(Kind::Command, hex_field(text, 1, 2));
    }
    if (text == "wprog") {
        return {Kind::WaitProg};
    }
    if (text.starts_with('w')) {
        return {Kind::Wait, 0, leading_number(text.substr(1))};
    }
    return {};
}

std::string unrecognized_instruction_text(std::string_view instruction) {
    std::string text = "Unrecognized symbolic instruction '";
    text.append(instruction).append("'.\r\nThe program must end.");
    return text;
}

}  // namespace corvanel
