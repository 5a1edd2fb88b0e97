// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/image/intel_hex_reader.h"

#include <gtest/gtest.h>

#include <array>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "core/image/hex_text.h"

namespace corvanel {
namespace {

// A record line with a correct checksum, whatever its body holds.
std::string rec(const std::string& body) {
    return ":" + body + hex_checksum(body);
}

std::string crlf(const std::vector<std::string>& lines) {
    std::string text;
    for (const auto& line : lines) {
        text += line + "\r\n";
    }
    return text;
}

MemoryImage small_model(bool config2_used = false) {
    MemoryImage image;
    image.flash_size = 64;
    image.eeprom_size = 64;
    image.config_erased1 = 0x3FF1;
    image.config_erased2 = 0x3FF2;
    image.config2_used = config2_used;
    image.clear_image();
    return image;
}

void expect_blank(const MemoryImage& image) {
    EXPECT_EQ(image.last_used_flash(), -1);
    EXPECT_EQ(image.last_used_eeprom(), -1);
    EXPECT_EQ(image.config1, image.config_erased1);
    EXPECT_EQ(image.config2, image.config_erased2);
}

struct FaultCase {
    const char* what;
    std::string file;
    int line;
    HexRecordFault fault;
};

TEST(IntelHexReader, EveryRecordFaultIsReportedWithItsLineAndLeavesTheImageBlank) {
    const std::string good = rec("0400000005280000");  // two FLASH words, stored before the fault
    const FaultCase cases[] = {
        {"leading spaces", crlf({good, "  :00000001FF"}), 2, HexRecordFault::NoColon},
        {"no start code", crlf({"00000001FF"}), 1, HexRecordFault::NoColon},
        {"too short", crlf({good, "; comment", ":00000001F"}), 3, HexRecordFault::TooShort},
        {"wrong checksum", crlf({":020000000528D2"}), 1, HexRecordFault::BadChecksum},
        {"lower-case checksum", crlf({":0200000005280a"}), 1, HexRecordFault::BadChecksum},
        // Each lower-case pair counts -1 in the sum, so the stated sum no longer fits.
        {"lower-case data", crlf({":020000000a28CC"}), 1, HexRecordFault::BadChecksum},
        {"type 02", crlf({rec("020000020000")}), 1, HexRecordFault::BadRecordType},
        {"type 03", crlf({rec("0400000300000000")}), 1, HexRecordFault::BadRecordType},
        {"type not hex", crlf({rec("000000x1")}), 1, HexRecordFault::BadRecordType},
        {"04 with address", crlf({rec("020010040000")}), 1, HexRecordFault::BadExtendedAddress},
        {"04 with 3 bytes", crlf({rec("03000004000000")}), 1, HexRecordFault::BadExtendedAddress},
        {"04 in lower-case digits", crlf({rec("020000040a00")}), 1,
         HexRecordFault::BadExtendedAddress},
        {"count not hex", crlf({good, rec("0g0000000528")}), 2, HexRecordFault::BadByteCount},
        {"address not hex", crlf({rec("0200g0000528")}), 1, HexRecordFault::BadAddress},
        {"odd count", crlf({rec("03000000052800")}), 1, HexRecordFault::OddByteCount},
        {"odd address", crlf({rec("020001000528")}), 1, HexRecordFault::OddAddress},
        {"short data", crlf({rec("0400000005280000"), rec("040008000528")}), 2,
         HexRecordFault::WrongDataLength},
        {"long data", crlf({rec("02000000052800")}), 1, HexRecordFault::WrongDataLength},
        {"FLASH word FFFFh", crlf({good, rec("04000400FF3FFFFF")}), 2, HexRecordFault::BadDataWord},
        {"FLASH word 4000h", crlf({rec("020000000040")}), 1, HexRecordFault::BadDataWord},
        {"data pair not hex", crlf({rec("0200000005z8")}), 1, HexRecordFault::BadDataWord},
        {"EEPROM pair not hex", crlf({rec("02420000AB0x")}), 1, HexRecordFault::BadDataWord},
        {"config pair not hex", crlf({rec("02400E00-1FF")}), 1, HexRecordFault::BadDataWord},
        {"user ID not hex", crlf({rec("02400000ZZ00")}), 1, HexRecordFault::BadDataWord},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        MemoryImage image = small_model();
        const HexReadResult result = load_hex_text(c.file, image);
        EXPECT_FALSE(result.loaded);
        EXPECT_EQ(result.fault, c.fault);
        EXPECT_EQ(result.line_number, c.line);
        ASSERT_EQ(result.messages.size(), 1U);
        EXPECT_EQ(result.messages[0].kind, message_kind::kError);
        EXPECT_EQ(result.messages[0].caption, "");
        // A record written in lower case is told so on a line of its own.
        const std::string lower_case = std::string(c.what).find("lower-case") != std::string::npos
                                           ? "\r\n" + std::string(kLowerCaseDigitsText)
                                           : std::string();
        EXPECT_EQ(result.messages[0].text,
                  "Input program file in Intel Hex Format contains errors.\r\nLine number " +
                      std::to_string(c.line) + std::string(hex_fault_text(c.fault)) + lower_case);
        expect_blank(image);
    }
}

TEST(IntelHexReader, FaultTextsAreTheProgramsOwn) {
    const std::pair<HexRecordFault, const char*> texts[] = {
        {HexRecordFault::NoColon, ": The record does not begin with ':' simbol."},
        {HexRecordFault::TooShort, ": The record is too short."},
        {HexRecordFault::BadChecksum, ": Invalid 'checksum' field in the record."},
        {HexRecordFault::BadRecordType, ": Invalid 'record type' field in the record."},
        {HexRecordFault::BadExtendedAddress, ": Invalid '04 type' record."},
        {HexRecordFault::BadByteCount, ": Invalid 'number of bytes' field in the record."},
        {HexRecordFault::BadAddress, ": Invalid 'address' field in the record."},
        {HexRecordFault::OddByteCount,
         ": Field 'number of bytes' in the record must contain an even value."},
        {HexRecordFault::OddAddress, ": Field 'address' in the record must contain an even value."},
        {HexRecordFault::WrongDataLength,
         ": The record does not contain the specified number of bytes."},
        {HexRecordFault::BadDataWord, ": Invalid data byte in the record."},
    };
    for (const auto& [fault, text] : texts) {
        EXPECT_EQ(hex_fault_text(fault), text);
    }
    MemoryImage image = small_model();
    const HexReadResult result = load_hex_text(":00000001FE\r\n", image);
    EXPECT_EQ(result.messages.at(0).text,
              "Input program file in Intel Hex Format contains errors.\r\n"
              "Line number 1: Invalid 'checksum' field in the record.");
}

TEST(IntelHexReader, LowerCaseDigitsAreRefusedWithALineThatSaysSo) {
    // The strict reader keeps the format's upper case; a lower-case writer gets
    // the same fault and one line more, and only a record of hex digits gets it.
    const struct {
        std::string line;
        bool lower_case;
    } cases[] = {
        {":100000000528ff3fff3fff3f09008316860183124b", true},
        {":100000000528ff3fff3fff3f09008316860183124B", true},   // checksum upper, data lower
        {":100000000528FF3FFF3FFF3F09008316860183124C", false},  // a wrong checksum
        {":10000000g528ff3fff3fff3f09008316860183124b", false},  // not a hex digit
    };
    for (const auto& c : cases) {
        MemoryImage image = small_model();
        const HexReadResult result = load_hex_text(c.line + "\r\n", image);
        ASSERT_FALSE(result.loaded) << c.line;
        const std::string& text = result.messages.at(0).text;
        EXPECT_NE(text.find("\r\nLine number 1: "), std::string::npos) << text;
        EXPECT_EQ(text.find(kLowerCaseDigitsText) != std::string::npos, c.lower_case) << c.line;
    }
}

TEST(IntelHexReader, LineNumbersCountNormalisedLineEnds) {
    const std::string bad = ":00000001FE";
    const std::string ok = ":020000000528D1";
    const std::pair<std::string, int> cases[] = {
        {ok + "\r\n" + ok + "\r\n" + bad + "\r\n", 3},  // CR LF: the file's own line numbers
        {ok + "\r\n\r\n" + ok + "\r\n\r\n" + bad, 3},   // one blank line between records vanishes
        {ok + "\n" + ok + "\n" + bad, 3},               // LF only
        {ok + "\r" + ok + "\r" + bad, 3},               // CR only
        {ok + "\n\n\n\n\n" + bad, 3},                   // five LFs make two line ends
        {ok + "\r\n\r\n\r\n" + bad, 3},                 // two blank CR LF lines leave one
        {"\r\n" + bad, 2},
    };
    for (const auto& [file, line] : cases) {
        MemoryImage image = small_model();
        const HexReadResult result = load_hex_text(file, image);
        EXPECT_EQ(result.fault, HexRecordFault::BadChecksum);
        EXPECT_EQ(result.line_number, line) << file;
    }
}

TEST(IntelHexReader, PlacesWordsByTheChipAddressMap) {
    MemoryImage image = small_model();
    const std::string file = crlf({
        "; a comment line is skipped",
        rec("0400000005280000"),          // FLASH 0 and 1
        rec("02007E00FF3F"),              // FLASH 3Fh, the last word, blank value
        rec("084000000100020003000400"),  // user IDs 2000h..2003h: kept
        rec("02400C00FFFF"),              // device ID: dropped
        rec("04400E00FFFF3412"),          // config 1 keeps 14 bits; config 2 even when unused
        rec("04420000AB001234"),          // EEPROM 0 = ABh, 1 = 12h (low byte only)
        rec("02427E005A00"),              // EEPROM 3Fh, the last byte
        ":02000000FE",                    // no data: skipped even though the count says 2
        rec("0400000500000000"),          // start address: ignored
        rec("00000001") + "   ",          // trailing spaces are fine
        "this line is never read",
    });
    const HexReadResult result = load_hex_text(file, image);
    ASSERT_TRUE(result.loaded) << (result.messages.empty() ? "" : result.messages[0].text);
    EXPECT_TRUE(result.messages.empty());
    EXPECT_EQ(image.flash[0], 0x2805);
    EXPECT_EQ(image.flash[1], 0x0000);
    EXPECT_EQ(image.flash[2], kBlankFlashWord);
    EXPECT_EQ(image.flash[63], 0x3FFF);
    // Blank-valued data still counts as loaded.
    EXPECT_EQ(result.flash_extent, 64);
    EXPECT_EQ(image.config1, 0x3FFF);
    EXPECT_EQ(image.config2, 0x1234);
    const std::array<std::int32_t, kUserIdCount> ids{1, 2, 3, 4};
    EXPECT_EQ(image.user_ids, ids);
    EXPECT_EQ(image.eeprom[0], 0xAB);
    EXPECT_EQ(image.eeprom[1], 0x12);
    EXPECT_EQ(image.eeprom[63], 0x5A);
    EXPECT_EQ(image.last_used_eeprom(), 63);
}

TEST(IntelHexReader, ExtendedAddressesMoveDataOutOfTheChip) {
    struct Case {
        std::vector<std::string> records;
        std::int64_t count;
        std::string list_tail;
    };
    const Case cases[] = {
        // Upper 0001h puts byte 0 at word 8000h, beyond every FLASH.
        {{":020000040001F9", rec("020000000528")}, 1, "8000, "},
        // Word addresses above FFFFh are listed by their last four digits.
        {{rec("020000040002"), rec("040002000528FF3F")}, 2, "0001, 0002, "},
        // The very top of the address space does not wrap round.
        {{rec("02000004FFFF"), rec("04FFFE00052805FF")}, 2, "FFFF, 0000, "},
        // Upper 0 again returns to the chip.
        {{rec("020000040001"), rec("020000040000"), rec("020000000528")}, 0, ""},
        // Inside the chip's FLASH size only: word 40h of a 64-word part is outside.
        {{rec("020080000528")}, 1, "0040, "},
        // EEPROM beyond its size, and addresses between the areas.
        {{rec("0242800012FF"), rec("024012000000"), rec("024008000000")}, 3, "2140, 2009, 2004, "},
    };
    for (const auto& c : cases) {
        MemoryImage image = small_model();
        const HexReadResult result = load_hex_text(crlf(c.records), image);
        ASSERT_TRUE(result.loaded) << c.records.back();
        EXPECT_EQ(result.out_of_range_count, c.count) << c.records.back();
        EXPECT_EQ(result.out_of_range_tail, c.list_tail) << c.records.back();
        EXPECT_EQ(result.messages.size(), c.count > 0 ? 1U : 0U);
    }
}

// Data for `count` word addresses from 3000h on, eight words a record.
std::string out_of_range_file(int count) {
    std::vector<std::string> records;
    for (int first = 0; first < count; first += 8) {
        const int words = std::min(8, count - first);
        std::string body = hex2(words * 2) + hex4((0x3000 + first) * 2) + "00";
        for (int i = 0; i < words; ++i) {
            body += "0000";
        }
        records.push_back(rec(body));
    }
    records.push_back(":00000001FF");
    return crlf(records);
}

std::string address_list(int first, int last) {
    std::string list;
    for (int a = first; a <= last; ++a) {
        list += hex4(0x3000 + a) + ", ";
    }
    return list;
}

TEST(IntelHexReader, OutOfRangeWarningShortensLongLists) {
    const std::string head =
        "Warning!\r\nInput program file in Intel Hex Format contains errors.\r\n"
        "There are data for ";
    const std::pair<int, std::string> cases[] = {
        {1, "1 addresses out of range:\r\n3000.\r\n"},
        {24, "24 addresses out of range:\r\n" + address_list(0, 22) + "3017.\r\n"},
        {25, "25 addresses out of range:\r\n" + address_list(0, 15) + "..., " +
                 address_list(17, 23) + "3018.\r\n"},
        {30, "30 addresses out of range:\r\n" + address_list(0, 15) + "..., " +
                 address_list(22, 28) + "301D.\r\n"},
        {1000, "1000 addresses out of range:\r\n" + address_list(0, 15) + "..., " +
                   address_list(992, 998) + "33E7.\r\n"},
    };
    for (const auto& [count, tail] : cases) {
        MemoryImage image = small_model();
        const HexReadResult result = load_hex_text(out_of_range_file(count), image);
        ASSERT_TRUE(result.loaded);
        EXPECT_EQ(result.out_of_range_count, count);
        ASSERT_EQ(result.messages.size(), 1U);
        EXPECT_EQ(result.messages[0].kind, message_kind::kInformation);
        EXPECT_EQ(result.messages[0].text, head + tail) << count;
        expect_blank(image);
    }
}

TEST(IntelHexReader, LoadReportCountsWordsInK) {
    const std::pair<std::int32_t, const char*> kilo[] = {
        {1024, "1"}, {1536, "1.5"}, {2047, "1.99"},  {100, ".097"},   {0, "0"},      {1, ".000"},
        {512, ".5"}, {8192, "8"},   {10752, "10.5"}, {11000, "10.7"}, {32768, "32"}, {3, ".002"},
    };
    for (const auto& [words, text] : kilo) {
        EXPECT_EQ(kilo_words_text(words), text) << words;
    }
    EXPECT_EQ(hex_loaded_status(1536),
              "Operation completed. Total 1536 (1.5K) program words loaded.");
}

TEST(IntelHexReader, OpenReportsSuccessAndFailure) {
    MemoryImage image = small_model();
    HexOpenReport report = open_hex_text(":00000001FF", "/data/progs/empty.hex", image);
    EXPECT_TRUE(report.loaded);
    EXPECT_EQ(report.status_text, "Operation completed. Total 0 (0K) program words loaded.");
    EXPECT_EQ(report.loaded_file_label, "/data/progs/empty.hex");
    EXPECT_EQ(report.last_path, "/data/progs/");
    EXPECT_TRUE(report.messages.empty());

    // A load starts from a blank image: what an earlier file left is gone.
    report = open_hex_text(crlf({rec("02000A000528")}), "/data/progs/one.hex", image);
    EXPECT_EQ(report.flash_extent, 6);
    report = open_hex_text(crlf({rec("020002000000")}), "/data/progs/two.hex", image);
    EXPECT_EQ(image.flash[5], kBlankFlashWord);
    EXPECT_EQ(image.flash[1], 0);
    EXPECT_EQ(report.status_text, "Operation completed. Total 2 (.001K) program words loaded.");

    const std::string long_path = "/" + std::string(80, 'd') + "/x.hex";
    report = open_hex_text(crlf({rec("0400000005280000"), ":0"}), long_path, image);
    EXPECT_FALSE(report.loaded);
    EXPECT_EQ(report.status_text, "HEX file not loaded!");
    EXPECT_EQ(report.loaded_file_label, "");
    EXPECT_EQ(report.last_path, "/" + std::string(80, 'd') + "/");
    ASSERT_EQ(report.messages.size(), 1U);
    expect_blank(image);

    report = open_hex_text(crlf({rec("0400000005280000")}), long_path, image);
    EXPECT_EQ(report.loaded_file_label, "... " + long_path.substr(long_path.size() - 70));
}

TEST(IntelHexReader, UnreadableFileFailsWithAMessageNamingIt) {
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() /
        ("corvanel-hex-unreadable-" + std::to_string(std::random_device()()));
    std::filesystem::create_directories(folder);
    const std::string cases[] = {(folder / "missing.hex").string(), folder.string()};
    for (const auto& path : cases) {
        MemoryImage image = small_model();
        (void)image.set_flash_word(3, 0x1234);
        const HexOpenReport report = open_hex_file(path, image);
        EXPECT_FALSE(report.loaded);
        EXPECT_EQ(report.status_text, "HEX file not loaded!");
        ASSERT_EQ(report.messages.size(), 1U);
        EXPECT_EQ(report.messages[0].kind, message_kind::kError);
        EXPECT_NE(report.messages[0].text.find(path), std::string::npos) << report.messages[0].text;
        expect_blank(image);
    }
    std::filesystem::remove_all(folder);
}

// A file without its end record loads as before; only the report tells.
TEST(IntelHexReader, ReportsAFileWithoutItsEndRecordAsCutShort) {
    const struct {
        std::string text;
        bool cut_short;
    } cases[] = {
        {crlf({rec("0400000005280000"), ":00000001FF"}), false},
        {crlf({rec("0400000005280000")}), true},
        {"", true},
        // Records after the end record are never read.
        {crlf({":00000001FF", rec("0400000005280000")}), false},
    };
    for (const auto& c : cases) {
        MemoryImage image = small_model();
        const HexOpenReport report = open_hex_text(c.text, "a.hex", image);
        EXPECT_TRUE(report.loaded) << c.text;
        EXPECT_EQ(report.cut_short, c.cut_short) << c.text;
    }
}

TEST(IntelHexReader, SplitPathKeepsTheSeparatorWithTheFolder) {
    EXPECT_EQ(split_path("/home/a/x.hex").folder, "/home/a/");
    EXPECT_EQ(split_path("/home/a/x.hex").file_name, "x.hex");
    EXPECT_EQ(split_path("x.hex").folder, "");
    EXPECT_EQ(split_path("/x.hex").folder, "/");
}

}  // namespace
}  // namespace corvanel
