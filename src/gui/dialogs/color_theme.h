// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Colour themes: 46 named sets of 15 colours, each colour with a fixed role
// (window background, caption labels, value fields, highlighted items ...).
// The chosen theme's name lives in the settings store under "Color Theme";
// loadtheme() fills the program-wide roles from it, and every window paints its
// own controls from those roles in its settheme().

#include <QColor>
#include <QObject>
#include <QString>
#include <QStringList>

#include <array>
#include <functional>
#include <optional>

class QWidget;

namespace corvanel {

// The 15 colour roles, in table order. All black until the first loadtheme.
struct ColorRoles {
    QColor col_window{0, 0, 0};          // background of the windows
    QColor col_caption_back{0, 0, 0};    // "Loaded HEX File", "Test Vpp"; input box window
    QColor col_caption_text{0, 0, 0};    // text on col_caption_back
    QColor col_highlight_back{0, 0, 0};  // "Config. Word" captions; chosen item in the choosers
    QColor col_highlight_text{0, 0, 0};  // text on col_highlight_back
    QColor col_model_back{0, 0, 0};      // "Microcontroller Model"
    QColor col_model_text{0, 0, 0};      // text on col_model_back (black in every theme)
    QColor col_field_back{0, 0, 0};      // value fields, status line, unchosen items, entry field
    QColor col_field_text{0, 0, 0};      // text on col_field_back
    QColor col_memory_back{0, 0, 0};     // "FLASH Memory", "EEPROM Memory"
    QColor col_memory_text{0, 0, 0};     // text on col_memory_back
    QColor col_status_back{0, 0, 0};     // model name, "Status"
    QColor col_status_text{0, 0, 0};     // text on col_status_back
    QColor col_prompt_back{0, 0, 0};     // memory sizes; message box text; input box prompt
    QColor col_prompt_text{0, 0, 0};     // text on col_prompt_back

    static constexpr int role_count = 15;

    // Role n (1 to 15, table order); out-of-range numbers give nullptr.
    [[nodiscard]] QColor* role(int number);
    [[nodiscard]] const QColor* role(int number) const;

    friend bool operator==(const ColorRoles& a, const ColorRoles& b);
};

inline constexpr int kThemeCount = 46;
inline constexpr const char* kDefaultThemeName = "Original Lite";

// The 46 theme names in the order loadtheme tests them: 44 designed and
// "Mono Dark" themes, then "Original Dark", then the default "Original Lite".
[[nodiscard]] const QStringList& theme_names();

// The colours of the theme with exactly this name (case-sensitive), or nothing
// for a name that is not one of the 46.
[[nodiscard]] std::optional<ColorRoles> theme_colors(const QString& name);

// The program-wide roles that every settheme paints from.
[[nodiscard]] ColorRoles& colors();

// The name last read from or written to the "Color Theme" setting.
[[nodiscard]] const QString& current_theme_name();
void set_current_theme_name(const QString& name);

// Makes `name` the current theme name and sets the roles from its row. An
// unknown name sets the "Original Lite" row. The empty name changes no role,
// except before any theme has been applied in this run: then the roles would
// still be all black (black text on black labels), so "Original Lite" is used.
void loadtheme_named(const QString& name);

// Reads "Color Theme" (default "Original Lite", stored when missing) through
// settings() and applies it with loadtheme_named.
void loadtheme();

// True once a theme row has been applied in this run.
[[nodiscard]] bool theme_loaded();

// The roles a dialog paints from: colors() once a theme is loaded. A box shown
// before that (a start-up error about the device database) would find every
// role still black and show black text on black, so it takes the "Original
// Lite" colours instead.
[[nodiscard]] ColorRoles dialog_colors();

// Forgets the loaded theme: every role black and no theme loaded, as when the
// program starts. For tests of what start-up shows.
void unload_theme();

// Windows that must follow a theme change while they are open (the main
// window) connect to theme_changed; the theme chooser emits it after each
// change. Connections made with a receiver end when the receiver is destroyed.
class ThemeNotifier : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
signals:
    void theme_changed();
};

[[nodiscard]] ThemeNotifier& theme_notifier();

// Runs `repaint` (typically the window's settheme) on every theme change for
// as long as `receiver` lives.
void on_theme_changed(QObject* receiver, std::function<void()> repaint);

// Tells every registered window to repaint from colors().
void notify_theme_changed();

// Paints a control's background and text. Used by every settheme; the control
// fills its own background so the colour shows even on a label.
void paint_control(QWidget* control, const QColor& back, const QColor& text);

// Paints only the background of a window (or any control).
void paint_background(QWidget* widget, const QColor& back);

// Black or white, whichever reads better on `back`: the text colour of a
// window's own background, for which no role gives one.
[[nodiscard]] QColor text_on(const QColor& back);

// Paints a window of its own (a dialog, which takes nothing from the main
// window's palette) on the theme's window colour, its plain texts in text_on;
// its buttons keep the platform's colours.
void paint_dialog(QWidget* dialog, const ColorRoles& roles);

// Paints a memory table's scroll bar in the table's colours: the groove the
// field's background, the handle and the arrows set off from it, so that a
// dark theme has no light bar beside its dark table.
void paint_scroll_bar(QWidget* bar, const ColorRoles& roles);

// Gives a control the platform's own colours for every role, so that the
// colours painted on its window do not reach it (the menu bar is not themed).
void keep_platform_colors(QWidget* control);

// Contrast ratio of two colours by the relative-luminance formula, from 1
// (equal) to 21 (black on white).
[[nodiscard]] double contrast_ratio(const QColor& a, const QColor& b);

}  // namespace corvanel
