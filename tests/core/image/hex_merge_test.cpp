// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/image/hex_merge.h"

#include <gtest/gtest.h>

#include <string>

#include "core/image/hex_text.h"

namespace corvanel {
namespace {

std::string rec(const std::string& body) {
    return ":" + body + hex_checksum(body) + "\r\n";
}

// A 16F628A-like image: 2K words, 128 EEPROM bytes, configuration word 3FFFh erased.
MemoryImage loaded(const std::string& text) {
    MemoryImage image;
    image.flash_size = 2048;
    image.eeprom_size = 128;
    image.clear_image();
    EXPECT_TRUE(load_hex_text(text, image).loaded);
    return image;
}

const std::string kEnd = ":00000001FF\r\n";
// Application: 2805h at 0000h, 0009h at 0004h, configuration 3F62h, EEPROM 12h at 2100h.
const std::string kApp =
    rec("0A0000000528FF3FFF3FFF3F0900") + rec("02400E00623F") + rec("024200001200") + kEnd;

TEST(HexMerge, MergesWhereTheFilesAgreeOrOneIsBlankAndNamesTheFirstConflict) {
    const struct {
        const char* what;
        std::string second;
        std::int64_t conflict;  // -1: merged
        std::string text;       // a part of the refusal
    } cases[] = {
        {"a boot block of its own", rec("040E0000FF300800") + kEnd, -1, ""},
        {"the same words again", rec("040000000528FF3F") + rec("02400E00623F") + kEnd, -1, ""},
        {"a word the first left blank", rec("020002000130") + kEnd, -1, ""},
        {"a program word that differs", rec("0400060000000A30") + rec("02000A000130") + kEnd, 4,
         "At address 0004h the buffer holds 0009h and second.hex 300Ah."},
        {"a configuration word that differs", rec("02400E00FF3F") + kEnd, 0x2007,
         "At address 2007h the buffer holds 3F62h and second.hex 3FFFh."},
        {"an EEPROM byte that differs", rec("024200003400") + kEnd, 0x2100,
         "At address 2100h the buffer holds 12h and second.hex 34h."},
        {"the lowest conflict is named, not the first in the file",
         rec("024200003400") + rec("020000000130") + kEnd, 0,
         "At address 0000h the buffer holds 2805h and second.hex 3001h."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        MemoryImage image = loaded(kApp);
        const MemoryImage before = image;
        const HexMergeResult result = merge_hex_text(c.second, "/tmp/second.hex", image);
        EXPECT_EQ(result.conflict_address, c.conflict);
        if (c.conflict < 0) {
            ASSERT_TRUE(result.merged);
            EXPECT_TRUE(result.messages.empty());
            // Everything of both files is in the buffer.
            EXPECT_EQ(image.flash_word(0), 0x2805);
            EXPECT_EQ(image.flash_word(4), 0x0009);
            EXPECT_EQ(image.config1, 0x3F62);
            EXPECT_EQ(image.eeprom_byte(0), 0x12);
            MemoryImage second = before;
            second.clear_image();
            ASSERT_TRUE(load_hex_text(c.second, second).loaded);
            for (std::int32_t i = 0; i < image.flash_size; ++i) {
                if (second.flash_word(i) != kBlankFlashWord) {
                    EXPECT_EQ(image.flash_word(i), second.flash_word(i)) << i;
                }
            }
            EXPECT_NE(result.status_text.find("HEX file merged: "), std::string::npos);
        } else {
            EXPECT_FALSE(result.merged);
            EXPECT_EQ(result.status_text, kHexNotMergedStatus);
            ASSERT_EQ(result.messages.size(), 1U);
            EXPECT_EQ(result.messages[0].kind, message_kind::kError);
            EXPECT_NE(result.messages[0].text.find(c.text), std::string::npos)
                << result.messages[0].text;
            // Nothing of the second file reached the buffer, not even the words before the
            // conflict.
            EXPECT_EQ(image.flash_word(6), before.flash_word(6));
            EXPECT_EQ(image.config1, before.config1);
        }
    }
}

TEST(HexMerge, AFaultySecondFileLeavesTheBufferAndCarriesItsWarnings) {
    MemoryImage image = loaded(kApp);
    const MemoryImage before = image;
    HexMergeResult bad = merge_hex_text(":020000000528D0\r\n", "b.hex", image);
    EXPECT_FALSE(bad.merged);
    ASSERT_EQ(bad.messages.size(), 1U);
    EXPECT_NE(bad.messages[0].text.find("Invalid 'checksum' field"), std::string::npos);
    EXPECT_EQ(image.flash_word(0), before.flash_word(0));

    // Data beyond the chip and no end record: merged, and told to the caller.
    const HexMergeResult wide =
        merge_hex_text(rec("020000040001") + rec("020000000130"), "w.hex", image);
    EXPECT_TRUE(wide.merged);
    EXPECT_EQ(wide.out_of_range_count, 1);
    EXPECT_TRUE(wide.cut_short);

    const HexMergeResult missing = merge_hex_file("/nonexistent/boot.hex", image);
    EXPECT_FALSE(missing.merged);
    ASSERT_EQ(missing.messages.size(), 1U);
    EXPECT_NE(missing.messages[0].text.find("/nonexistent/boot.hex"), std::string::npos);
}

}  // namespace
}  // namespace corvanel
