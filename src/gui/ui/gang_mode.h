// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// "Production > Repeat on Several Boards": one series of chips per board at
// the same time, each with its own chip insertion, Program All and Verify.
// Every board runs the tool's own series (platform/app/board_series.h) on a
// thread of its own with its own port, link and engine, so the window's thread
// never waits for a board; what the boards share is the tool's too: the
// serial numbers, handed out once across all boards, and one production log
// whose lines name their port. The window shows one tile per board: its port,
// what it does now, its last result large, its counts.
//
// Stop ends every board between two steps with its voltages off; the window
// closes once every board's thread has ended.

#include <QDialog>
#include <QStringList>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/app/board_series.h"

class QLabel;
class QPushButton;
class QThread;

namespace corvanel {

class Form1;

class GangDialog : public QDialog {
    Q_OBJECT
public:
    // `base`: the program --repeat run every board makes, its port left out.
    GangDialog(Form1& form, const QStringList& ports, Options base);
    ~GangDialog() override;

    // Starts every board's thread.
    void start();
    // Escape, "Stop" and the close button: every board is stopped, and the
    // window closes once all of them have ended.
    void reject() override;

    struct Tile {
        QString port;
        QLabel* port_label = nullptr;
        QLabel* result_label = nullptr;
        QLabel* state_label = nullptr;
        QLabel* counts_label = nullptr;
        // The line before the one the state label shows: a series that ends on
        // a failure prints its summary after the failure's own line.
        QString earlier_line;
        std::int64_t passed = 0;
        std::int64_t failed = 0;
        std::int64_t cancelled = 0;
        bool running = false;
        int exit = 0;
        // The in-process virtual board still had its voltages on as its port closed.
        bool left_powered = false;
    };
    [[nodiscard]] const std::vector<Tile>& tiles() const { return tiles_; }
    [[nodiscard]] bool running() const;
    // "All 2 boards: 2 chips, 2 passed, 0 failed." once every board has ended.
    [[nodiscard]] QString summary() const;
    // The serial number the window's next series starts at (the first fresh
    // one: a number handed back by a failed chip lies below numbers chips
    // carry now, so counting on from it would give one of those again);
    // nothing when no number is left or none were used.
    [[nodiscard]] std::optional<std::uint64_t> next_serial_number() const;
    [[nodiscard]] bool serials_used_up() const;
    // The numbers handed back by failed chips that no chip took since.
    [[nodiscard]] QString unused_serials_text() const;

    QLabel* summary_label = nullptr;
    QPushButton* stop_button = nullptr;

private:
    void line(std::size_t board, const QString& text);
    void chip_started(std::size_t board);
    void chip_ended(std::size_t board, ChipVerdict verdict);
    void board_ended(std::size_t board, int exit, bool left_powered);
    void show_result(Tile& tile, const QString& text, const char* back, const char* fore);
    void show_counts(Tile& tile);

    Form1& form_;
    Options base_;
    std::unique_ptr<GangShared> shared_;
    std::vector<Tile> tiles_;
    std::vector<QThread*> threads_;
    bool stopping_ = false;
};

}  // namespace corvanel
