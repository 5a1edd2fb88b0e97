// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/image/intel_hex_writer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "core/image/hex_text.h"
#include "core/image/intel_hex_reader.h"

namespace corvanel {
namespace {

namespace fs = std::filesystem;

MemoryImage model(std::int32_t flash, std::int32_t eeprom, bool config2_used) {
    MemoryImage image;
    image.flash_size = flash;
    image.eeprom_size = eeprom;
    image.config_erased1 = 0x3FF1;
    image.config_erased2 = 0x3FFF;
    image.config2_used = config2_used;
    image.clear_image();
    return image;
}

std::string lines(const std::vector<std::string>& records) {
    std::string text;
    for (const auto& record : records) {
        text += record + "\r\n";
    }
    return text;
}

TEST(IntelHexWriter, WritesTheSectionsRecordByRecord) {
    struct Case {
        const char* what;
        MemoryImage image;
        std::vector<std::string> expected;
    };
    std::vector<Case> cases;

    cases.push_back({"blank image", model(64, 0, false), {":02400E00F13F80", ":00000001FF"}});
    cases.push_back(
        {"configuration word 2", model(64, 0, true), {":04400E00F13FFF3F40", ":00000001FF"}});

    // User IDs come before the configuration words, and only when one is set:
    // a file without them is written exactly as before.
    MemoryImage ids = model(64, 0, false);
    ids.user_ids = {0x0001, 0x0002, 0x0003, 0x3FFF};
    cases.push_back(
        {"user IDs", ids, {":08400000010002000300FF3F74", ":02400E00F13F80", ":00000001FF"}});

    MemoryImage one = model(64, 64, false);
    one.flash[0] = 0x2805;
    cases.push_back({"one word", one, {":020000000528D1", ":02400E00F13F80", ":00000001FF"}});

    MemoryImage eight = model(64, 0, false);
    eight.flash[0] = 0x2805;
    for (int i = 1; i < 8; ++i) {
        eight.flash[static_cast<std::size_t>(i)] = 0;
    }
    cases.push_back(
        {"eight words",
         eight,
         {":1000000005280000000000000000000000000000C3", ":02400E00F13F80", ":00000001FF"}});

    MemoryImage nine = eight;
    nine.flash[8] = 0x0123;
    nine.flash[4] = kBlankFlashWord;  // a blank word between used ones is written
    cases.push_back({"nine words",
                     nine,
                     {":100000000528000000000000FF3F00000000000085", ":020010002301CA",
                      ":02400E00F13F80", ":00000001FF"}});

    MemoryImage eeprom = model(64, 64, false);
    eeprom.eeprom[0] = 0x12;
    cases.push_back(
        {"one EEPROM byte", eeprom, {":02400E00F13F80", ":024200001200AA", ":00000001FF"}});

    for (const auto& c : cases) {
        EXPECT_EQ(write_hex_text(c.image), lines(c.expected)) << c.what;
    }
}

std::string record(const std::string& body) {
    return ":" + body + hex_checksum(body) + "\r\n";
}

std::string repeat(const std::string& text, int times) {
    std::string out;
    for (int i = 0; i < times; ++i) {
        out += text;
    }
    return out;
}

TEST(IntelHexWriter, FullAreasEndAtTheirLastCell) {
    MemoryImage image = model(64, 64, true);
    image.flash[63] = 0x0000;
    image.eeprom[63] = 0x00;
    image.config1 = 0x0000;
    image.config2 = 0x2345;
    // Values the read operation may store beyond 14 bits keep their last four digits.
    image.flash[0] = 0x1C000;
    std::string expected = record("10000000" + std::string("00C0") + repeat("FF3F", 7));
    for (int j = 1; j < 7; ++j) {
        expected += record("10" + hex4(16 * j) + "00" + repeat("FF3F", 8));
    }
    expected += record("10007000" + repeat("FF3F", 7) + "0000");
    expected += record("04400E0000004523");
    for (int j = 0; j < 7; ++j) {
        expected += record("10" + hex4(0x4200 + 16 * j) + "00" + repeat("FF00", 8));
    }
    expected += record("10427000" + repeat("FF00", 7) + "0000");
    expected += ":00000001FF\r\n";
    EXPECT_EQ(write_hex_text(image), expected);
}

class TempFolder {
public:
    explicit TempFolder(const std::string& name)
        : path_(fs::temp_directory_path() /
                ("corvanel-" + name + "-" + std::to_string(std::random_device()()))) {
        fs::remove_all(path_);
        fs::create_directories(path_);
    }
    ~TempFolder() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    [[nodiscard]] const fs::path& path() const { return path_; }
    [[nodiscard]] std::size_t entries() const {
        return static_cast<std::size_t>(
            std::distance(fs::directory_iterator(path_), fs::directory_iterator()));
    }

private:
    fs::path path_;
};

std::string read_text(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

TEST(IntelHexWriter, SavedFilesLoadBackUnderTheSameModel) {
    struct Shape {
        std::int32_t flash;
        std::int32_t eeprom;
        bool config2_used;
    };
    const Shape shapes[] = {{64, 0, false}, {2048, 128, false}, {8192, 256, true}, {1024, 0, true}};
    TempFolder folder("hex-round-trip");
    std::mt19937 random(20260812);
    for (const auto& shape : shapes) {
        for (int round = 0; round < 4; ++round) {
            MemoryImage saved = model(shape.flash, shape.eeprom, shape.config2_used);
            // From an empty image to a full one, so that both the trailing
            // blank cells and the very last cell are covered.
            const double density = round / 3.0;
            std::bernoulli_distribution used(density);
            for (auto& word : saved.flash) {
                word = used(random) ? static_cast<std::int32_t>(random() % 0x4000) : 0x3FFF;
            }
            for (auto& byte : saved.eeprom) {
                byte = used(random) ? static_cast<std::int32_t>(random() % 0x100) : 0xFF;
            }
            saved.config1 = static_cast<std::int32_t>(random() % 0x4000);
            saved.config2 = static_cast<std::int32_t>(random() % 0x4000);

            const std::string path = (folder.path() / "image.hex").string();
            const HexSaveResult save = save_hex_file(path, saved);
            ASSERT_TRUE(save.saved) << save.messages.at(0).text;
            EXPECT_EQ(save.status_text, "HEX file saved.");
            EXPECT_EQ(save.loaded_file_label, short_path(path));
            EXPECT_TRUE(save.messages.empty());

            MemoryImage loaded = model(shape.flash, shape.eeprom, shape.config2_used);
            const HexOpenReport report = open_hex_file(path, loaded);
            ASSERT_TRUE(report.loaded) << report.messages.at(0).text;
            EXPECT_TRUE(report.messages.empty());
            EXPECT_EQ(loaded.flash, saved.flash);
            EXPECT_EQ(loaded.eeprom, saved.eeprom);
            EXPECT_EQ(loaded.config1, saved.config1);
            EXPECT_EQ(loaded.config2, shape.config2_used ? saved.config2 : 0x3FFF);
            EXPECT_EQ(report.flash_extent, saved.last_used_flash() + 1);
            EXPECT_EQ(folder.entries(), 1U);
        }
    }
}

TEST(IntelHexWriter, SavingReplacesTheOldFileWhole) {
    TempFolder folder("hex-replace");
    const fs::path path = folder.path() / "program.hex";
    std::ofstream(path) << std::string(5000, 'x');
    fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);

    MemoryImage image = model(64, 0, false);
    const HexSaveResult result = save_hex_file(path.string(), image);
    ASSERT_TRUE(result.saved);
    EXPECT_EQ(read_text(path), ":02400E00F13F80\r\n:00000001FF\r\n");
    EXPECT_EQ(fs::status(path).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_EQ(folder.entries(), 1U);
    EXPECT_EQ(result.last_path, folder.path().string() + "/");

    // Saving through a link writes the file it points at and keeps the link.
    const fs::path link = folder.path() / "link.hex";
    fs::create_symlink(path, link);
    image.flash[0] = 0x2805;
    ASSERT_TRUE(save_hex_file(link.string(), image).saved);
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(read_text(path), ":020000000528D1\r\n:02400E00F13F80\r\n:00000001FF\r\n");
}

TEST(IntelHexWriter, AFailedSaveIsReportedAndLeavesTheOldFileIntact) {
    // The tests may run as root, which ignores folder permissions, so the
    // failures come from paths that cannot hold a file.
    TempFolder folder("hex-failures");
    const fs::path occupied = folder.path() / "occupied.hex";
    fs::create_directory(occupied);
    std::ofstream(occupied / "inside.txt") << "kept";
    const fs::path plain_file = folder.path() / "plain";
    std::ofstream(plain_file) << "kept";

    const std::string cases[] = {
        occupied.string(),                               // a folder where the file should go
        (folder.path() / "missing" / "x.hex").string(),  // a folder that does not exist
        (plain_file / "x.hex").string(),                 // a file used as a folder
    };
    MemoryImage image = model(64, 0, false);
    for (const auto& path : cases) {
        const HexSaveResult result = save_hex_file(path, image);
        EXPECT_FALSE(result.saved) << path;
        EXPECT_EQ(result.status_text, "HEX file not saved!");
        EXPECT_FALSE(result.loaded_file_label.has_value());
        ASSERT_EQ(result.messages.size(), 1U);
        EXPECT_EQ(result.messages[0].kind, message_kind::kError);
        EXPECT_NE(result.messages[0].text.find(path), std::string::npos) << result.messages[0].text;
    }
    EXPECT_EQ(read_text(occupied / "inside.txt"), "kept");
    EXPECT_EQ(read_text(plain_file), "kept");
    EXPECT_EQ(folder.entries(), 2U);
}

TEST(IntelHexWriter, OverwriteQuestionNamesTheFile) {
    EXPECT_EQ(hex_overwrite_question("/home/a/x.hex"),
              "Do you want to overwrite file /home/a/x.hex?");
}

}  // namespace
}  // namespace corvanel
