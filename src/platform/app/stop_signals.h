// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The stop signals of a window program (SIGTERM from a shutdown or `kill`,
// SIGHUP from a closed session, SIGINT from Ctrl-C in the terminal that started
// it), turned into a Qt signal in the event loop. A signal handler may do
// almost nothing, so it only writes the signal's number into a pipe that the
// event loop watches; the window then switches the voltages off and ends.
// Without POSIX signals (Windows) the object never reports.

#include <QObject>

class QSocketNotifier;

namespace corvanel {

class StopSignalWatcher : public QObject {
    Q_OBJECT
public:
    // Catches the three signals for as long as the object lives (one at a time).
    explicit StopSignalWatcher(QObject* parent = nullptr);
    ~StopSignalWatcher() override;
    StopSignalWatcher(const StopSignalWatcher&) = delete;
    StopSignalWatcher& operator=(const StopSignalWatcher&) = delete;

signals:
    // In the event loop, once per signal received.
    void received(int signal_number);

private:
    void read_pipe();

    QSocketNotifier* notifier_ = nullptr;
};

}  // namespace corvanel
