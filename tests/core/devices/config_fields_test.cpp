// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/devices/config_fields.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace corvanel {
namespace {

// The table as shipped: written by tools/make_config_fields.py from the gputils
// headers, and checked here against the chips' data sheets by hand.
const ConfigFieldTable& shipped_table() {
    static const ConfigFieldTable table = [] {
        ConfigFieldTable loaded;
        const auto result = load_config_fields(
            std::string(CORVANEL_SOURCE_DIR) + "/data/corvanelconfig.txt", loaded);
        EXPECT_TRUE(result.ok) << result.message;
        return loaded;
    }();
    return table;
}

const ConfigField* field_named(const ConfigWordFields& word, const std::string& name) {
    for (const ConfigField& field : word.fields) {
        if (field.name == name) {
            return &field;
        }
    }
    return nullptr;
}

struct OptionRow {
    std::int32_t value;
    const char* name;
};

void expect_options(const ConfigField& field, std::int32_t mask,
                    const std::vector<OptionRow>& options) {
    SCOPED_TRACE(field.name);
    EXPECT_EQ(field.mask, mask);
    ASSERT_EQ(field.options.size(), options.size());
    for (std::size_t i = 0; i < options.size(); ++i) {
        EXPECT_EQ(field.options[i].value, options[i].value) << options[i].name;
        EXPECT_EQ(field.options[i].name, options[i].name);
    }
}

TEST(ConfigFields, GeneratorOutputFor16F628AAnd16F877A) {
    const ChipConfigFields* f628a = shipped_table().find("pic16f628a");
    ASSERT_NE(f628a, nullptr);
    ASSERT_EQ(f628a->words.size(), 1u);
    const ConfigWordFields& word628 = *f628a->word(1);
    EXPECT_EQ(word628.address, 0x2007);
    // FOSC2:FOSC0 are bits 4, 1 and 0 (bits 3:2 are PWRTE and WDTE).
    const ConfigField* fosc = field_named(word628, "FOSC");
    ASSERT_NE(fosc, nullptr);
    EXPECT_EQ(fosc->title, "Oscillator");
    expect_options(*fosc, 0x0013,
                   {{0x0000, "LP"},
                    {0x0001, "XT"},
                    {0x0002, "HS"},
                    {0x0003, "ECIO"},
                    {0x0010, "INTOSCIO"},
                    {0x0011, "INTOSCCLK"},
                    {0x0012, "EXTRCIO"},
                    {0x0013, "EXTRCCLK"}});
    // The fields together are exactly the implemented bits.
    std::int32_t implemented = 0;
    for (const ConfigField& field : word628.fields) {
        EXPECT_EQ(implemented & field.mask, 0) << field.name << " overlaps";
        implemented |= field.mask;
    }
    EXPECT_EQ(implemented, 0x21FF);

    const ChipConfigFields* f877a = shipped_table().find("PIC16F877A");
    ASSERT_NE(f877a, nullptr);
    const ConfigWordFields& word877 = *f877a->word(1);
    expect_options(*field_named(word877, "LVP"), 0x0080, {{0x0000, "OFF"}, {0x0080, "ON"}});
    // CP is the one bit 13 on the A parts (the non-A parts had two pairs).
    expect_options(*field_named(word877, "CP"), 0x2000, {{0x0000, "ON"}, {0x2000, "OFF"}});
    expect_options(*field_named(word877, "CPD"), 0x0100, {{0x0000, "ON"}, {0x0100, "OFF"}});
    expect_options(*field_named(word877, "WRT"), 0x0600,
                   {{0x0000, "HALF"}, {0x0200, "1FOURTH"}, {0x0400, "256"}, {0x0600, "OFF"}});
    implemented = 0;
    for (const ConfigField& field : word877.fields) {
        implemented |= field.mask;
    }
    EXPECT_EQ(implemented, 0x2FCF);

    // Two configuration words on the 16F88; none of the 12-bit parts.
    const ChipConfigFields* f88 = shipped_table().find("PIC16F88");
    ASSERT_NE(f88, nullptr);
    ASSERT_NE(f88->word(2), nullptr);
    EXPECT_EQ(f88->word(2)->address, 0x2008);
    EXPECT_EQ(shipped_table().find("PIC12F508"), nullptr);
}

// The 8-bit parts' fields come from later headers than the rest. Each named word must
// cover only the bits the device file implements, and code protection must sit where
// the Verify of those parts looks for it (CP bit 0, CPD bit 1 of CONFIG5): a field in
// another word or bit would have Verify judge protection from the wrong bits.
TEST(ConfigFields, EightBitPartsFromLaterHeaders) {
    struct Row {
        const char* chip;
        // The device file's implemented bits, but for the 16F153xx CONFIG4, where the
        // header names no bit 10 (the device file keeps 2F9Fh, another programmer 2B9Fh).
        std::vector<std::int32_t> implemented;
        bool cpd;
    };
    const std::vector<Row> rows = {
        {"PIC16F18877", {0x2977, 0x3EE3, 0x3F7F, 0x3003, 0x0003}, true},
        {"PIC16LF18854", {0x2977, 0x3EE3, 0x3F7F, 0x3003, 0x0003}, true},
        {"PIC16F15356", {0x2977, 0x3EE3, 0x3F7F, 0x2B9F, 0x0001}, false},
        // EEPROM but no CPD: CONFIG5 has CP alone, as the device file's mask says.
        {"PIC16F19197", {0x2F77, 0x3EE7, 0x3F7F, 0x2F9F, 0x0001}, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.chip);
        const ChipConfigFields* chip = shipped_table().find(row.chip);
        ASSERT_NE(chip, nullptr);
        ASSERT_EQ(chip->words.size(), row.implemented.size());
        for (const ConfigWordFields& word : chip->words) {
            EXPECT_EQ(word.address, 0x8006 + word.number);
            std::int32_t named = 0;
            for (const ConfigField& field : word.fields) {
                EXPECT_EQ(named & field.mask, 0) << field.name << " overlaps";
                named |= field.mask;
            }
            EXPECT_EQ(named, row.implemented[static_cast<std::size_t>(word.number - 1)])
                << "word " << word.number;
        }
        const ProtectionBits bits = protection_bits(chip);
        const ProtectionBits expected = eight_bit_protection(row.cpd);
        EXPECT_EQ(bits.word, expected.word);
        EXPECT_EQ(bits.program, expected.program);
        EXPECT_EQ(bits.data, expected.data);
    }
    // Option names with more parts than FIELD_OPTION still name their field alone.
    const ConfigWordFields& word3 = *shipped_table().find("PIC16F18877")->word(3);
    ASSERT_NE(field_named(word3, "WDTCPS"), nullptr);
    EXPECT_EQ(field_named(word3, "WDTCPS")->mask, 0x001F);
    EXPECT_EQ(field_named(word3, "WDTCPS")->options.front().name, "WDTCPS_0");
    const ConfigWordFields& word2 = *shipped_table().find("PIC16F19197")->word(2);
    expect_options(*field_named(word2, "PWRTE"), 0x0006,
                   {{0x0000, "PWRT_1"}, {0x0002, "PWRT_16"}, {0x0004, "PWRT_64"}, {0x0006, "OFF"}});
    EXPECT_NE(field_named(*shipped_table().find("PIC16F18877")->word(4), "SCANE"), nullptr);
}

TEST(ConfigFields, DecodesAndEditsOneFieldAtATime) {
    const ConfigWordFields& word = *shipped_table().find("PIC16F628A")->word(1);
    // __CONFIG _CP_OFF & _LVP_OFF & _BOREN_OFF & _MCLRE_ON & _XT_OSC & _WDT_OFF & _PWRTE_ON
    const std::vector<std::string> lines = describe_config_word(word, 0x3F21);
    ASSERT_EQ(lines.size(), 8u);
    EXPECT_EQ(lines[0],
              "Oscillator (FOSC): XT, XT oscillator: Crystal/resonator on RA6/OSC2/CLKOUT and "
              "RA7/OSC1/CLKIN");
    EXPECT_EQ(lines[1], "Watchdog timer (WDTE): OFF, WDT disabled");
    EXPECT_EQ(lines[2], "Power-up timer (PWRTE): ON, PWRT enabled");
    EXPECT_EQ(lines[7], "Code protection (CP): OFF, Code protection off");

    const ConfigField& fosc = word.fields[0];
    const ConfigOption& intosc = fosc.options[4];
    EXPECT_EQ(with_option(0x3F21, fosc, intosc), 0x3F30);
    EXPECT_EQ(selected_option(fosc, 0x3F30)->name, "INTOSCIO");

    // A field whose bits name no option (the 16F84A's CP is ten bits wide).
    const ConfigWordFields& word84 = *shipped_table().find("PIC16F84A")->word(1);
    const std::vector<std::string> lines84 = describe_config_word(word84, 0x3F1F);
    EXPECT_EQ(lines84.back(), "Code protection (CP): bits 3F10h match no option");
}

TEST(ConfigFields, FaultyLinesNameTheirLine) {
    const std::pair<const char*, const char*> cases[] = {
        {"field: FOSC 0013 Oscillator\n", "line 1: a chip: line must come first."},
        {"chip: X\nfield: FOSC 0013 Oscillator\n", "line 2: a word: line must come"},
        {"chip: X\nword: 0 2007\n", "line 2: word: wants 1 to 9"},
        {"chip: X\r\nword: 1 2007\r\noption: 0001 XT\r\n", "line 3: an option: line must follow"},
        {"chip: X\nword: 1 2007\nfield: F 0003 T\noption: 0004 BAD\n", "line 4: option: wants"},
        {"chip: X\nfrobnicate: 1\n", "line 2: unknown line."},
    };
    for (const auto& [text, message] : cases) {
        ConfigFieldTable table;
        const ConfigFieldsLoadResult result = parse_config_fields(text, "t.txt", table);
        EXPECT_FALSE(result.ok) << text;
        EXPECT_NE(result.message.find(message), std::string::npos) << result.message;
    }
}

}  // namespace
}  // namespace corvanel
