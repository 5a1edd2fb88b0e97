// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <clocale>
#include <optional>
#include <string>

#include "core/devices/vpp_window.h"
#include "core/text/ascii_text.h"
#include "core/text/decimal_number.h"

namespace corvanel {
namespace {

TEST(AsciiTextTest, OnlyAsciiLettersChangeCaseAndOnlyBlanksAreTrimmed) {
    // A Latin-1 byte above 127 stays as it is whatever the locale says of it.
    const std::string mixed = "PIC16f628a-\xE9\xC9 x";
    EXPECT_EQ(upper_copy(mixed), "PIC16F628A-\xE9\xC9 X");
    EXPECT_EQ(lower_copy(mixed), "pic16f628a-\xE9\xC9 x");
    EXPECT_EQ(trimmed(" \t\r\n\v\f a b \r\n"), "a b");
    EXPECT_EQ(trimmed("\xA0x\xA0"), "\xA0x\xA0");
    EXPECT_EQ(trimmed(" \t "), "");
}

TEST(DecimalNumberTest, DigitsWithOneSeparatorAndNothingElse) {
    struct Case {
        const char* text;
        std::optional<double> value;
    };
    const Case cases[] = {
        {"13", 13.0},
        {"12.5", 12.5},
        {"12,75", 12.75},
        {".5", 0.5},
        {"5.", 5.0},
        {"000012.50", 12.5},
        {"0", 0.0},
        {"123456789012", 123456789012.0},
        {"", std::nullopt},
        {".", std::nullopt},
        {",", std::nullopt},
        {"1.2.3", std::nullopt},
        {"1,2.3", std::nullopt},
        {"-5", std::nullopt},
        {"+5", std::nullopt},
        {"1e3", std::nullopt},
        {" 5", std::nullopt},
        {"5 ", std::nullopt},
        {"1234567890123", std::nullopt},
        {"0x10", std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(parse_decimal_number(c.text), c.value) << "'" << c.text << "'";
    }
}

// A voltage is at least the hundredth of a volt the program shows: a board Vpp of
// 0.00002 V was taken and then shown as "0.0 V".
TEST(DecimalNumberTest, VoltagesBelowAHundredthAreNone) {
    EXPECT_EQ(parse_volts(".00002"), std::nullopt);
    EXPECT_EQ(parse_volts("0.004 V"), std::nullopt);
    EXPECT_EQ(parse_volts("0.01"), 0.01);
    EXPECT_EQ(parse_vpp_window("0.001 9"), std::nullopt);
    EXPECT_EQ(parse_volts(volts_text(0.014)), 0.01);
}

// The window runs in the user's locale; a decimal comma there must not cut "12.5"
// to 12 (strtod would stop at the point).
TEST(DecimalNumberTest, VoltagesReadTheSameInALocaleWithADecimalComma) {
    const char* chosen = nullptr;
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8"}) {
        if (std::setlocale(LC_NUMERIC, name) != nullptr) {
            chosen = name;
            break;
        }
    }
    if (chosen == nullptr) {
        GTEST_SKIP() << "no locale with a decimal comma is installed";
    }
    EXPECT_EQ(parse_volts("12.5 V"), 12.5);
    EXPECT_EQ(parse_volts("12,75"), 12.75);
    const auto window = parse_vpp_window("8.5 9.25");
    std::setlocale(LC_NUMERIC, "C");
    ASSERT_TRUE(window.has_value());
    EXPECT_EQ(window->min_volts, 8.5);
    EXPECT_EQ(window->max_volts, 9.25);
}

}  // namespace
}  // namespace corvanel
