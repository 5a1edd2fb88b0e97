// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The model chooser "Select Microcontroller": every model of the device
// database by name, sorted (numbers read as numbers), in two columns filled
// row by row; a filter box narrows the list by name or family. Each entry's
// tooltip gives the sizes, voltage windows, family, command set and, for a
// model resting on one source, which. A click marks a model, a
// double click marks it and selects it; "Select" stores and applies the marked
// model only when it differs from the applied one; "Cancel" (also Escape and
// the window frame) goes back to the applied model. The opener clears the
// memory image after the chooser closes only when the model changed.

#include <QDialog>
#include <QString>

#include <functional>
#include <vector>

class QLineEdit;
class QPushButton;
class QScrollArea;
class QWidget;

namespace corvanel {

class ChooserEntry;

class Form5 : public QDialog {
    Q_OBJECT
public:
    // The window shows up to this many entries (35 rows of two) at once; a
    // larger database scrolls, so every model stays reachable.
    static constexpr int kVisibleRows = 35;
    static constexpr int kEntryCount = 2 * kVisibleRows;

    // Room the window frame and title take beyond the dialog's own height.
    static constexpr int kFrameAllowance = 40;

    // Lists the models of state().database and marks state().selected_model.
    // With an `available_height` (the screen's, in the dialog's pixels) the
    // window shows only the rows that fit in it and scrolls the others.
    explicit Form5(QWidget* parent = nullptr, int available_height = 0);

    // Paints the window background from the colour roles.
    void settheme();
    // Marks the entry of selected_model, every other entry in the field colours.
    void highlight_entries();

    // Entry k (1 to the model count); nullptr for other numbers.
    [[nodiscard]] ChooserEntry* opcija(int k) const;
    [[nodiscard]] int entries() const { return static_cast<int>(opcija_.size()); }
    [[nodiscard]] QPushButton* Command1() const { return command1_; }
    [[nodiscard]] QPushButton* Command2() const { return command2_; }
    [[nodiscard]] QScrollArea* entry_area() const { return area_; }
    // Typing here shows only the models whose name or family holds the text
    // ("188", "16F188xx"); the arrows move the mark over them, Enter selects,
    // Escape cancels.
    [[nodiscard]] QLineEdit* filter_box() const { return filter_; }
    // selected_model when the chooser opened.
    [[nodiscard]] int entry_model() const { return entry_model_; }

    void opcija_Click(int k);
    void opcija_DblClick(int k);
    // "Select".
    void Command1_Click();
    // "Cancel".
    void Command2_Click();

    // Escape and the window frame act as "Cancel".
    void reject() override;

    // Asked by "Select" before another model is applied (the buffer will be
    // cleared): false keeps the applied model, as "Cancel" would.
    void set_change_guard(std::function<bool()> guard) { change_guard_ = std::move(guard); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Places the entries that match the filter in the grid, closing up.
    void apply_filter();
    // Moves the mark by `step` places among the shown entries.
    void move_mark(int step);

    std::vector<ChooserEntry*> opcija_;
    std::vector<int> order_;            // the entry numbers in the order the chooser lists them
    std::vector<int> shown_;            // the numbers of the entries that match the filter
    std::vector<QString> filter_keys_;  // entry k - 1: its name and family, lower case
    QLineEdit* filter_ = nullptr;
    QScrollArea* area_;
    QWidget* panel_;
    QPushButton* command1_;
    QPushButton* command2_;
    int entry_model_ = 0;
    bool closing_ = false;
    std::function<bool()> change_guard_;
};

// Shows the chooser modally over `parent` and returns when it has closed. The
// caller then runs "&Clear Buffer" when the model changed. `change_guard` is
// asked before another model is applied.
void show_model_chooser(QWidget* parent, std::function<bool()> change_guard = {});

}  // namespace corvanel
