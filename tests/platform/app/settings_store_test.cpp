// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/app/settings_store.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariant>

#include <cstdint>
#include <limits>
#include <variant>
#include <vector>

namespace corvanel {
namespace {

class SettingsStoreTest : public ::testing::Test {
protected:
    // A folder below the temporary one that does not exist yet, as on a first
    // start where the user's configuration folder has no entry for the program.
    QString ini_file() const { return dir_.path() + "/config/Tavrelix Corvanel/settings.ini"; }

    // Reads the file directly, bypassing the store under test.
    QVariant raw(const QString& name) const {
        const QSettings file(ini_file(), QSettings::IniFormat);
        return file.value(name);
    }

    void write_raw(const QString& name, const QVariant& value) const {
        QSettings file(ini_file(), QSettings::IniFormat);
        file.setValue(name, value);
        file.sync();
    }

    QTemporaryDir dir_;
};

TEST_F(SettingsStoreTest, FirstStartStoresEachDefaultWhenRead) {
    const SettingsStore store(ini_file());
    const QString program_folder = "/opt/corvanel/";

    // The start-up reads, in the order the program makes them.
    struct Value {
        const char* name;
        std::variant<QString, std::int32_t> fallback;
    };
    const std::vector<Value> values = {
        {setting_names::color_theme, QString(setting_defaults::color_theme)},
        {setting_names::last_path, program_folder},
        {setting_names::microcontroller_model, QString(setting_defaults::microcontroller_model)},
        {setting_names::serial_port_number, std::int32_t{3}},
        {setting_names::serial_port_baud_rate, QString(setting_defaults::serial_port_baud_rate)},
        {setting_names::mouse_wheel_enabled, setting_defaults::mouse_wheel_enabled},
    };
    for (const auto& value : values) {
        ASSERT_FALSE(raw(value.name).isValid()) << value.name;
        if (const auto* text = std::get_if<QString>(&value.fallback)) {
            EXPECT_EQ(store.get_string(value.name, *text), *text) << value.name;
        } else {
            const std::int32_t number = std::get<std::int32_t>(value.fallback);
            EXPECT_EQ(store.get_number(value.name, number), number) << value.name;
        }
    }

    // All six now exist, each holding its default, and later reads with other
    // defaults give back what was stored.
    EXPECT_EQ(raw("Last Path").toString(), program_folder);
    EXPECT_EQ(raw("Microcontroller Model").toString(), "1");
    EXPECT_EQ(raw("Serial Port Number").toInt(), 3);
    EXPECT_EQ(raw("Serial Port Baud Rate").toString(), "56000");
    EXPECT_EQ(raw("Color Theme").toString(), "Original Lite");
    EXPECT_EQ(raw("Mouse Wheel Enabled").toInt(), 1);
    EXPECT_EQ(store.get_number("Serial Port Number", 2), 3);
    EXPECT_EQ(store.get_string("Color Theme", "Mono Dark"), "Original Lite");
}

TEST_F(SettingsStoreTest, PutValuesReplaceEarlierOnesAndSurviveANewStore) {
    const SettingsStore writer(ini_file());
    writer.put_string("Last Path", "/home/user/hex files/");
    writer.put_string("Last Path", "/home/user/other, with comma\\back/");
    writer.put_string("Color Theme", "");
    for (const std::int32_t number : {std::numeric_limits<std::int32_t>::min(), -1, 0,
                                      std::numeric_limits<std::int32_t>::max()}) {
        writer.put_number("Serial Port Number", number);
        EXPECT_EQ(SettingsStore(ini_file()).get_number("Serial Port Number", 2), number);
    }

    const SettingsStore reader(ini_file());
    EXPECT_EQ(reader.get_string("Last Path", "x"), "/home/user/other, with comma\\back/");
    // An empty text is a stored value, not a missing one.
    EXPECT_EQ(reader.get_string("Color Theme", "Original Lite"), "");
}

TEST_F(SettingsStoreTest, TextsLongerThan254CharactersAreReplacedByTheDefault) {
    const SettingsStore store(ini_file());
    const QString longest = "/" + QString(252, 'a') + "/";
    ASSERT_EQ(longest.size(), 254);
    store.put_string("Last Path", longest);
    EXPECT_EQ(store.get_string("Last Path", "/opt/corvanel/"), longest);

    const QString too_long = longest + "b";
    store.put_string("Last Path", too_long);
    EXPECT_EQ(store.get_string("Last Path", "/opt/corvanel/"), "/opt/corvanel/");
    EXPECT_EQ(raw("Last Path").toString(), "/opt/corvanel/");
}

TEST_F(SettingsStoreTest, UnreadableValuesAreReplacedByTheDefault) {
    const SettingsStore store(ini_file());
    struct Case {
        const char* stored;
        std::int32_t expected;
    };
    const std::vector<Case> cases = {
        {"7", 7},          {"-12", -12},      {"abc", 5}, {"", 5},
        {"4294967296", 5}, {"2147483648", 5}, {"1.5", 5},
    };
    for (const auto& c : cases) {
        write_raw("Serial Port Number", QString(c.stored));
        EXPECT_EQ(store.get_number("Serial Port Number", 5), c.expected) << c.stored;
        EXPECT_EQ(raw("Serial Port Number").toInt(), c.expected) << c.stored;
    }
}

TEST_F(SettingsStoreTest, EnsureKeyCreatesTheMissingFolder) {
    const SettingsStore store(ini_file());
    EXPECT_FALSE(QFileInfo::exists(dir_.path() + "/config"));
    store.ensure_key();
    EXPECT_TRUE(QFileInfo(ini_file()).dir().exists());
}

// A store that cannot be written (here its folder is a file, which stops root
// too) says so once; the values asked for are still answered.
TEST_F(SettingsStoreTest, AStoreThatCannotBeWrittenSaysSoOnce) {
    QFile blocker(dir_.path() + "/config");
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    SettingsStore store(ini_file());
    QStringList said;
    store.set_write_failure_handler([&](const QString& text) { said << text; });
    EXPECT_EQ(store.get_number("Serial Port Number", 2), 2);
    store.put_string("Last Path", "/tmp/");
    store.put_number("Fast Link", 1);
    ASSERT_EQ(said.size(), 1);
    EXPECT_EQ(said[0], "Settings cannot be kept: " + ini_file() + " cannot be written.");

    // A store that can be written says nothing.
    SettingsStore good(dir_.path() + "/other/settings.ini");
    good.set_write_failure_handler([&](const QString& text) { said << text; });
    good.put_number("Fast Link", 1);
    EXPECT_EQ(said.size(), 1);
}

#ifndef Q_OS_WIN
TEST_F(SettingsStoreTest, DefaultFileLivesInTheUsersConfigurationFolder) {
    const QByteArray saved = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", dir_.path().toUtf8());
    EXPECT_EQ(SettingsStore::config_folder(), dir_.path() + "/Tavrelix Corvanel");
    EXPECT_EQ(SettingsStore::default_settings_file(),
              dir_.path() + "/Tavrelix Corvanel/settings.ini");
    EXPECT_EQ(SettingsStore().location(), SettingsStore::default_settings_file());
    if (saved.isNull()) {
        qunsetenv("XDG_CONFIG_HOME");
    } else {
        qputenv("XDG_CONFIG_HOME", saved);
    }
}
#endif

TEST_F(SettingsStoreTest, InstalledStoreIsTheProgramWideOne) {
    SettingsStore mine(ini_file());
    SettingsStore* before = install_settings(&mine);
    EXPECT_EQ(&settings(), &mine);
    settings().put_number("Mouse Wheel Enabled", 0);
    EXPECT_EQ(raw("Mouse Wheel Enabled").toInt(), 0);
    EXPECT_EQ(install_settings(before), &mine);
    EXPECT_NE(&settings(), &mine);
}

}  // namespace
}  // namespace corvanel
