// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A pseudo-terminal standing in for the programmer's serial line: the program
// opens the slave device by name, the test plays the board on the master side.
// The test keeps its own slave descriptor open, so that reads on the master do
// not fail once the program closes its end. Pseudo-terminals are POSIX only.

#include <QtGlobal>

#ifndef Q_OS_WIN

#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QString>

#include <cstdint>
#include <functional>
#include <vector>

namespace corvanel::test {

class PseudoTerminal {
public:
    PseudoTerminal() {
        char name[256] = {};
        if (openpty(&master_, &slave_, name, nullptr, nullptr) != 0) {
            master_ = slave_ = -1;
            return;
        }
        termios raw{};
        tcgetattr(slave_, &raw);
        cfmakeraw(&raw);
        tcsetattr(slave_, TCSANOW, &raw);
        fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
        device_ = QString::fromLocal8Bit(name);
    }
    ~PseudoTerminal() {
        if (master_ >= 0) {
            ::close(master_);
        }
        if (slave_ >= 0) {
            ::close(slave_);
        }
    }
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    [[nodiscard]] bool ok() const { return master_ >= 0; }
    [[nodiscard]] const QString& device() const { return device_; }

    // The board sends bytes to the program.
    void send(const std::vector<std::uint8_t>& bytes) const {
        if (!bytes.empty()) {
            [[maybe_unused]] auto written = ::write(master_, bytes.data(), bytes.size());
        }
    }

    // Bytes the program wrote, collected while events run, until `count` arrived
    // or the time is up.
    [[nodiscard]] std::vector<std::uint8_t> receive(std::size_t count, int timeout_ms = 2000) {
        QElapsedTimer timer;
        timer.start();
        while (received_.size() < count && timer.elapsed() < timeout_ms) {
            QCoreApplication::processEvents();
            std::uint8_t buffer[256];
            const auto n = ::read(master_, buffer, sizeof buffer);
            if (n > 0) {
                received_.insert(received_.end(), buffer, buffer + n);
            } else {
                usleep(1000);
            }
        }
        std::vector<std::uint8_t> out;
        out.swap(received_);
        return out;
    }

private:
    int master_ = -1;
    int slave_ = -1;
    QString device_;
    std::vector<std::uint8_t> received_;
};

// Runs events until `done` holds or the time is up; answers `done()`.
inline bool process_events_until(const std::function<bool()>& done, int timeout_ms = 2000) {
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < timeout_ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        usleep(500);
    }
    return done();
}

}  // namespace corvanel::test

#endif  // Q_OS_WIN
