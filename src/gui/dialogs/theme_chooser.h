// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The colour theme chooser: 46 bordered labels, one per theme, in two columns.
// A click shows the theme at once on the chooser and on the main window and
// stores it; "Select" keeps it, "Cancel" (also Escape and the window frame)
// brings back the theme that was in force when the chooser opened.
//
// From the keyboard the table is one stop of the Tab order (table, "Cancel",
// "Select"): it opens there, the arrows move the mark over the themes in
// reading order and show each as a click does, Home and End go to the first
// and last, Space shows the marked one, Enter is "Select" (or the focused
// button) and Escape "Cancel".

#include <QDialog>
#include <QLabel>
#include <QString>

#include <array>

#include "gui/dialogs/color_theme.h"

class QPushButton;

namespace corvanel {

// A one-line label of a chooser that reports clicks and double clicks.
class ChooserEntry : public QLabel {
    Q_OBJECT
public:
    explicit ChooserEntry(QWidget* parent = nullptr);

signals:
    void clicked();
    void double_clicked();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    // A dotted frame shows the keyboard focus.
    void paintEvent(QPaintEvent* event) override;
};

// Colours a chooser entry: the chosen one in the highlight colours, every
// other one in the field colours. Both choosers mark their entries this way.
void paint_chooser_entry(QWidget* entry, bool chosen);

// The windows' own text font (a sans-serif of 8.25 points).
[[nodiscard]] QFont chooser_font();

class Form34 : public QDialog {
    Q_OBJECT
public:
    static constexpr int kEntryCount = kThemeCount;

    explicit Form34(QWidget* parent = nullptr);

    // Paints the window background from the colour roles.
    void settheme();
    // Marks the label of the current theme.
    void highlight();

    // Label i (0 to 45) of the table; nullptr for other numbers.
    [[nodiscard]] ChooserEntry* opcija(int index) const;
    [[nodiscard]] QPushButton* Command1() const { return command1_; }
    [[nodiscard]] QPushButton* Command2() const { return command2_; }
    // The theme the chooser returns to on "Cancel".
    [[nodiscard]] const QString& entry_theme() const { return entry_theme_; }

    // Previews and stores the theme of label i.
    void opcija_Click(int index);
    // "Select".
    void Command1_Click();
    // "Cancel".
    void Command2_Click();

    // Escape and the window frame act as "Cancel".
    void reject() override;

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    // Makes label `index` the table's stop in the Tab order, taking the focus
    // along when the table holds it.
    void set_focus_entry(int index);

    // Stores the current theme name, loads it and repaints the main window.
    void store_and_apply();

    std::array<ChooserEntry*, kEntryCount> opcija_{};
    int focus_entry_ = -1;
    QPushButton* command1_;
    QPushButton* command2_;
    QString entry_theme_;
    ColorRoles entry_roles_;
    bool closing_ = false;
};

// Shows the chooser modally over `parent` and returns when it has closed.
void show_theme_chooser(QWidget* parent);

}  // namespace corvanel
