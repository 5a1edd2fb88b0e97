// SPDX-License-Identifier: GPL-3.0-or-later
// The board server's COMn link: made in a ports folder created on the way, and
// a folder that cannot be made is named as the reason (not the link's "No such
// file or directory").

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "board/server/port_registration.h"

namespace corvanel::board_server {
namespace {

namespace fs = std::filesystem;

TEST(PortRegistration, MakesTheLinkOrNamesTheFolderItCannotMake) {
    const fs::path root =
        fs::temp_directory_path() / ("corvanel-register-" + std::to_string(::getpid()));
    fs::remove_all(root);
    fs::create_directories(root);

    const fs::path link = root / "config" / "ports" / "COM7";
    ASSERT_TRUE(register_port(link, "/dev/pts/99"));
    EXPECT_EQ(fs::read_symlink(link), "/dev/pts/99");
    unregister_port(link, "/dev/pts/99");
    EXPECT_FALSE(fs::is_symlink(fs::symlink_status(link)));

    // The configuration folder is a file: not even root can make the folder.
    std::ofstream(root / "blocked") << "a file";
    const fs::path blocked = root / "blocked" / "ports" / "COM7";
    testing::internal::CaptureStderr();
    EXPECT_FALSE(register_port(blocked, "/dev/pts/99"));
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("cannot create the folder"), std::string::npos) << said;
    EXPECT_NE(said.find((root / "blocked" / "ports").string()), std::string::npos) << said;
    EXPECT_EQ(said.find("No such file or directory"), std::string::npos) << said;
    fs::remove_all(root);
}

}  // namespace
}  // namespace corvanel::board_server
