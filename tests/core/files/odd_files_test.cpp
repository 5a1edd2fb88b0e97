// SPDX-License-Identifier: GPL-3.0-or-later
// Things in the file system that are not regular files, and one too large to
// be an input: the program neither reads them (a FIFO would block it, a device
// would never end) nor replaces them with a file of its own.

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>

#include "core/files/read_file.h"
#include "core/files/replace_file.h"
#include "core/image/intel_hex_reader.h"

namespace corvanel {
namespace {

namespace fs = std::filesystem;

struct OddEntry {
    const char* name;
    // Makes the entry at the path; false when this system does not let us.
    std::function<bool(const fs::path&)> make;
    fs::file_type type;
    const char* read_reason;
    const char* replace_reason;  // nullptr: the entry may be replaced
};

TEST(OddFiles, AreNeitherReadNorReplaced) {
    const fs::path folder =
        fs::temp_directory_path() / ("corvanel-odd-files-" + std::to_string(::getpid()));
    fs::remove_all(folder);
    fs::create_directories(folder);
    const OddEntry entries[] = {
        {"fifo", [](const fs::path& p) { return ::mkfifo(p.c_str(), 0666) == 0; },
         fs::file_type::fifo, "It is not a regular file", "It is not a regular file"},
        // A twin of /dev/null and of /dev/zero: only root may make them.
        {"null-node",
         [](const fs::path& p) { return ::mknod(p.c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0; },
         fs::file_type::character, "It is not a regular file", "It is not a regular file"},
        {"zero-node",
         [](const fs::path& p) { return ::mknod(p.c_str(), S_IFCHR | 0666, makedev(1, 5)) == 0; },
         fs::file_type::character, "It is not a regular file", "It is not a regular file"},
        {"folder", [](const fs::path& p) { return fs::create_directory(p); },
         fs::file_type::directory, "It is a folder", "It is a folder"},
        // Sparse: takes no room on the disk.
        {"huge.hex",
         [](const fs::path& p) {
             std::FILE* f = std::fopen(p.c_str(), "wb");
             if (f != nullptr) {
                 std::fclose(f);
             }
             fs::resize_file(p, kMaxInputFileBytes + 1);
             return true;
         },
         fs::file_type::regular, "It is larger than 64 MiB", nullptr},
    };
    for (const OddEntry& entry : entries) {
        SCOPED_TRACE(entry.name);
        const fs::path path = folder / entry.name;
        if (!entry.make(path)) {
            std::printf("(skipped %s: cannot be made here)\n", entry.name);
            continue;
        }
        const FileReadResult read = read_input_file(path.string());
        EXPECT_FALSE(read.ok);
        EXPECT_EQ(read.error, entry.read_reason);

        MemoryImage image;
        image.flash_size = 64;
        image.eeprom_size = 64;
        image.clear_image();
        const HexOpenReport report = open_hex_file(path.string(), image);
        EXPECT_FALSE(report.loaded);
        ASSERT_EQ(report.messages.size(), 1U);
        EXPECT_NE(report.messages[0].text.find(entry.read_reason), std::string::npos)
            << report.messages[0].text;

        // Written through a link the user named too: the link's end is what
        // would be replaced.
        const fs::path link = folder / (std::string(entry.name) + ".link");
        fs::create_symlink(path, link);
        for (const fs::path& target : {path, link}) {
            const auto refused = replace_file(target, ":00000001FF\n", TargetLinks::WrittenThrough);
            if (entry.replace_reason == nullptr) {
                EXPECT_EQ(refused, std::nullopt);
            } else {
                EXPECT_EQ(refused, entry.replace_reason);
                EXPECT_EQ(fs::symlink_status(path).type(), entry.type);
            }
        }
        EXPECT_TRUE(fs::is_symlink(link));
    }
    for (const auto& left : fs::directory_iterator(folder)) {
        EXPECT_EQ(left.path().filename().string().find(".tmp"), std::string::npos) << left.path();
    }
    fs::remove_all(folder);
}

}  // namespace
}  // namespace corvanel
