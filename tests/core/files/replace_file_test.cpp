// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/files/replace_file.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <thread>

namespace corvanel {
namespace {

namespace fs = std::filesystem;

std::string read_whole(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void write_plain(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

class ReplaceFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder = fs::temp_directory_path() /
                 ("corvanel-replace-" + std::to_string(::getpid()) + "-" +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder);
        fs::create_directories(folder);
    }
    void TearDown() override {
        std::error_code ignored;
        fs::permissions(folder / "locked.hex", fs::perms::owner_all, ignored);
        fs::remove_all(folder, ignored);
    }
    // Nothing but the named entries in the folder (no temporary file left).
    void expect_entries(std::initializer_list<std::string> names) {
        std::vector<std::string> found;
        for (const auto& entry : fs::directory_iterator(folder)) {
            found.push_back(entry.path().filename().string());
        }
        std::sort(found.begin(), found.end());
        std::vector<std::string> expected(names);
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(found, expected);
    }
    fs::path folder;
};

TEST_F(ReplaceFileTest, WritesANewFileAndReplacesAnOldOne) {
    const fs::path target = folder / "a.hex";
    EXPECT_EQ(replace_file(target, "first"), std::nullopt);
    EXPECT_EQ(read_whole(target), "first");
    EXPECT_EQ(replace_file(target, "second, longer"), std::nullopt);
    EXPECT_EQ(read_whole(target), "second, longer");
    expect_entries({"a.hex"});
    EXPECT_EQ(temporary_path_for(target), folder / ".a.hex.tmp");
}

TEST_F(ReplaceFileTest, ALeftoverTemporaryFileIsReplacedByTheNextSave) {
    const fs::path target = folder / "a.hex";
    write_plain(target, "old");
    write_plain(folder / ".a.hex.tmp", "half a file from a killed save");
    EXPECT_EQ(replace_file(target, "new"), std::nullopt);
    EXPECT_EQ(read_whole(target), "new");
    expect_entries({"a.hex"});
}

TEST_F(ReplaceFileTest, WritesThroughSymbolicLinksAlsoDanglingOnesOnlyWhereTheUserNamedThem) {
    fs::create_directories(folder / "real");
    write_plain(folder / "real" / "kept.hex", "old");
    fs::create_symlink("real/kept.hex", folder / "link.hex");
    fs::create_symlink(folder / "real" / "new.hex", folder / "dangling.hex");
    fs::create_symlink("link.hex", folder / "chain.hex");

    // The program's own files: every link refused, nothing written anywhere.
    for (const char* name : {"link.hex", "dangling.hex", "chain.hex"}) {
        EXPECT_EQ(replace_file(folder / name, "refused"), "It is a symbolic link") << name;
    }
    EXPECT_EQ(read_whole(folder / "real" / "kept.hex"), "old");
    EXPECT_FALSE(fs::exists(folder / "real" / "new.hex"));

    constexpr TargetLinks kThrough = TargetLinks::WrittenThrough;
    EXPECT_EQ(replace_file(folder / "link.hex", "through", kThrough), std::nullopt);
    EXPECT_TRUE(fs::is_symlink(folder / "link.hex"));
    EXPECT_EQ(read_whole(folder / "real" / "kept.hex"), "through");

    EXPECT_EQ(replace_file(folder / "dangling.hex", "created", kThrough), std::nullopt);
    EXPECT_TRUE(fs::is_symlink(folder / "dangling.hex"));
    EXPECT_EQ(read_whole(folder / "real" / "new.hex"), "created");

    EXPECT_EQ(replace_file(folder / "chain.hex", "two links", kThrough), std::nullopt);
    EXPECT_TRUE(fs::is_symlink(folder / "chain.hex"));
    EXPECT_EQ(read_whole(folder / "real" / "kept.hex"), "two links");
    expect_entries({"real", "link.hex", "dangling.hex", "chain.hex"});

    // Whatever stands at the temporary name that is no regular file is refused
    // on both kinds of target, and never followed.
    write_plain(folder / "victim", "precious");
    fs::create_symlink(folder / "victim", folder / "real" / ".kept.hex.tmp");
    fs::create_directories(folder / ".plain.hex.tmp");
    EXPECT_TRUE(replace_file(folder / "link.hex", "x", kThrough).has_value());
    EXPECT_TRUE(replace_file(folder / "plain.hex", "x").has_value());
    EXPECT_EQ(read_whole(folder / "victim"), "precious");
    EXPECT_EQ(read_whole(folder / "real" / "kept.hex"), "two links");
    EXPECT_FALSE(fs::exists(folder / "plain.hex"));
}

TEST_F(ReplaceFileTest, RefusesWhatItMustNotReplace) {
    const fs::path locked = folder / "locked.hex";
    write_plain(locked, "keep me");
    fs::permissions(locked, fs::perms::owner_read | fs::perms::group_read);
    EXPECT_EQ(replace_file(locked, "new"), "The file is read-only");
    EXPECT_EQ(read_whole(locked), "keep me");

    fs::create_directories(folder / "sub.hex");
    EXPECT_EQ(replace_file(folder / "sub.hex", "new"), "It is a folder");

    fs::create_symlink("loop-b", folder / "loop-a");
    fs::create_symlink("loop-a", folder / "loop-b");
    EXPECT_TRUE(replace_file(folder / "loop-a", "new").has_value());

    EXPECT_TRUE(replace_file(folder / "missing" / "a.hex", "new").has_value());
    expect_entries({"locked.hex", "sub.hex", "loop-a", "loop-b"});
}

TEST_F(ReplaceFileTest, KeepsThePermissionsOfTheOldFile) {
    const fs::path target = folder / "a.hex";
    write_plain(target, "old");
    fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(replace_file(target, "new"), std::nullopt);
    EXPECT_EQ(fs::status(target).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
}

TEST_F(ReplaceFileTest, NamesThatAreNotUtf8ReachTheFileSystemUnchanged) {
    const std::string name = "chip-\xff\xfe-\xe9.hex";
    EXPECT_EQ(replace_file(folder / name, "bytes"), std::nullopt);
    std::vector<std::string> found;
    for (const auto& entry : fs::directory_iterator(folder)) {
        found.push_back(entry.path().filename().native());
    }
    EXPECT_EQ(found, std::vector<std::string>{name});
}

// A save killed at any moment leaves the target whole: all of the old contents
// or all of the new, never a mixture or a shortened file.
TEST_F(ReplaceFileTest, KilledSavesLeaveTheWholeOldOrTheWholeNewFile) {
    const fs::path target = folder / "chip.hex";
    const std::string old_text(300000, 'o');
    const std::string new_text(200000, 'n');
    ASSERT_EQ(replace_file(target, old_text), std::nullopt);
    std::mt19937 random(12345);
    int saw_new = 0;
    for (int round = 0; round < 60; ++round) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            // Saves the two texts in turn until killed.
            for (unsigned n = 0;; ++n) {
                (void)replace_file(target, n % 2 == 0 ? new_text : old_text);
            }
        }
        std::this_thread::sleep_for(std::chrono::microseconds(random() % 20000));
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);
        const std::string now = read_whole(target);
        ASSERT_TRUE(now == old_text || now == new_text)
            << "round " << round << ": " << now.size() << " bytes";
        saw_new += now == new_text ? 1 : 0;
        ASSERT_EQ(replace_file(target, old_text), std::nullopt);
        ASSERT_FALSE(fs::exists(temporary_path_for(target))) << "round " << round;
    }
    expect_entries({"chip.hex"});
    RecordProperty("rounds_ending_with_the_new_file", saw_new);
}

}  // namespace
}  // namespace corvanel
