// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// "Production > Repeat on Chip Insertion": a window that watches the socket,
// programs each chip of the model that is put in with the production sequence
// (always verified, counted and logged), shows the result large in green or
// red, and waits for the chip to leave before it takes the next one. Escape or
// "Stop" ends it; a running operation is stopped first, voltages off.
//
// The socket is read by the engine's "Identify Chip" (a short voltages-on,
// read, voltages-off) a few times a second; what the reads mean is decided
// by ChipInsertionWatch in the core, which the tool uses as well.

#include <QDialog>
#include <QElapsedTimer>
#include <QPointer>
#include <QTimer>

#include <cstdint>

#include "core/engine/chip_insertion.h"

class QLabel;
class QPushButton;

namespace corvanel {

class Form1;

class RepeatDialog : public QDialog {
    Q_OBJECT
public:
    RepeatDialog(Form1& form, const DeviceIdKey& expected);

    // Begins with the first read of the socket.
    void start();
    // A read of the socket ended with this ID word (from the engine's finishing step).
    void identified(std::int32_t word);
    // A read of the socket is running: its result belongs here, not to "Identify Chip".
    [[nodiscard]] bool reading() const { return phase_ == Phase::Reading; }
    [[nodiscard]] const ChipInsertionWatch& watch() const { return watch_; }

    // Escape, "Stop" and the close button: the mode ends once nothing runs any
    // more (a running operation is stopped first).
    void reject() override;

    // While a chip is programmed: a report that would stop the series in a
    // message box (a failed Verify's list of differences) is kept here
    // instead; the FAIL panel says so and "Show Report" opens it beside the
    // mode's window. True when the report was taken.
    bool take_report(const QString& text);
    // The report window "Show Report" opened last, while it is open.
    [[nodiscard]] QWidget* report_window() const { return report_window_; }

    // What the window shows, for tests and the screenshot.
    QLabel* result_label = nullptr;
    QLabel* prompt_label = nullptr;
    QLabel* counts_label = nullptr;
    QPushButton* report_button = nullptr;
    QPushButton* stop_button = nullptr;

private:
    enum class Phase { Pausing, Reading, Programming, Ending };

    void tick();
    void read_done(std::int32_t word);
    void program_done();
    void show_big(const QString& text, const QString& back, const QString& fore);
    void show_counts();
    void show_report();
    void fail_mode(const QString& reason);
    [[nodiscard]] bool engine_idle() const;

    Form1& form_;
    ChipInsertionWatch watch_;
    QTimer timer_;
    QElapsedTimer since_;
    Phase phase_ = Phase::Pausing;
    bool word_ready_ = false;
    std::int32_t word_ = -1;
    QString report_;
    QPointer<QWidget> report_window_;
};

}  // namespace corvanel
