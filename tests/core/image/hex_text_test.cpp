// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/image/hex_text.h"

#include <gtest/gtest.h>

#include <string>

namespace corvanel {
namespace {

struct FormatCase {
    std::string (*format)(std::int32_t);
    std::int32_t value;
    const char* expected;
};

TEST(HexText, FormattingKeepsTheLastDigitsOfTheTwosComplement) {
    const FormatCase cases[] = {
        {hex2, 0, "00"},
        {hex2, 10, "0A"},
        {hex2, 255, "FF"},
        {hex2, 256, "00"},
        {hex2, 257, "01"},
        {hex2, -1, "FF"},
        {hex2h, 255, "FFh"},
        {hex2h, 0, "00h"},
        {hex4, 0, "0000"},
        {hex4, 8199, "2007"},
        {hex4, 16383, "3FFF"},
        {hex4, 74565, "2345"},
        {hex4, -2, "FFFE"},
        {hex4h, 8199, "2007h"},
        {hex4h, 16383, "3FFFh"},
        {hex6, 0, "000000"},
        {hex6, 8184, "001FF8"},
        {hex6, -1, "FFFFFF"},
        {hex4_swapped, 16383, "FF3F"},
        {hex4_swapped, 171, "AB00"},
        {hex4_swapped, 4660, "3412"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.format(c.value), c.expected) << "value " << c.value;
    }
}

TEST(HexText, ParsingAcceptsExactlyUpperCaseDigitsOfTheRightWidth) {
    const std::pair<const char*, std::int32_t> two[] = {
        {"3F", 63}, {"00", 0},   {"FF", 255}, {"3f", -1}, {"G0", -1},
        {"0", -1},  {"100", -1}, {"", -1},    {" 1", -1}, {"-1", -1}};
    for (const auto& [text, value] : two) {
        EXPECT_EQ(hexval2(text), value) << '"' << text << '"';
    }
    const std::pair<const char*, std::int32_t> four[] = {
        {"2007", 8199}, {"3FFF", 16383}, {"0000", 0},  {"FFFF", 65535}, {"3fff", -1},
        {"123", -1},    {"12345", -1},   {"2O07", -1}, {"20 7", -1},    {"+123", -1}};
    for (const auto& [text, value] : four) {
        EXPECT_EQ(hexval4(text), value) << '"' << text << '"';
    }
    for (int v = 0; v < 256; ++v) {
        EXPECT_EQ(hexval2(hex2(v)), v);
    }
}

TEST(HexText, ChecksumOfRecordTexts) {
    EXPECT_EQ(hex_checksum("00000001"), "FF");
    EXPECT_EQ(hex_checksum("020000040000"), "FA");
    EXPECT_EQ(hex_checksum(""), "00");
    EXPECT_EQ(hex_checksum("000000011"), "FF");  // a last single character is ignored
    EXPECT_EQ(hex_checksum("0400000000"), "FC");
    // An invalid pair counts -1: the sum -1 leaves remainder -1, and 256 + 1 is 101h.
    EXPECT_EQ(hex_checksum("zz"), "01");
}

TEST(HexText, ShortPathKeepsTheLastSeventyCharacters) {
    const std::string seventy(70, 'a');
    EXPECT_EQ(short_path(seventy), seventy);
    const std::string seventy_one = "b" + seventy;
    EXPECT_EQ(short_path(seventy_one), "... " + seventy);
    EXPECT_EQ(short_path(seventy_one).size(), 74U);
    EXPECT_EQ(short_path(""), "");
}

TEST(HexText, ShortPathCountsCharactersNotBytes) {
    // Two-byte (Cyrillic) and three-byte (CJK) characters in UTF-8.
    const auto repeat = [](const std::string& character, int count) {
        std::string text;
        for (int i = 0; i < count; ++i) {
            text += character;
        }
        return text;
    };
    const std::string cyrillic = "\xD0\x96";  // Zhe
    const std::string cjk = "\xE6\x96\x87";
    const std::string path48 = "/home/" + repeat(cyrillic, 36) + "/a.hex";
    ASSERT_EQ(path48.size(), 48U + 36U);
    EXPECT_EQ(short_path(path48), path48) << "48 characters stay whole";
    EXPECT_EQ(short_path(repeat(cyrillic, 70)), repeat(cyrillic, 70));
    EXPECT_EQ(short_path("x" + repeat(cyrillic, 70)), "... " + repeat(cyrillic, 70));
    EXPECT_EQ(short_path(repeat(cjk, 71)), "... " + repeat(cjk, 70));
    // The cut falls between characters: 69 ASCII after one Cyrillic letter
    // keep the letter whole.
    EXPECT_EQ(short_path("ab" + cyrillic + std::string(69, 'c')),
              "... " + cyrillic + std::string(69, 'c'));
}

}  // namespace
}  // namespace corvanel
