// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The virtual board behind a ByteChannel, in the same process: every byte written
// goes straight to the board, and its answers wait in a receive queue until the
// host reads them. A test or host loop asks has_waiting() where a serial port
// would raise its receive notification.
//
// Faults a real line or board can show are injected here, so that hosts can be
// tested against them:
//   stop_after_bytes   the board hears the first N bytes written and then goes
//                      silent (it neither sees later bytes nor answers them);
//   drop_answer        the k-th answer byte (counted from 1 over all answer
//                      bytes, a read giving three) is lost on the line;
//   duplicate_answer   the k-th answer byte arrives twice;
//   garbage_answer     a noise byte (FFh) arrives right after the k-th answer byte;
//   corrupt_answer     the k-th answer byte arrives with its lowest bit flipped
//                      (noise that changes a byte without adding or losing one);
//   answer_delay       every answer byte becomes readable only that long after
//                      the byte that caused it was written, on the channel's
//                      clock (steady_clock unless a test sets its own).

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <vector>

#include "board/virtual_board.h"
#include "core/link/byte_channel.h"

namespace corvanel {

struct BoardFaults {
    std::optional<std::uint64_t> stop_after_bytes;
    std::optional<std::uint64_t> drop_answer;
    std::optional<std::uint64_t> duplicate_answer;
    std::optional<std::uint64_t> garbage_answer;
    std::optional<std::uint64_t> corrupt_answer;
    std::chrono::steady_clock::duration answer_delay{0};
};

inline constexpr std::uint8_t kNoiseByte = 0xFF;

class BoardChannel : public ByteChannel {
public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;

    // The board must outlive the channel.
    explicit BoardChannel(VirtualBoard& board);

    void write_byte(std::uint8_t byte) override;
    std::vector<std::uint8_t> read_all() override;
    void set_receive_threshold(int threshold) override { threshold_ = threshold; }
    [[nodiscard]] int receive_threshold() const override { return threshold_; }
    [[nodiscard]] bool is_open() const override { return open_; }
    // In the same process the bytes take no time; only the host's pauses move the
    // board's clock on.
    void note_pause(int milliseconds) override;
    // Unless its answers are delayed: then they come when their time has come.
    [[nodiscard]] bool answers_at_once() const override {
        return faults_.answer_delay == std::chrono::steady_clock::duration::zero();
    }

    // The board's own waits (104 4Ah): in the same process they pass on the
    // board's simulated clock as the wait is taken, before the next byte. A driver
    // that keeps a real clock (the board server) turns this off and takes them
    // itself (VirtualBoard::take_board_wait).
    void set_simulated_waits(bool simulated) { simulated_waits_ = simulated; }

    // A closed channel drops what is written and has nothing to read.
    void set_open(bool open) { open_ = open; }

    // Answer bytes that can be read now.
    [[nodiscard]] bool has_waiting() const;
    [[nodiscard]] std::size_t waiting_count() const;
    // Answer bytes still on their way (delayed), not yet readable.
    [[nodiscard]] std::size_t in_flight_count() const;

    void set_faults(const BoardFaults& faults) { faults_ = faults; }
    [[nodiscard]] const BoardFaults& faults() const { return faults_; }
    void set_clock(Clock clock);

    // The bytes written while open, oldest first (including those the board no longer
    // heard), for tests that compare exact sequences: the latest record_limit() of
    // them at least, a quarter more at most (older ones are dropped in blocks).
    [[nodiscard]] const std::vector<std::uint8_t>& written() const { return written_; }
    // How many bytes were written while open, recorded or not.
    [[nodiscard]] std::uint64_t bytes_written() const { return bytes_written_; }
    // Answer bytes the board produced (before drops and duplicates).
    [[nodiscard]] std::uint64_t answers_produced() const { return answers_produced_; }
    // Starts counting and recording afresh.
    void clear_written() {
        written_.clear();
        bytes_written_ = 0;
    }
    // A board that runs for days (the board server) records nothing, so that its
    // memory does not grow with every byte (some 100 kB per program and verify).
    static constexpr std::size_t kDefaultRecordLimit = std::size_t{1} << 20;
    void set_record_limit(std::size_t bytes);
    [[nodiscard]] std::size_t record_limit() const { return record_limit_; }

    [[nodiscard]] VirtualBoard& board() { return board_; }

private:
    struct Pending {
        std::uint8_t byte;
        std::chrono::steady_clock::time_point ready_at;
    };

    [[nodiscard]] std::chrono::steady_clock::time_point now() const;

    VirtualBoard& board_;
    Clock clock_;
    BoardFaults faults_;
    std::deque<Pending> queue_;
    std::vector<std::uint8_t> written_;
    std::size_t record_limit_ = kDefaultRecordLimit;
    std::uint64_t bytes_written_ = 0;
    std::uint64_t answers_produced_ = 0;
    int threshold_ = 0;
    bool open_ = true;
    bool simulated_waits_ = true;
};

}  // namespace corvanel
