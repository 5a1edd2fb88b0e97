// SPDX-License-Identifier: GPL-3.0-or-later
// Colour themes: the table's fixed rows and rules, legibility of the designed
// themes, and how loadtheme reads and stores the "Color Theme" setting.

#include <gtest/gtest.h>

#include <QLabel>
#include <QSet>
#include <QSettings>
#include <QTemporaryDir>
#include <QTextEdit>

#include <cmath>
#include <memory>

#include "gui/dialogs/color_theme.h"
#include "gui/dialogs/message_box.h"
#include "platform/app/settings_store.h"
#include "support/qt_test_support.h"

namespace corvanel {
namespace {

struct Triple {
    int r, g, b;
};

bool is_original(const QString& name) {
    return name == "Original Lite" || name == "Original Dark";
}

class ThemeSettingsTest : public ::testing::Test {
protected:
    void SetUp() override { test::ensure_app(); }

    QVariant stored_theme() const {
        QSettings raw(settings_.file(), QSettings::IniFormat);
        return raw.value("Color Theme");
    }

    test::TemporarySettings settings_;
};

TEST(ColorThemeTable, GivenRowsAreExact) {
    // clang-format off
    const std::array<Triple, 15> lite{{
        {215, 230, 202}, {233, 233, 218}, {0, 0, 0}, {192, 255, 192}, {0, 0, 0},
        {224, 224, 224}, {0, 0, 0}, {255, 255, 255}, {0, 0, 0}, {255, 224, 192},
        {0, 0, 0}, {255, 192, 192}, {0, 0, 0}, {255, 255, 192}, {0, 0, 0}}};
    const std::array<Triple, 15> dark{{
        {128, 128, 128}, {128, 128, 128}, {0, 0, 0}, {192, 255, 192}, {0, 0, 0},
        {192, 192, 192}, {0, 0, 0}, {255, 255, 255}, {0, 0, 0}, {192, 192, 192},
        {0, 0, 0}, {128, 128, 128}, {0, 0, 0}, {255, 255, 192}, {0, 0, 0}}};
    const std::array<Triple, 15> mono{{
        {58, 58, 58}, {37, 37, 37}, {226, 226, 226}, {37, 37, 37}, {226, 226, 226},
        {239, 239, 239}, {0, 0, 0}, {0, 0, 0}, {255, 255, 255}, {100, 100, 100},
        {255, 255, 255}, {84, 84, 84}, {221, 221, 221}, {28, 28, 28}, {231, 231, 231}}};
    // clang-format on
    const std::pair<const char*, const std::array<Triple, 15>*> rows[] = {
        {"Original Lite", &lite}, {"Original Dark", &dark}, {"Mono Dark", &mono}};
    for (const auto& [name, expected] : rows) {
        const auto roles = theme_colors(name);
        ASSERT_TRUE(roles.has_value()) << name;
        for (int n = 1; n <= ColorRoles::role_count; ++n) {
            const Triple& t = (*expected)[static_cast<std::size_t>(n - 1)];
            EXPECT_EQ(*roles->role(n), QColor(t.r, t.g, t.b)) << name << " role " << n;
        }
    }
}

TEST(ColorThemeTable, NamesInLookupOrder) {
    const QStringList& names = theme_names();
    ASSERT_EQ(names.size(), kThemeCount);
    EXPECT_EQ(names.first(), "Amethyst");
    EXPECT_EQ(names.indexOf("Mono Dark"), 28);
    EXPECT_EQ(names.indexOf("Powerpuff!"), 33);
    EXPECT_EQ(names.indexOf("Owayke"), 34);
    EXPECT_EQ(names.at(43), "Winamp Old");
    EXPECT_EQ(names.at(44), "Original Dark");
    EXPECT_EQ(names.at(45), "Original Lite");
    EXPECT_EQ(QSet<QString>(names.begin(), names.end()).size(), kThemeCount);
}

TEST(ColorThemeTable, EveryRowKeepsTheRoleEqualities) {
    for (const QString& name : theme_names()) {
        const auto roles = theme_colors(name);
        ASSERT_TRUE(roles.has_value()) << name.toStdString();
        if (!is_original(name)) {
            EXPECT_EQ(roles->col_highlight_back, roles->col_caption_back) << name.toStdString();
        }
        EXPECT_EQ(roles->col_highlight_text, roles->col_caption_text) << name.toStdString();
        EXPECT_EQ(roles->col_model_text, QColor(0, 0, 0)) << name.toStdString();
    }
}

TEST(ColorThemeTable, EveryThemeIsDistinct) {
    const QStringList& names = theme_names();
    for (int i = 0; i < names.size(); ++i) {
        for (int j = i + 1; j < names.size(); ++j) {
            EXPECT_FALSE(*theme_colors(names[i]) == *theme_colors(names[j]))
                << names[i].toStdString() << " = " << names[j].toStdString();
        }
    }
}

// Every text role against the background it is drawn on, in every theme (the
// three classic rows included).
TEST(ColorThemeTable, EveryThemeIsLegible) {
    const std::pair<int, int> pairs[] = {{2, 3},   {4, 5},   {6, 7},  {8, 9},
                                         {10, 11}, {12, 13}, {14, 15}};
    int checked = 0;
    for (const QString& name : theme_names()) {
        ++checked;
        const auto roles = theme_colors(name);
        for (const auto& [back, text] : pairs) {
            EXPECT_GE(contrast_ratio(*roles->role(back), *roles->role(text)), 4.5)
                << name.toStdString() << " roles " << back << "/" << text;
        }
    }
    EXPECT_EQ(checked, kThemeCount);
}

// The choosers mark the chosen entry only by its background, so it must stand
// apart from the field colour of the others.
TEST(ColorThemeTable, ChosenEntryStandsApartFromTheOthers) {
    for (const QString& name : theme_names()) {
        const auto roles = theme_colors(name);
        const QColor& chosen = roles->col_highlight_back;
        const QColor& other = roles->col_field_back;
        const double distance =
            std::hypot(chosen.red() - other.red(), chosen.green() - other.green(),
                       chosen.blue() - other.blue());
        EXPECT_GE(distance, 60.0) << name.toStdString();
    }
}

TEST(ColorThemeTable, ContrastRatioMatchesTheFormula) {
    EXPECT_NEAR(contrast_ratio(Qt::black, Qt::white), 21.0, 1e-9);
    EXPECT_NEAR(contrast_ratio(Qt::white, Qt::black), 21.0, 1e-9);
    EXPECT_NEAR(contrast_ratio(QColor(119, 119, 119), Qt::white), 4.48, 0.01);
    EXPECT_NEAR(contrast_ratio(QColor(10, 20, 30), QColor(10, 20, 30)), 1.0, 1e-9);
}

TEST_F(ThemeSettingsTest, NoStoredThemeGivesOriginalLiteAndStoresIt) {
    loadtheme_named("Mono Dark");
    ASSERT_FALSE(stored_theme().isValid());
    loadtheme();
    EXPECT_EQ(stored_theme().toString(), "Original Lite");
    EXPECT_EQ(current_theme_name(), "Original Lite");
    EXPECT_EQ(colors(), *theme_colors("Original Lite"));
}

TEST_F(ThemeSettingsTest, StoredNamesPickTheirRow) {
    struct Case {
        const char* stored;
        const char* row;
    };
    const Case cases[] = {
        {"Mono Dark", "Mono Dark"},         {"Original Dark", "Original Dark"},
        {"Winamp Old", "Winamp Old"},       {"Powerpuff!", "Powerpuff!"},
        {"mono dark", "Original Lite"},     {"ORIGINAL DARK", "Original Lite"},
        {"Mono Dark ", "Original Lite"},    {"Haxb0x", "Original Lite"},
        {"No Such Theme", "Original Lite"}, {"Original Lite", "Original Lite"},
    };
    for (const Case& c : cases) {
        loadtheme_named("Amethyst");
        settings_.store().put_string("Color Theme", c.stored);
        loadtheme();
        EXPECT_EQ(colors(), *theme_colors(c.row)) << c.stored;
        EXPECT_EQ(current_theme_name(), c.stored);
        EXPECT_EQ(stored_theme().toString(), c.stored);
    }
}

TEST_F(ThemeSettingsTest, EmptyNameChangesNoRole) {
    loadtheme_named("Toxic");
    settings_.store().put_string("Color Theme", "");
    loadtheme();
    EXPECT_EQ(colors(), *theme_colors("Toxic"));
    EXPECT_EQ(current_theme_name(), "");
}

TEST_F(ThemeSettingsTest, MonoDarkMessageTextIsLightOnDark) {
    settings_.store().put_string("Color Theme", "Mono Dark");
    loadtheme();
    EXPECT_EQ(colors().col_prompt_text, QColor(231, 231, 231));
    EXPECT_EQ(colors().col_prompt_back, QColor(28, 28, 28));

    Form08 box;
    box.set_message("Chip verified.", 64, QString());
    const QPalette text = box.txt_title()->palette();
    EXPECT_EQ(text.color(QPalette::Base), QColor(28, 28, 28));
    EXPECT_EQ(text.color(QPalette::Text), QColor(231, 231, 231));
}

TEST(ThemeNotification, RegisteredWindowsRepaintUntilDestroyed) {
    test::ensure_app();
    int repaints = 0;
    auto window = std::make_unique<QLabel>();
    on_theme_changed(window.get(), [&] { ++repaints; });
    notify_theme_changed();
    EXPECT_EQ(repaints, 1);
    window.reset();
    notify_theme_changed();
    EXPECT_EQ(repaints, 1);
}

TEST(ThemePainting, PaintControlSetsBackgroundAndText) {
    test::ensure_app();
    QLabel label("Status");
    paint_control(&label, QColor(1, 2, 3), QColor(250, 251, 252));
    EXPECT_TRUE(label.autoFillBackground());
    EXPECT_EQ(label.palette().color(QPalette::Window), QColor(1, 2, 3));
    EXPECT_EQ(label.palette().color(QPalette::WindowText), QColor(250, 251, 252));
}

}  // namespace
}  // namespace corvanel
