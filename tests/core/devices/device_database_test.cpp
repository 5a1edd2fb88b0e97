#include "core/devices/device_database.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>

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
        "model: Early",  // slot 0 not defined yet
        "verifyalg: 0", "verifyalgdef 0: first,end", "model: Middle", "verifyalg: 0",
        "VerifyAlgDef 0: second,end", "model: Late",
        "verifyalg: 0.4",          // rounds to slot 0
        "programalgdef 20:x,end",  // no blank after the colon: the first character is lost
        "programalg: 20",
        "model: Late",  // same name: a second model
    }));
    ASSERT_EQ(db.model_count(), 4);
    EXPECT_EQ(db.model(1).verifyalg, "");
    EXPECT_EQ(db.model(2).verifyalg, "first,end");
    EXPECT_EQ(db.model(3).verifyalg, "second,end");
    EXPECT_EQ(db.model(3).programalg, ",end");
    EXPECT_EQ(db.model(4).name, "Late");
    EXPECT_EQ(db.model(4).programalg, "");
    EXPECT_EQ(db.definitions[static_cast<int>(AlgorithmTable::Verify)][0], "second,end");
}

TEST(DeviceDatabase, LineEndsAreCrLfOrLoneCr) {
    const auto db = parse_ok("model: A\rflash: 64\r\nmodel: B\n flash: 128\r\n");
    ASSERT_EQ(db.model_count(), 2);
    EXPECT_EQ(db.model(1).flash, "64");
    // A lone LF is an ordinary character: it stays in the name.
    EXPECT_EQ(db.model(2).name, "B\n flash: 128");
    EXPECT_EQ(db.model(2).flash, "");

    DeviceDatabase lf_only;
    EXPECT_EQ(
        parse_device_database("erasealgdef 1: begin,end\nmodel: X\nerasealg: 1\n", "f", lf_only)
            .status,
        DatabaseStatus::NoModels);
}

TEST(DeviceDatabase, FaultyLinesAreRejectedWithTheirLine) {
    const std::pair<std::string, int> cases[] = {
        {crlf({"model: A", "erasealgdef 21: begin,end"}), 2},
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
