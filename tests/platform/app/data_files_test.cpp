// SPDX-License-Identifier: GPL-3.0-or-later
// Where the device database is found: beside the program first, then in the
// installed data folder of the program's prefix.

#include "platform/app/data_files.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace corvanel {
namespace {

// A prefix laid out as an installation: <prefix>/bin and <prefix>/share/tavrelix-corvanel.
class DeviceDatabaseLookupTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        ASSERT_TRUE(QDir(dir_.path()).mkpath(QStringLiteral("usr/bin")));
        ASSERT_TRUE(QDir(dir_.path()).mkpath(QStringLiteral("usr/share/tavrelix-corvanel")));
    }
    QString bin() const { return dir_.path() + QStringLiteral("/usr/bin/"); }
    QString beside() const { return QDir::toNativeSeparators(bin() + kName); }
    QString in_data() const {
        return QDir::toNativeSeparators(dir_.path() +
                                        QStringLiteral("/usr/share/tavrelix-corvanel/") + kName);
    }
    static void write(const QString& path) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("model: PIC16F84A\r\n");
    }

    static inline const QString kName = QStringLiteral("corvaneldevices.txt");
    QTemporaryDir dir_;
};

TEST_F(DeviceDatabaseLookupTest, BesideTheProgramComesBeforeTheDataFolder) {
    const struct {
        const char* what;
        bool beside;
        bool data;
        bool found;
        bool path_is_beside;
    } cases[] = {
        {"in both: the copy beside the program", true, true, true, true},
        {"only beside the program (build tree, portable copy)", true, false, true, true},
        {"only in the data folder (installed)", false, true, true, false},
        {"in neither: the place beside the program, not found", false, false, false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        QFile::remove(beside());
        QFile::remove(in_data());
        if (c.beside) {
            write(beside());
        }
        if (c.data) {
            write(in_data());
        }
        const DeviceDatabaseLookup lookup = find_device_database(bin());
        EXPECT_EQ(lookup.found, c.found);
        EXPECT_EQ(lookup.path, c.path_is_beside ? beside() : in_data());
        EXPECT_EQ(lookup.places, QStringList({beside(), in_data()}));
    }
}

TEST_F(DeviceDatabaseLookupTest, AFolderNamedLikeTheFileIsNoDatabase) {
    ASSERT_TRUE(QDir(bin()).mkdir(kName));
    write(in_data());
    const DeviceDatabaseLookup lookup = find_device_database(bin());
    EXPECT_TRUE(lookup.found);
    EXPECT_EQ(lookup.path, in_data());
}

TEST_F(DeviceDatabaseLookupTest, ProgramFolderWithoutSeparatorOrWithNativeOnes) {
    write(in_data());
    QString folder = dir_.path() + QStringLiteral("/usr/bin");
    EXPECT_EQ(find_device_database(folder).path, in_data());
    folder = QDir::toNativeSeparators(folder) + QDir::separator();
    EXPECT_EQ(find_device_database(folder).path, in_data());
}

TEST_F(DeviceDatabaseLookupTest, MissingTextNamesBothPlaces) {
    const DeviceDatabaseLookup lookup = find_device_database(bin());
    ASSERT_FALSE(lookup.found);
    const QString text = device_database_missing_text(lookup);
    EXPECT_TRUE(text.contains(beside())) << text.toStdString();
    EXPECT_TRUE(text.contains(in_data())) << text.toStdString();
    EXPECT_LT(text.indexOf(beside()), text.indexOf(in_data())) << "in the order they are tried";
}

TEST(InstalledDataFolder, IsTheDataFolderOfTheProgramsPrefix) {
    const QString sep = QDir::separator();
    const auto native = [](const char* path) {
        return QDir::toNativeSeparators(QString::fromLatin1(path));
    };
    EXPECT_EQ(installed_data_folder(QStringLiteral("/usr/bin/")),
              native("/usr/share/tavrelix-corvanel/"));
    EXPECT_EQ(installed_data_folder(QStringLiteral("/opt/pic/bin")),
              native("/opt/pic/share/tavrelix-corvanel/"));
    EXPECT_TRUE(installed_data_folder(QStringLiteral("/usr/local/bin/")).endsWith(sep));
}

}  // namespace
}  // namespace corvanel
