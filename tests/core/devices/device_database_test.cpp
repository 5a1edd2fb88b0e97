// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/devices/device_database.h"
#include "core/devices/command_set.h"
#include "core/devices/vdd_window.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <tuple>

#include "core/devices/leading_number.h"

namespace corvanel {
namespace {

// Device files end their lines with CR LF; tests write them with this helper.
std::string crlf(std::initializer_list<const char*> lines) {
    std::string text;
    for (const char* line : lines) {
        text += line;
        text += "\r\n";
    }
    return text;
}

DeviceDatabase parse_ok(const std::string& text) {
    DeviceDatabase db;
    const auto result = parse_device_database(text, "test.txt", db);
    EXPECT_EQ(result.status, DatabaseStatus::Loaded) << result.message;
    return db;
}

TEST(LeadingNumber, ReadsTheNumberAtTheStartAndRoundsHalvesToEven) {
    const std::pair<const char*, std::int32_t> cases[] = {
        {"1", 1},
        {"  42abc", 42},
        {"-7", -7},
        {"+3", 3},
        {"2.5", 2},
        {"3.5", 4},
        {"-2.5", -2},
        {"15.5", 16},
        {"0.5", 0},
        {"1.5", 2},
        {"2.51", 3},
        {"2.4999", 2},
        {"16.4", 16},
        {"", 0},
        {"abc", 0},
        {"-", 0},
        {".5", 0},
        {".6", 1},
        {"8192 words", 8192},
        {"\t 9", 9},
        {"99999999999", 2147483647},
        {"-99999999999", -2147483647 - 1},
        {"1e3", 1},
        {"12.", 12},
        {"5 000", 5},
    };
    for (const auto& [text, value] : cases) {
        EXPECT_EQ(leading_number(text), value) << '"' << text << '"';
    }
}

TEST(DeviceDatabase, MinimalThreeLineFile) {
    const auto db = parse_ok(crlf({"erasealgdef 1: begin,end", "model: Tiny", "erasealg: 1"}));
    ASSERT_EQ(db.model_count(), 1);
    EXPECT_EQ(db.model(1).name, "Tiny");
    EXPECT_EQ(db.model(1).erasealg, "begin,end");
    EXPECT_EQ(db.model(1).programalg, "");
    EXPECT_EQ(db.model(1).verifyalg, "");
}

TEST(DeviceDatabase, KeysIgnoreCaseAndValuesStartAfterTheFirstSpace) {
    const auto db = parse_ok(crlf({"MODEL: PIC16F84A", "Flash: 1024", "eeprom:  64",
                                   "ConfigErased: 3fff 3fff ", "pagesize: 8 words"}));
    ASSERT_EQ(db.model_count(), 1);
    const DeviceModel& m = db.model(1);
    EXPECT_EQ(m.name, "PIC16F84A");
    EXPECT_EQ(m.flash, "1024");
    EXPECT_EQ(m.eeprom, " 64");               // two blanks keep one
    EXPECT_EQ(m.configerased, "3fff 3fff ");  // trailing blank stays
    EXPECT_EQ(m.pagesize, "8 words");
}

TEST(DeviceDatabase, LinesThatMatchNothingAreNotes) {
    const auto db = parse_ok(crlf({"This file lists chips: notes are free text", " model: Indented",
                                   "model : Blank before colon", "flash: 99",  // before any model
                                   "modelx: nope", "nospace", "model: Real", "eeprom: 128"}));
    ASSERT_EQ(db.model_count(), 1);
    EXPECT_EQ(db.model(1).name, "Real");
    EXPECT_EQ(db.model(1).flash, "");
    EXPECT_EQ(db.model(1).eeprom, "128");
}

TEST(DeviceDatabase, ModelsCopyTheSlotAsItStandsWhenTheirLineIsRead) {
    const auto db = parse_ok(crlf({
        "model: Early",  // names no algorithm before slot 0 is defined
        "verifyalgdef 0: begin,w1,end", "model: Middle", "verifyalg: 0",
        "VerifyAlgDef 0: begin,w2,end", "model: Late",
        "verifyalg: 0.4",               // rounds to slot 0
        "programalgdef 20:xbegin,end",  // no blank after the colon: the first character is lost
        "programalg: 20",
        "model: Late",  // same name: a second model
    }));
    ASSERT_EQ(db.model_count(), 4);
    EXPECT_EQ(db.model(1).verifyalg, "");
    EXPECT_EQ(db.model(2).verifyalg, "begin,w1,end");
    EXPECT_EQ(db.model(3).verifyalg, "begin,w2,end");
    EXPECT_EQ(db.model(3).programalg, "begin,end");
    EXPECT_EQ(db.model(4).name, "Late");
    EXPECT_EQ(db.model(4).programalg, "");
    EXPECT_EQ(db.definitions[static_cast<int>(AlgorithmTable::Verify)][0], "begin,w2,end");
}

TEST(DeviceDatabase, LineEndsAreCrLfOrLoneCr) {
    const auto db = parse_ok("model: A\rflash: 64\r\nmodel: B\n flash: 128\r\n");
    ASSERT_EQ(db.model_count(), 2);
    EXPECT_EQ(db.model(1).flash, "64");
    // A lone LF is an ordinary character: it stays in the name.
    EXPECT_EQ(db.model(2).name, "B\n flash: 128");
    EXPECT_EQ(db.model(2).flash, "");

    // A file with LF line ends is one long line; its first algorithm swallows the rest
    // and is refused with a word on the line ends.
    DeviceDatabase lf_only;
    const auto lf_result =
        parse_device_database("erasealgdef 1: begin,end\nmodel: X\nerasealg: 1\n", "f", lf_only);
    EXPECT_EQ(lf_result.status, DatabaseStatus::BadLine);
    EXPECT_NE(lf_result.message.find("CR LF"), std::string::npos) << lf_result.message;
    EXPECT_EQ(parse_device_database("model: X\nflash: 64\n", "f", lf_only).status,
              DatabaseStatus::Loaded);
}

TEST(DeviceDatabase, FaultyLinesAreRejectedWithTheirLine) {
    const std::pair<std::string, int> cases[] = {
        {crlf({"model: A", "erasealgdef 64: begin,end"}), 2},
        {crlf({"model: A", "erasealgdef -1: begin,end"}), 2},
        {crlf({"model: A", "flash: 64", "readalg: 20.6"}), 3},  // rounds to 21
        {crlf({"blankcheckalg: 99", "model: A"}), 1},           // even before the first model
        {crlf({"verifyalgdef 3 begin,end", "model: A"}), 1},    // no colon at all
        // FLASH over the configuration words at 2000h on the classic address map.
        {crlf({"model: A", "eeprom: 64", "flash: 8193"}), 3},
        {crlf({"model: A", "flash: 8192", "model: B", "flash: 16384"}), 4},
    };
    for (const auto& [text, line] : cases) {
        DeviceDatabase db;
        const auto result = parse_device_database(text, "devs.txt", db);
        EXPECT_EQ(result.status, DatabaseStatus::BadLine) << text;
        EXPECT_EQ(result.line_number, line) << text;
        EXPECT_NE(result.message.find("devs.txt, line " + std::to_string(line)), std::string::npos)
            << result.message;
    }
}

// A mistake in an algorithm or a model's keys stops the load with its line, rather
// than ending the program halfway through an operation on a chip.
TEST(DeviceDatabase, BrokenAlgorithmsAndKeysAreRejectedWithTheLine) {
    const std::tuple<std::string, int, const char*> cases[] = {
        {crlf({"erasealgdef 1: begin,s0g,end", "model: A"}), 1, "unknown instruction \"s0g\""},
        {crlf({"model: A", "readalgdef 2: begin,flash=s04,loopx,end"}), 2, "\"loopx\""},
        {crlf({"programalgdef 3: begin,s06,begin,s06,end,end"}), 1, "before the \"end\""},
        {crlf({"verifyalgdef 4: begin,end,s06,end"}), 1, "without its \"begin\""},
        {crlf({"blankcheckalgdef 5: begin,s06"}), 1, "voltages would stay on"},
        {crlf({"idalgdef 1: beginvppvdd,deviceid=s04"}), 1, "voltages would stay on"},
        {crlf({"erasealgdef 1: begin,end", "model: A", "erasealg: 1", "programalg: 7"}), 4,
         "slot 7"},
        {crlf({"model: A", "vpp: 13"}), 2, "Vpp window"},
        {crlf({"model: A", "vpp: 9.0 8.0"}), 2, "Vpp window"},
        {crlf({"model: A", "vpp: 8 90"}), 2, "Vpp window"},
        {crlf({"model: A", "vdd: 5"}), 2, "Vdd window"},
        {crlf({"model: A", "vdd: 3.6 1.8"}), 2, "Vdd window"},
        {crlf({"model: A", "vdd: 2.0 13"}), 2, "Vdd window"},
        {crlf({"model: A", "vdd: 1.8 3.6 erase 2.7"}), 2, "Vdd window"},
    };
    for (const auto& [text, line, what] : cases) {
        DeviceDatabase db;
        const auto result = parse_device_database(text, "devs.txt", db);
        EXPECT_EQ(result.status, DatabaseStatus::BadLine) << text;
        EXPECT_EQ(result.line_number, line) << text;
        EXPECT_NE(result.message.find(what), std::string::npos) << result.message;
    }
    const auto db = parse_ok(crlf({"model: A", "vpp: 12.75 13.25", "model: B", "vpp: 8,0 9"}));
    EXPECT_EQ(db.model(2).vpp, "8,0 9");

    // An LF part's erase window is narrower than its write window; both are kept.
    const auto window = parse_vdd_window("1.8 3.6 erase 2.7 3.6");
    ASSERT_TRUE(window);
    EXPECT_TRUE(window->contains(2.0));
    EXPECT_FALSE(window->contains_for_erase(2.0));
    EXPECT_TRUE(window->contains_for_erase(3.3));
    EXPECT_FALSE(window->contains(5.0));
    EXPECT_EQ(vdd_window_text(*window), "1.8-3.6 V (erase 2.7-3.6 V)");
}

// A code outside the model's command set would be clocked cut to the set's width and
// reach the chip as another command (80h in 6 bits is 00h, Load Configuration): the
// file is refused at the definition line the model took, whichever table it is in
// and however the instruction carries its code.
TEST(DeviceDatabase, CommandsOutsideTheModelsCommandSetAreRejectedAtTheirDefinition) {
    const std::tuple<std::string, int, const char*> cases[] = {
        {crlf({"programalgdef 3: begin,s06,s80,end", "model: A", "programalg: 3"}), 1,
         "\"s80\": command 80h is not in the 6-bit command set (instruction 3)"},
        // The model takes the slot as it stands: the second definition is at fault.
        {crlf({"erasealgdef 1: begin,s09,end", "erasealgdef 1: begin,s00-3fff,s42,end", "model: A",
               "erasealg: 1"}),
         2, "command 42h"},
        {crlf({"model: A", "readalgdef 2: begin,flash=sC4,end", "model: B", "readalg: 2",
               "model: C"}),
         2, "command C4h is not in the 6-bit command set (instruction 2), the set of model B"},
        {crlf({"idalgdef 4: begin,s00-3fff,s46-userid1,end", "model: A", "idalg: 4"}), 1,
         "command 46h"},
        // The 8-bit set: a 6-bit code is no command of it, and each command goes
        // with its own frame (Load PC Address with its payload, a read as a read).
        {crlf({"programalgdef 3: begin,s80-0000,s06,end", "model: A", "commandset: 8bit",
               "programalg: 3"}),
         1, "\"s06\": command 06h is not in the 8-bit command set (instruction 3)"},
        {crlf({"readalgdef 2: begin,s80,end", "model: A", "readalg: 2", "commandset: 8bit"}), 1,
         "command 80h takes a 24-bit payload in the 8-bit command set (instruction 2)"},
        {crlf({"readalgdef 2: begin,s80-8007,sfe-config1,end", "model: A", "readalg: 2",
               "commandset: 8bit"}),
         1, "command FEh is a read"},
        {crlf({"erasealgdef 2: begin,s80-8000,temp=s18,end", "model: A", "erasealg: 2",
               "commandset: 8bit"}),
         1, "command 18h takes no data"},
        {crlf({"model: A", "commandset: 7bit"}), 2, "the command set must be 6bit or 8bit"},
    };
    for (const auto& [text, line, what] : cases) {
        DeviceDatabase db;
        const auto result = parse_device_database(text, "devs.txt", db);
        EXPECT_EQ(result.status, DatabaseStatus::BadLine) << text;
        EXPECT_EQ(result.line_number, line) << text;
        EXPECT_NE(result.message.find("devs.txt, line " + std::to_string(line) + ": "),
                  std::string::npos)
            << result.message;
        EXPECT_NE(result.message.find(what), std::string::npos) << result.message;
    }
    // The chip commands 00h-3Fh and the board's extensions pass; a slot no model
    // takes is not judged.
    const auto db = parse_ok(crlf({"erasealgdef 1: begin,s3f,s40,s41-f000,s43,s44,flash=s04,end",
                                   "programalgdef 1: begin,s80,end", "model: A", "erasealg: 1"}));
    EXPECT_EQ(db.model(1).erasealg, "begin,s3f,s40,s41-f000,s43,s44,flash=s04,end");
    const auto eight = parse_ok(
        crlf({"erasealgdef 1: begin,s80-8000,s18,w14,s80-0000,s00-flash,s02-flash,se0,sf8,sc0,s82,"
              "sf0,flash=sfe,temp=sfc,end",
              "model: A", "erasealg: 1", "commandset: 8Bit"}));
    EXPECT_EQ(parse_command_set(eight.model(1).commandset), &eight_bit_commands());
}

// The 8-bit set's Bulk Erase has two frames, and the family decides which: a chip
// that takes its regions from a payload clocks in the next 24 bits whatever they
// are (a bare 18h eats the command after it and erases nothing asked for), and a
// chip that takes them from the PC reads a payload as the next command.
TEST(DeviceDatabase, BulkEraseTakesTheFrameOfTheModelsEraseSelection) {
    const auto model = [](const std::string& erase, const std::string& bulkerase,
                          const std::string& set = "8bit") {
        std::string text = "erasealgdef 2: " + erase + "\r\nmodel: A\r\nerasealg: 2\r\n" +
                           "commandset: " + set + "\r\n";
        if (!bulkerase.empty()) {
            text += "bulkerase: " + bulkerase + "\r\n";
        }
        return text;
    };
    const std::tuple<std::string, int, const char*> refused[] = {
        {model("begin,s80-8000,s18,w14,end", "payload"), 1,
         "\"s18\": command 18h takes a 24-bit payload naming the regions on a chip whose bulk "
         "erase the payload selects (\"s18-000f\") (instruction 3), the set of model A"},
        {model("begin,s18-000f,w20,end", "pc"), 1,
         "command 18h takes no data on a chip whose bulk erase the PC selects"},
        // Without the key the PC selects, as on the families that came first.
        {model("begin,s18-000f,w20,end", ""), 1, "the PC selects"},
        {model("begin,s18-0000,w20,end", "PAYLOAD"), 1, "at least one"},
        {model("begin,s18-0010,w20,end", "payload"), 1, "region bits 0-3"},
        {model("begin,s18-flash,w20,end", "payload"), 1, "as a literal naming the regions"},
        {model("begin,temp=s18,w20,end", "payload"), 1, "as a literal naming the regions"},
        {model("begin,s18-000f,w20,end", "sideways"), 5, "by pc or by payload"},
        {model("begin,s09,end", "payload", "6bit"), 5, "belongs to the 8-bit command set"},
        // The erase of the regions an operation does not keep: only 18h of a chip that
        // takes its regions from the payload, and each memory written in a section of
        // its own (a kept memory's section is left out whole).
        {model("begin,s18-regions,w20,end", "pc"), 1,
         "\"s18-regions\": command 18h cannot erase by regions on a chip whose bulk erase the "
         "PC selects (instruction 2)"},
        {model("begin,s80-regions,w20,end", "payload"), 1,
         "command 80h names no regions to erase in the 8-bit command set"},
        {model("begin,s18-regions,w20,end", "", "6bit"), 1,
         "names no regions to erase in the 6-bit command set"},
        {model("begin,s18-regions,w20,end,begin,s80-0000,s02-flash,se0,s80-f000,s00-eeprom,"
               "se0,end",
               "payload"),
         1, "\"s00-eeprom\" writes a second memory in its section"},
        {model("begin,s18-regions,w20,s80-8007,s00-config1,se0,end", "payload"), 1,
         "\"s00-config1\" writes in the section of the region erase"},
    };
    for (const auto& [text, line, what] : refused) {
        DeviceDatabase db;
        const auto result = parse_device_database(text, "devs.txt", db);
        EXPECT_EQ(result.status, DatabaseStatus::BadLine) << text;
        EXPECT_EQ(result.line_number, line) << text;
        EXPECT_NE(result.message.find(what), std::string::npos) << result.message;
    }
    for (const char* payload : {"000f", "000E", "0002", "0001", "0008"}) {
        const auto db =
            parse_ok(model(std::string("begin,s18-") + payload + ",w20,end", "payload"));
        EXPECT_EQ(parse_erase_selection(db.model(1).bulkerase), EraseSelection::Payload);
    }
    EXPECT_TRUE(parse_ok(model("begin,s80-8000,s18,w14,end", "pc")).model(1).bulkerase == "pc");
    (void)parse_ok(
        model("begin,s18-regions,w20,end,begin,s80-0000,s02-flash,se0,end,begin,"
              "s80-8007,s00-config1,se0,sf8,s00-config2,se0,end",
              "payload"));
}

TEST(DeviceDatabase, FlashUpToTheConfigurationWordsIsAccepted) {
    DeviceDatabase db;
    EXPECT_EQ(parse_device_database(crlf({"model: A", "flash: 8192"}), "f", db).status,
              DatabaseStatus::Loaded);
}

TEST(DeviceDatabase, EmptyOrModelFreeFilesHoldNoModel) {
    DeviceDatabase db;
    EXPECT_EQ(parse_device_database("", "f", db).status, DatabaseStatus::NoModels);
    EXPECT_EQ(parse_device_database(crlf({"erasealgdef 1: begin,end"}), "f", db).status,
              DatabaseStatus::NoModels);
}

TEST(DeviceDatabase, MissingFileNamesThePath) {
    DeviceDatabase db;
    const std::string path = "/nonexistent-folder/corvaneldevices.txt";
    const auto result = load_device_database(path, db);
    EXPECT_EQ(result.status, DatabaseStatus::FileError);
    EXPECT_NE(result.message.find(path), std::string::npos);
}

TEST(DeviceDatabase, LoadsFromAFile) {
    const std::string path = ::testing::TempDir() + "corvanel_db_test.txt";
    {
        std::ofstream out(path, std::ios::binary);
        out << crlf({"model: FromFile", "flash: 2048"});
    }
    DeviceDatabase db;
    ASSERT_EQ(load_device_database(path, db).status, DatabaseStatus::Loaded);
    EXPECT_EQ(db.model(1).flash, "2048");
    std::remove(path.c_str());
}

}  // namespace
}  // namespace corvanel
