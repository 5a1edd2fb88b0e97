// SPDX-License-Identifier: GPL-3.0-or-later
#include "board/server/sim_serve_loop.h"

#include <poll.h>
#include <termios.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/inotify.h>
#endif

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <deque>
#include <iostream>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "core/link/board_protocol.h"

namespace corvanel::board_server {

namespace {

using Clock = std::chrono::steady_clock;

// Takes the host's bytes off the terminal on a thread of its own and stamps each
// with its arrival time, so that the pauses between them survive the simulation's
// lag.
class ArrivalReader {
public:
    struct Arrival {
        std::uint8_t byte;
        std::uint64_t at_ns;  // since the reader started
        bool opened = false;  // no byte: the host opened the terminal here
    };

    // `watch_opens`: the terminal's path, whose opens are noted in the order of
    // the bytes (an open comes before any byte written through it).
    ArrivalReader(int master, const std::string& watch_opens)
        : master_(master), opens_(watch_opens_fd(watch_opens)), thread_([this] { run(); }) {}
    ~ArrivalReader() {
        stop_ = true;
        thread_.join();
        if (opens_ >= 0) {
            close(opens_);
        }
    }
    [[nodiscard]] bool watching_opens() const { return opens_ >= 0; }
    ArrivalReader(const ArrivalReader&) = delete;
    ArrivalReader& operator=(const ArrivalReader&) = delete;

    [[nodiscard]] std::uint64_t now_ns() const {
        return static_cast<std::uint64_t>(
            std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - start_).count());
    }
    [[nodiscard]] bool failed() const { return failed_.load(); }

    // The oldest byte not yet taken, if any.
    [[nodiscard]] std::optional<Arrival> front() {
        const std::lock_guard<std::mutex> lock(mutex_);
        if (arrivals_.empty()) {
            return std::nullopt;
        }
        return arrivals_.front();
    }
    void pop() {
        const std::lock_guard<std::mutex> lock(mutex_);
        arrivals_.pop_front();
    }

private:
    static int watch_opens_fd(const std::string& path) {
#ifdef __linux__
        if (path.empty()) {
            return -1;
        }
        const int fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (fd >= 0 && inotify_add_watch(fd, path.c_str(), IN_OPEN) < 0) {
            std::perror("corvanel-simboard: watching the terminal's opens");
            close(fd);
            return -1;
        }
        return fd;
#else
        (void)path;
        return -1;
#endif
    }

    void run() {
        while (!stop_.load()) {
            pollfd watch[2] = {{master_, POLLIN, 0}, {opens_, POLLIN, 0}};
            if (poll(watch, opens_ >= 0 ? 2 : 1, 20) <= 0) {
                continue;
            }
            // Opens first: a byte that is waiting already was written after them.
            if (opens_ >= 0 && (watch[1].revents & POLLIN) != 0) {
                char events[4096];
                if (read(opens_, events, sizeof events) > 0) {
                    const std::lock_guard<std::mutex> lock(mutex_);
                    arrivals_.push_back({0, now_ns(), true});
                }
            }
            if ((watch[0].revents & (POLLIN | POLLHUP | POLLERR)) == 0) {
                continue;
            }
            std::uint8_t buffer[512];
            const ssize_t got = read(master_, buffer, sizeof buffer);
            if (got > 0) {
                const std::uint64_t at = now_ns();
                const std::lock_guard<std::mutex> lock(mutex_);
                for (ssize_t i = 0; i < got; ++i) {
                    arrivals_.push_back({buffer[i], at});
                }
            } else if (got < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EIO &&
                       errno != EINTR) {
                std::perror("corvanel-simboard: read");
                failed_ = true;
                return;
            } else {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        }
    }

    int master_;
    int opens_;
    const Clock::time_point start_ = Clock::now();
    std::mutex mutex_;
    std::deque<Arrival> arrivals_;
    std::atomic<bool> failed_{false};
    std::atomic<bool> stop_{false};
    std::thread thread_;  // last: it starts once everything it uses exists
};

// Hands the answers to the terminal. Answers that cannot be written (the host's
// end is gone) are lost, as on a line without a listener; the board goes on.
void send_answers(int master, const std::vector<std::uint8_t>& bytes,
                  const volatile std::sig_atomic_t& stop) {
    std::size_t sent = 0;
    while (sent < bytes.size() && stop == 0) {
        const ssize_t n = write(master, bytes.data() + sent, bytes.size() - sent);
        if (n > 0) {
            sent += static_cast<std::size_t>(n);
        } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
            return;
        }
    }
}

// What one open of the terminal (one reset) saw: when the banner had gone out to
// the host, when the host's first byte came.
class OpenWatch {
public:
    void opened(std::uint64_t at_ns) {
        *this = OpenWatch();
        open_ns_ = at_ns;
        active_ = true;
    }
    void answered(std::size_t bytes, std::uint64_t at_ns) {
        if (!active_ || banner_bytes_ >= board_identity::kBannerSize) {
            return;
        }
        banner_bytes_ += bytes;
        if (banner_bytes_ >= board_identity::kBannerSize) {
            banner_ns_ = at_ns;
            banner_out_ = true;
        }
    }
    void host_byte(std::uint64_t at_ns) {
        if (!active_ || reported_) {
            return;
        }
        reported_ = true;
        const auto ms = [this](std::uint64_t ns) { return (ns - open_ns_) / 1'000'000; };
        if (!banner_out_ || at_ns < banner_ns_) {
            std::cerr << "corvanel-simboard: the host sent a byte " << ms(at_ns)
                      << " ms after opening the port, before the banner had gone out\n";
        } else {
            std::cerr << "corvanel-simboard: banner out " << ms(banner_ns_)
                      << " ms after the port opened, the host's first byte at " << ms(at_ns)
                      << " ms\n";
        }
    }

private:
    bool active_ = false;
    bool reported_ = false;
    std::uint64_t open_ns_ = 0;
    std::size_t banner_bytes_ = 0;
    bool banner_out_ = false;
    std::uint64_t banner_ns_ = 0;
};

}  // namespace

// The simulation follows the wall clock in slices of at most 1 ms. On a computer
// too slow for that it lags behind; while the board is idle the lag is dropped
// (the idle time is not simulated), so answers do not come later and later. A
// byte goes on the simulated line no sooner after the last answer than it arrived
// after that answer went out: the host's pauses (programming times) keep their
// length for the chip whatever the lag.
int serve_simulated(const Terminal& terminal, SimulatedBoard& board,
                    const volatile std::sig_atomic_t& stop, bool reset_on_open) {
    ArrivalReader reader(terminal.master, reset_on_open ? terminal.path : std::string());
    if (reset_on_open && !reader.watching_opens()) {
        std::cerr << "corvanel-simboard: cannot see the terminal being opened\n";
        return 1;
    }
    OpenWatch open_watch;
    // While held, until this wall time, the AVR is in reset or in its bootloader:
    // nothing runs, the host's bytes are the bootloader's.
    bool held = reset_on_open;
    std::uint64_t held_until_ns = UINT64_MAX;  // no host has opened the port yet
    const std::uint64_t start_ns = board.now_ns();
    int status = 0;
    std::size_t faults_reported = 0;
    std::uint64_t offset_ns = 0;  // wall time not simulated (idle lag dropped)
    // When the last answers went to the host: wall time and simulated time.
    std::uint64_t answered_wall_ns = 0;
    std::uint64_t answered_sim_ns = 0;
    while (stop == 0 && status == 0) {
        if (reader.failed()) {
            status = 1;
            break;
        }
        const std::uint64_t sim_ns = board.now_ns() - start_ns;
        std::optional<ArrivalReader::Arrival> next;
        while ((next = reader.front())) {
            if (next->opened) {
                board.reset();
                // What a former host left unread is not this one's.
                tcflush(terminal.slave, TCIFLUSH);
                held = true;
                held_until_ns = next->at_ns + kBootloaderMs * 1'000'000ULL;
                open_watch.opened(next->at_ns);
                reader.pop();
                continue;
            }
            open_watch.host_byte(next->at_ns);
            if (held && next->at_ns < held_until_ns) {
                reader.pop();  // the bootloader takes it
                continue;
            }
            // A pause of the host matters to the chip only while it is powered. A byte
            // that finds the board idle with the voltages off goes on the line at once,
            // and the bytes that came with it follow at their own spacing. Without this
            // the first byte after an idle spell (an identify) waited for the wall time
            // of the last simulated slice to be simulated, up to a second on a busy
            // computer, and the host took the board for a plain one.
            if (!board.voltages_on() && board.bytes_on_the_way() == 0 &&
                board.answers_waiting() == 0 && next->at_ns > answered_wall_ns) {
                answered_wall_ns = next->at_ns;
                answered_sim_ns = sim_ns;
            }
            const std::uint64_t due = next->at_ns > answered_wall_ns
                                          ? answered_sim_ns + (next->at_ns - answered_wall_ns)
                                          : 0;
            if (due > sim_ns) {
                break;
            }
            board.send(next->byte);
            reader.pop();
        }
        const bool waiting = next.has_value();
        if (held) {
            const std::uint64_t wall = reader.now_ns();
            if (wall < held_until_ns) {
                std::this_thread::sleep_for(std::chrono::microseconds(200));
                continue;
            }
            // The firmware starts now; the time held is not simulated.
            held = false;
            offset_ns = wall - sim_ns;
            answered_wall_ns = wall;
            answered_sim_ns = sim_ns;
        }
        const std::uint64_t target = reader.now_ns() - offset_ns;
        if (sim_ns < target) {
            const bool idle =
                !waiting && board.bytes_on_the_way() == 0 && board.answers_waiting() == 0;
            if (idle && target - sim_ns > 2'000'000) {
                offset_ns += target - sim_ns - 1'000'000;
            }
            // A host silent for 1 s is in no programming pause (the longest are some
            // hundred ms): its next byte need not wait for the idle time to be simulated.
            const std::uint64_t wall = reader.now_ns();
            if (idle && wall - answered_wall_ns > 1'000'000'000) {
                answered_wall_ns = wall;
                answered_sim_ns = sim_ns;
            }
            const std::uint64_t behind_us = (target - sim_ns) / 1000;
            if (!board.run_for(behind_us < 1000 ? behind_us + 1 : 1000)) {
                std::cerr << "corvanel-simboard: the firmware crashed\n";
                status = 1;
            }
        } else {
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        const auto answers = board.take_answers();
        if (!answers.empty()) {
            answered_wall_ns = reader.now_ns();
            answered_sim_ns = board.now_ns() - start_ns;
        }
        // Stamped before the write: once written, the host may read the answers and
        // send its next byte before this thread runs again.
        if (!answers.empty()) {
            open_watch.answered(answers.size(), reader.now_ns());
        }
        send_answers(terminal.master, answers, stop);
        const auto& faults = board.pins().faults();
        for (; faults_reported < faults.size(); ++faults_reported) {
            std::cerr << "corvanel-simboard: timing fault at " << faults[faults_reported].at_ns
                      << " ns: " << faults[faults_reported].what << "\n";
        }
    }
    return status;
}

}  // namespace corvanel::board_server
