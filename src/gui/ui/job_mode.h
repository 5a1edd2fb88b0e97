// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// "Production > Open Job...": the operator's window of a job file. While it is
// open the main window's menus, buttons and cells are locked: the job fixes the
// model, the HEX file (checked against its SHA-256 before it is loaded), the
// memories, the serial numbers and the log, and this window offers only
// "Start", "Stop" and the counters. "Close Job" gives the window back with the
// production settings it had before.

#include <QDialog>
#include <QTimer>

#include "core/engine/region_selection.h"
#include "core/engine/serial_number.h"
#include "platform/app/job_files.h"

class QLabel;
class QPushButton;

namespace corvanel {

class Form1;

// The production settings a job replaces, to put back when it closes.
struct ProductionSettings {
    RegionSelection regions;
    bool preserve_eeprom = false;
    SerialNumber serial;
    bool serial_enabled = false;
    QString log_path;
};

class JobWindow : public QDialog {
    Q_OBJECT
public:
    JobWindow(Form1& form, OpenedJob job, ProductionSettings before);

    [[nodiscard]] const OpenedJob& job() const { return job_; }
    [[nodiscard]] const ProductionSettings& settings_before() const { return before_; }
    // The main window's command lock: "Start" and "Close Job" only while nothing runs.
    void commands_enabled(bool enabled);
    // "Start": the board's rails against the job's, then one chip or the series.
    void start();

    QLabel* job_label = nullptr;
    QLabel* counters_label = nullptr;
    QPushButton* start_button = nullptr;
    QPushButton* stop_button = nullptr;
    QPushButton* close_button = nullptr;

protected:
    // Escape and the close button close the job as "Close Job" does.
    void reject() override;

private:
    Form1& form_;
    OpenedJob job_;
    ProductionSettings before_;
    QTimer counters_timer_;
};

}  // namespace corvanel
