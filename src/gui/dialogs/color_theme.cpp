// SPDX-License-Identifier: GPL-3.0-or-later
// Colour themes and the program-wide colour roles.

#include "gui/dialogs/color_theme.h"

#include <QApplication>
#include <QPalette>
#include <QWidget>

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "platform/app/settings_store.h"

namespace corvanel {
namespace {

struct Rgb {
    std::uint8_t r;
    std::uint8_t g;
    std::uint8_t b;
};

using RoleRow = std::array<Rgb, ColorRoles::role_count>;

struct ThemeRow {
    const char* name;
    RoleRow roles;
};

constexpr Rgb kBlack{0, 0, 0};

// A row written out role by role (the three rows the program always had).
constexpr ThemeRow given(const char* name, const RoleRow& roles) {
    return {name, roles};
}

// A designed theme. The highlighted items share the caption colours, and the
// model caption always carries black text, so those three roles are not free.
constexpr ThemeRow designed(const char* name, Rgb window, Rgb caption_back, Rgb caption_text,
                            Rgb model_back, Rgb field_back, Rgb field_text, Rgb memory_back,
                            Rgb memory_text, Rgb status_back, Rgb status_text, Rgb prompt_back,
                            Rgb prompt_text) {
    return {name,
            {window, caption_back, caption_text, caption_back, caption_text, model_back, kBlack,
             field_back, field_text, memory_back, memory_text, status_back, status_text,
             prompt_back, prompt_text}};
}

// In lookup order; "Original Lite" last, as the row every unknown name falls back to.
// Every text role is at least 4.5 : 1 against its background ("Mono Dark" once
// had 3.1 : 1 on its memory captions and 3.5 : 1 on the model name: darkened).
// clang-format off
constexpr std::array<ThemeRow, kThemeCount> kThemes{{
    designed("Amethyst", {153, 102, 204}, {200, 160, 240}, {40, 0, 70}, {200, 170, 230}, {250, 245, 255}, {50, 0, 80}, {120, 70, 170}, {255, 255, 255}, {90, 40, 130}, {240, 225, 255}, {235, 220, 250}, {60, 20, 100}),
    designed("Arctica", {200, 225, 240}, {170, 215, 245}, {10, 40, 70}, {210, 235, 250}, {255, 255, 255}, {0, 30, 60}, {120, 170, 210}, {0, 0, 0}, {30, 80, 130}, {230, 245, 255}, {225, 240, 250}, {0, 50, 90}),
    designed("Baby Jeans", {150, 180, 215}, {180, 205, 240}, {20, 40, 90}, {190, 210, 235}, {245, 248, 255}, {10, 30, 80}, {70, 105, 160}, {255, 255, 255}, {40, 70, 120}, {235, 240, 255}, {230, 238, 250}, {30, 50, 100}),
    designed("Bitter Lemon", {220, 230, 90}, {230, 240, 110}, {60, 70, 0}, {240, 245, 150}, {255, 255, 230}, {40, 50, 0}, {170, 190, 30}, {0, 0, 0}, {90, 100, 10}, {255, 255, 200}, {255, 255, 170}, {50, 60, 0}),
    designed("Bloods", {110, 10, 10}, {120, 0, 0}, {255, 200, 200}, {220, 120, 120}, {30, 0, 0}, {255, 220, 220}, {150, 20, 20}, {255, 255, 255}, {90, 0, 0}, {255, 180, 180}, {40, 5, 5}, {255, 230, 230}),
    designed("Blue Martini", {40, 60, 120}, {40, 60, 130}, {200, 230, 255}, {120, 170, 230}, {10, 15, 40}, {200, 230, 255}, {60, 100, 180}, {255, 255, 255}, {0, 40, 90}, {160, 230, 255}, {25, 35, 80}, {220, 240, 255}),
    designed("Blueberry", {70, 80, 160}, {210, 215, 245}, {20, 20, 80}, {160, 170, 230}, {255, 255, 255}, {20, 20, 90}, {50, 60, 140}, {230, 235, 255}, {30, 35, 100}, {200, 210, 255}, {220, 225, 255}, {30, 30, 110}),
    designed("Blueberry And Cream", {245, 240, 220}, {80, 90, 170}, {255, 250, 230}, {200, 205, 240}, {255, 252, 240}, {40, 40, 110}, {240, 230, 200}, {40, 40, 120}, {60, 70, 150}, {255, 245, 220}, {255, 248, 225}, {50, 50, 130}),
    designed("Blues", {0, 90, 170}, {0, 50, 110}, {200, 230, 255}, {100, 170, 235}, {230, 240, 255}, {0, 40, 100}, {0, 70, 150}, {255, 255, 255}, {0, 40, 90}, {170, 210, 255}, {200, 225, 250}, {0, 30, 80}),
    designed("Bricks Set", {170, 80, 50}, {230, 200, 180}, {80, 30, 10}, {210, 150, 120}, {250, 240, 230}, {90, 30, 10}, {140, 60, 40}, {255, 240, 230}, {100, 40, 20}, {255, 220, 200}, {240, 220, 200}, {100, 40, 20}),
    designed("Bubble Gum", {255, 170, 210}, {255, 180, 220}, {120, 0, 70}, {255, 190, 225}, {255, 245, 250}, {120, 0, 70}, {230, 90, 160}, {0, 0, 0}, {190, 40, 120}, {255, 255, 255}, {255, 210, 235}, {110, 0, 60}),
    designed("Bullfrog", {90, 110, 50}, {200, 210, 160}, {30, 40, 10}, {160, 180, 100}, {235, 240, 215}, {30, 45, 10}, {60, 80, 30}, {220, 240, 180}, {40, 55, 20}, {200, 230, 150}, {215, 225, 185}, {40, 50, 15}),
    designed("Citrus", {255, 165, 0}, {255, 215, 140}, {120, 50, 0}, {255, 200, 80}, {255, 250, 235}, {110, 45, 0}, {255, 140, 0}, {0, 0, 0}, {170, 70, 0}, {255, 255, 255}, {255, 240, 150}, {100, 50, 0}),
    designed("City Night", {25, 25, 45}, {45, 45, 80}, {255, 210, 90}, {150, 150, 190}, {10, 10, 25}, {255, 230, 150}, {60, 60, 100}, {255, 255, 200}, {35, 35, 60}, {120, 200, 255}, {20, 20, 40}, {250, 220, 120}),
    designed("Clover", {60, 150, 60}, {180, 230, 165}, {0, 60, 0}, {150, 215, 140}, {245, 255, 240}, {0, 60, 0}, {30, 110, 40}, {230, 255, 230}, {20, 80, 30}, {200, 255, 200}, {225, 250, 215}, {10, 80, 10}),
    designed("Coagulated", {80, 25, 20}, {130, 40, 35}, {255, 215, 200}, {180, 110, 100}, {45, 15, 10}, {240, 200, 190}, {100, 30, 25}, {255, 230, 220}, {60, 20, 15}, {230, 170, 160}, {35, 10, 8}, {250, 210, 200}),
    designed("Copper", {184, 115, 51}, {240, 210, 180}, {90, 45, 10}, {220, 160, 110}, {255, 245, 235}, {100, 50, 15}, {140, 80, 35}, {255, 240, 225}, {110, 60, 25}, {255, 225, 190}, {250, 225, 200}, {110, 55, 20}),
    designed("Donatello", {100, 60, 150}, {120, 190, 60}, {0, 0, 0}, {170, 140, 210}, {235, 250, 220}, {60, 30, 100}, {70, 40, 110}, {200, 255, 150}, {50, 100, 25}, {255, 255, 255}, {220, 240, 200}, {70, 40, 110}),
    designed("Dymunds", {180, 200, 210}, {190, 225, 240}, {20, 60, 80}, {200, 230, 240}, {255, 255, 255}, {0, 70, 90}, {100, 150, 170}, {0, 0, 0}, {40, 80, 100}, {220, 250, 255}, {230, 250, 255}, {0, 60, 80}),
    designed("Emerald City", {0, 120, 80}, {180, 235, 210}, {0, 70, 45}, {100, 200, 150}, {230, 255, 245}, {0, 80, 50}, {0, 90, 60}, {200, 255, 225}, {0, 60, 40}, {150, 240, 190}, {200, 245, 225}, {0, 70, 40}),
    designed("Fort Knox", {120, 100, 40}, {100, 80, 10}, {255, 215, 0}, {210, 180, 80}, {25, 20, 10}, {255, 225, 120}, {90, 75, 25}, {255, 240, 180}, {60, 50, 20}, {255, 200, 60}, {35, 30, 12}, {255, 230, 140}),
    designed("Gold Rush", {218, 165, 32}, {255, 225, 130}, {100, 60, 0}, {240, 200, 90}, {255, 250, 225}, {90, 55, 0}, {180, 130, 20}, {0, 0, 0}, {120, 80, 5}, {255, 250, 220}, {255, 235, 160}, {90, 50, 0}),
    designed("Grapefruit", {250, 130, 110}, {255, 200, 185}, {140, 30, 20}, {255, 180, 160}, {255, 248, 244}, {140, 30, 20}, {230, 90, 80}, {0, 0, 0}, {170, 45, 35}, {255, 240, 235}, {255, 230, 220}, {130, 25, 15}),
    designed("Grapes", {90, 40, 100}, {190, 150, 200}, {40, 0, 50}, {190, 160, 210}, {245, 235, 250}, {70, 20, 80}, {110, 160, 60}, {0, 0, 0}, {60, 20, 70}, {220, 190, 230}, {230, 215, 240}, {60, 10, 70}),
    designed("Halloween", {30, 30, 30}, {255, 117, 24}, {0, 0, 0}, {255, 150, 60}, {0, 0, 0}, {255, 140, 40}, {80, 40, 10}, {255, 190, 120}, {110, 50, 140}, {255, 255, 255}, {15, 15, 15}, {255, 160, 60}),
    designed("HaXb0x", {0, 0, 0}, {0, 70, 0}, {0, 255, 0}, {0, 200, 0}, {0, 0, 0}, {0, 230, 0}, {0, 30, 0}, {120, 255, 120}, {0, 20, 0}, {0, 200, 0}, {10, 10, 10}, {0, 255, 70}),
    designed("Jeans", {50, 80, 130}, {180, 200, 225}, {20, 35, 70}, {140, 165, 200}, {235, 240, 250}, {25, 45, 85}, {35, 60, 105}, {220, 230, 245}, {25, 45, 80}, {240, 200, 120}, {205, 215, 235}, {30, 50, 90}),
    designed("Love Machine", {200, 30, 80}, {255, 180, 205}, {120, 0, 40}, {255, 150, 180}, {255, 240, 245}, {150, 0, 50}, {150, 0, 50}, {255, 220, 230}, {100, 0, 35}, {255, 170, 200}, {255, 220, 232}, {130, 0, 45}),
    given("Mono Dark", {{{58, 58, 58}, {37, 37, 37}, {226, 226, 226}, {37, 37, 37}, {226, 226, 226}, {239, 239, 239}, {0, 0, 0}, {0, 0, 0}, {255, 255, 255}, {100, 100, 100}, {255, 255, 255}, {84, 84, 84}, {221, 221, 221}, {28, 28, 28}, {231, 231, 231}}}),
    designed("Mono Lite", {225, 225, 225}, {200, 200, 200}, {20, 20, 20}, {235, 235, 235}, {255, 255, 255}, {0, 0, 0}, {190, 190, 190}, {0, 0, 0}, {110, 110, 110}, {255, 255, 255}, {240, 240, 240}, {20, 20, 20}),
    designed("Night Vision", {10, 30, 10}, {40, 95, 40}, {170, 255, 170}, {110, 200, 110}, {0, 15, 0}, {120, 255, 120}, {30, 80, 30}, {220, 255, 220}, {5, 40, 5}, {80, 230, 80}, {0, 20, 0}, {150, 255, 150}),
    designed("Peachy", {255, 203, 164}, {255, 205, 170}, {110, 40, 10}, {255, 218, 185}, {255, 250, 245}, {110, 45, 20}, {240, 150, 110}, {0, 0, 0}, {160, 80, 50}, {255, 255, 255}, {255, 228, 200}, {110, 50, 25}),
    designed("Popcorn", {255, 245, 200}, {200, 30, 30}, {255, 255, 255}, {255, 230, 140}, {255, 253, 240}, {150, 20, 20}, {255, 220, 100}, {90, 40, 0}, {170, 20, 20}, {255, 240, 200}, {255, 248, 215}, {140, 20, 20}),
    designed("Powerpuff!", {255, 130, 200}, {120, 200, 255}, {0, 0, 0}, {140, 230, 140}, {255, 240, 250}, {170, 0, 100}, {255, 90, 170}, {0, 0, 0}, {200, 0, 120}, {255, 255, 255}, {255, 220, 240}, {150, 0, 90}),
    designed("Owayke", {0, 128, 128}, {170, 225, 225}, {0, 70, 70}, {120, 210, 210}, {240, 255, 255}, {0, 80, 80}, {255, 160, 80}, {0, 0, 0}, {0, 90, 90}, {255, 220, 180}, {220, 245, 245}, {0, 70, 70}),
    designed("Rain Forest", {34, 85, 51}, {150, 200, 150}, {0, 30, 0}, {120, 180, 110}, {220, 240, 215}, {10, 50, 20}, {20, 60, 35}, {190, 240, 200}, {60, 40, 20}, {210, 240, 190}, {200, 230, 195}, {20, 60, 25}),
    designed("Raspberry Club", {135, 38, 87}, {240, 190, 215}, {100, 0, 50}, {225, 140, 180}, {255, 240, 248}, {120, 10, 60}, {100, 20, 60}, {255, 210, 235}, {70, 10, 40}, {255, 180, 220}, {250, 220, 235}, {110, 10, 55}),
    designed("Rosemary", {140, 160, 130}, {200, 215, 185}, {45, 65, 35}, {190, 205, 175}, {248, 250, 244}, {45, 65, 35}, {90, 110, 80}, {255, 255, 255}, {110, 90, 140}, {255, 255, 255}, {230, 235, 220}, {50, 70, 40}),
    designed("Sunflower", {255, 200, 0}, {255, 225, 100}, {90, 50, 0}, {255, 220, 60}, {255, 252, 225}, {80, 45, 0}, {110, 70, 20}, {255, 230, 120}, {60, 40, 10}, {255, 210, 50}, {255, 235, 130}, {80, 45, 0}),
    designed("Toxic", {40, 45, 20}, {170, 255, 0}, {0, 0, 0}, {190, 255, 60}, {20, 25, 5}, {190, 255, 60}, {80, 100, 0}, {230, 255, 180}, {50, 60, 0}, {200, 255, 0}, {15, 20, 0}, {220, 255, 120}),
    designed("Uranium", {60, 80, 30}, {210, 255, 80}, {30, 40, 0}, {180, 230, 60}, {30, 40, 10}, {220, 255, 90}, {40, 55, 15}, {200, 255, 100}, {80, 110, 15}, {255, 255, 255}, {240, 255, 190}, {40, 60, 0}),
    designed("Varsity", {120, 0, 30}, {255, 200, 50}, {80, 0, 20}, {255, 210, 90}, {255, 248, 225}, {110, 0, 30}, {90, 0, 25}, {255, 210, 80}, {60, 0, 15}, {255, 225, 150}, {255, 235, 180}, {100, 0, 25}),
    designed("Winamp New", {40, 40, 55}, {60, 60, 80}, {0, 230, 255}, {160, 170, 190}, {20, 20, 30}, {0, 255, 120}, {50, 50, 70}, {230, 230, 240}, {30, 30, 45}, {250, 200, 60}, {25, 25, 35}, {200, 220, 255}),
    designed("Winamp Old", {60, 60, 80}, {40, 40, 60}, {0, 230, 0}, {190, 190, 200}, {0, 0, 0}, {0, 255, 0}, {80, 80, 110}, {255, 255, 255}, {20, 20, 30}, {230, 200, 80}, {10, 10, 20}, {170, 170, 255}),
    given("Original Dark", {{{128, 128, 128}, {128, 128, 128}, {0, 0, 0}, {192, 255, 192}, {0, 0, 0}, {192, 192, 192}, {0, 0, 0}, {255, 255, 255}, {0, 0, 0}, {192, 192, 192}, {0, 0, 0}, {128, 128, 128}, {0, 0, 0}, {255, 255, 192}, {0, 0, 0}}}),
    given("Original Lite", {{{215, 230, 202}, {233, 233, 218}, {0, 0, 0}, {192, 255, 192}, {0, 0, 0}, {224, 224, 224}, {0, 0, 0}, {255, 255, 255}, {0, 0, 0}, {255, 224, 192}, {0, 0, 0}, {255, 192, 192}, {0, 0, 0}, {255, 255, 192}, {0, 0, 0}}}),
}};
// clang-format on

constexpr std::size_t kOriginalLiteRow = kThemeCount - 1;

ColorRoles roles_of(const ThemeRow& row) {
    ColorRoles roles;
    for (int n = 1; n <= ColorRoles::role_count; ++n) {
        const Rgb& c = row.roles[static_cast<std::size_t>(n - 1)];
        *roles.role(n) = QColor(c.r, c.g, c.b);
    }
    return roles;
}

const ThemeRow* find_row(const QString& name) {
    for (const ThemeRow& row : kThemes) {
        if (name == QLatin1String(row.name)) {
            return &row;
        }
    }
    return nullptr;
}

struct ThemeState {
    ColorRoles roles;
    QString name;
    bool applied = false;  // a theme row has been applied in this run
};

ThemeState& theme_state() {
    static ThemeState state;
    return state;
}

double linear_channel(int value) {
    const double c = value / 255.0;
    return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

double relative_luminance(const QColor& color) {
    return 0.2126 * linear_channel(color.red()) + 0.7152 * linear_channel(color.green()) +
           0.0722 * linear_channel(color.blue());
}

}  // namespace

QColor* ColorRoles::role(int number) {
    return const_cast<QColor*>(static_cast<const ColorRoles*>(this)->role(number));
}

const QColor* ColorRoles::role(int number) const {
    const std::array<const QColor*, role_count> all{
        &col_window,         &col_caption_back, &col_caption_text, &col_highlight_back,
        &col_highlight_text, &col_model_back,   &col_model_text,   &col_field_back,
        &col_field_text,     &col_memory_back,  &col_memory_text,  &col_status_back,
        &col_status_text,    &col_prompt_back,  &col_prompt_text};
    if (number < 1 || number > role_count) {
        return nullptr;
    }
    return all[static_cast<std::size_t>(number - 1)];
}

bool operator==(const ColorRoles& a, const ColorRoles& b) {
    for (int n = 1; n <= ColorRoles::role_count; ++n) {
        if (*a.role(n) != *b.role(n)) {
            return false;
        }
    }
    return true;
}

const QStringList& theme_names() {
    static const QStringList names = [] {
        QStringList list;
        for (const ThemeRow& row : kThemes) {
            list.append(QString::fromLatin1(row.name));
        }
        return list;
    }();
    return names;
}

std::optional<ColorRoles> theme_colors(const QString& name) {
    if (const ThemeRow* row = find_row(name)) {
        return roles_of(*row);
    }
    return std::nullopt;
}

ColorRoles& colors() {
    return theme_state().roles;
}

const QString& current_theme_name() {
    return theme_state().name;
}

void set_current_theme_name(const QString& name) {
    theme_state().name = name;
}

void loadtheme_named(const QString& name) {
    ThemeState& state = theme_state();
    state.name = name;
    if (name.isEmpty() && state.applied) {
        return;
    }
    const ThemeRow* row = find_row(name);
    state.roles = roles_of(row != nullptr ? *row : kThemes[kOriginalLiteRow]);
    state.applied = true;
}

void loadtheme() {
    loadtheme_named(settings().get_string(QString::fromLatin1(setting_names::color_theme),
                                          QString::fromLatin1(kDefaultThemeName)));
}

bool theme_loaded() {
    return theme_state().applied;
}

ColorRoles dialog_colors() {
    if (theme_state().applied) {
        return theme_state().roles;
    }
    return roles_of(kThemes[kOriginalLiteRow]);
}

void unload_theme() {
    theme_state() = ThemeState{};
}

ThemeNotifier& theme_notifier() {
    static ThemeNotifier notifier;
    return notifier;
}

void on_theme_changed(QObject* receiver, std::function<void()> repaint) {
    QObject::connect(&theme_notifier(), &ThemeNotifier::theme_changed, receiver,
                     [repaint = std::move(repaint)] { repaint(); });
}

void notify_theme_changed() {
    emit theme_notifier().theme_changed();
}

void paint_control(QWidget* control, const QColor& back, const QColor& text) {
    if (control == nullptr) {
        return;
    }
    QPalette palette = control->palette();
    for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        palette.setColor(group, QPalette::Window, back);
        palette.setColor(group, QPalette::Base, back);
        palette.setColor(group, QPalette::WindowText, text);
        palette.setColor(group, QPalette::Text, text);
    }
    control->setAutoFillBackground(true);
    control->setPalette(palette);
}

void paint_background(QWidget* widget, const QColor& back) {
    if (widget == nullptr) {
        return;
    }
    QPalette palette = widget->palette();
    for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        palette.setColor(group, QPalette::Window, back);
    }
    widget->setAutoFillBackground(true);
    widget->setPalette(palette);
}

QColor text_on(const QColor& back) {
    const QColor black(0, 0, 0);
    const QColor white(255, 255, 255);
    return contrast_ratio(back, black) >= contrast_ratio(back, white) ? black : white;
}

void paint_dialog(QWidget* dialog, const ColorRoles& roles) {
    paint_control(dialog, roles.col_window, text_on(roles.col_window));
}

void paint_scroll_bar(QWidget* bar, const ColorRoles& roles) {
    if (bar == nullptr) {
        return;
    }
    // The styles draw the groove and the handle from the button colour (the
    // handle a little lighter) and the frame from the window colour darkened:
    // a handle a fifth of the way from the field's background to its text
    // stands out from the groove on a black field as on a white one.
    const QColor back = roles.col_field_back;
    const QColor text = roles.col_field_text;
    const auto blend = [](const QColor& from, const QColor& to, double share) {
        return QColor::fromRgbF(
            static_cast<float>(from.redF() + (to.redF() - from.redF()) * share),
            static_cast<float>(from.greenF() + (to.greenF() - from.greenF()) * share),
            static_cast<float>(from.blueF() + (to.blueF() - from.blueF()) * share));
    };
    const QColor groove = blend(back, text, 0.2);
    // The arrows are drawn part transparent: black or white keeps them legible.
    const QColor arrows = text_on(groove);
    QPalette palette = bar->palette();
    for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        palette.setColor(group, QPalette::Button, groove);
        palette.setColor(group, QPalette::Window, blend(back, text, 0.5));
        palette.setColor(group, QPalette::Base, back);
        palette.setColor(group, QPalette::WindowText, arrows);
        palette.setColor(group, QPalette::ButtonText, arrows);
    }
    bar->setPalette(palette);
}

void keep_platform_colors(QWidget* control) {
    if (control == nullptr) {
        return;
    }
    // Every role is set explicitly: a role left unset would still be taken
    // from the parent window's palette.
    const QPalette platform = QApplication::palette(control);
    QPalette own;
    for (int group = 0; group < QPalette::NColorGroups; ++group) {
        for (int role = 0; role < QPalette::NColorRoles; ++role) {
            const auto g = static_cast<QPalette::ColorGroup>(group);
            const auto r = static_cast<QPalette::ColorRole>(role);
            if (r != QPalette::NoRole) {
                own.setBrush(g, r, platform.brush(g, r));
            }
        }
    }
    control->setPalette(own);
}

double contrast_ratio(const QColor& a, const QColor& b) {
    const double la = relative_luminance(a);
    const double lb = relative_luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

}  // namespace corvanel
