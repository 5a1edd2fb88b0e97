// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/devices/model_fit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>

#include "core/devices/model_application.h"
#include "core/image/hex_text.h"
#include "support/shipped_database.h"

namespace corvanel {
namespace {

int model_number(const DeviceDatabase& database, const std::string& name) {
    for (int n = 1; n <= database.model_count(); ++n) {
        if (database.model(n).name == name) {
            return n;
        }
    }
    return 0;
}

std::string file_text(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

HexOpenReport open_for(const DeviceDatabase& database, const std::string& model,
                       const std::string& bytes) {
    ActiveModel active;
    MemoryImage image;
    EXPECT_TRUE(apply_model(database, model_number(database, model), active, image)) << model;
    HexOpenReport report = open_hex_text(bytes, "x.hex", image);
    add_model_fit_text(database, model_number(database, model), report);
    return report;
}

TEST(ModelFit, TheWarningNamesTheHighestAddressAndTheModelsThatHoldTheFile) {
    const DeviceDatabase& database = test::shipped_database();
    ASSERT_GT(database.model_count(), 0);
    // An assembler's file for a 16F1938 (16K words, configuration at 8007h,
    // EEPROM at F000h) opened as a 16F628A.
    const std::string big = file_text(CORVANEL_TEST_DATA "/enhanced/hex_16f1938.hex");
    const HexOpenReport report = open_for(database, "PIC16F628A", big);
    ASSERT_TRUE(report.loaded);
    ASSERT_FALSE(report.messages.empty());
    const std::string& warning = report.messages.back().text;
    EXPECT_NE(warning.find("addresses out of range:"), std::string::npos) << warning;
    EXPECT_NE(warning.find("\r\nThe file's highest address is F008h: it was built for a larger "
                           "chip than PIC16F628A.\r\nModels that hold the whole file: PIC16F1938,"),
              std::string::npos)
        << warning;
    EXPECT_EQ(warning.substr(warning.size() - 2), "\r\n");  // the window appends its question
    const std::vector<int> fits = models_holding(database, report.ranges);
    EXPECT_NE(std::find(fits.begin(), fits.end(), model_number(database, "PIC16F1938")),
              fits.end());
    EXPECT_EQ(std::find(fits.begin(), fits.end(), model_number(database, "PIC16F1847")),
              fits.end());  // 8K words: the file's 3FFFh is beyond it

    // The file in its own model: no warning, nothing added.
    EXPECT_TRUE(open_for(database, "PIC16F1938", big).messages.empty());

    // A classic file in an 8K enhanced model: its configuration word at 2007h
    // lies outside the enhanced map, and the 2K 16F628A holds the file: the
    // chip is another, not a larger one.
    const std::string classic = file_text(CORVANEL_TEST_DATA "/hex_16f628a.hex");
    const HexOpenReport in_enhanced = open_for(database, "PIC16F1847", classic);
    ASSERT_FALSE(in_enhanced.messages.empty());
    const std::string& other = in_enhanced.messages.back().text;
    EXPECT_NE(other.find("it was built for another chip than PIC16F1847.\r\nModels that hold"),
              std::string::npos)
        << other;
    EXPECT_NE(other.find("PIC16F628A"), std::string::npos) << other;

    // Data no model has a place for.
    const std::string nowhere = ":020000040010EA\r\n:020000000528D1\r\n:00000001FF\r\n";
    const HexOpenReport far = open_for(database, "PIC16F628A", nowhere);
    ASSERT_FALSE(far.messages.empty());
    const std::string& none = far.messages.back().text;
    EXPECT_NE(none.find("highest address is 80000h"), std::string::npos) << none;
    EXPECT_NE(none.find("No model of the device database holds the whole file."), std::string::npos)
        << none;
}

}  // namespace
}  // namespace corvanel
