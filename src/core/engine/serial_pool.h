// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Serial numbers shared by several boards that program at the same time. A
// number is taken when a chip is about to be programmed and is settled by the
// chip's result: a chip that passed keeps it for good; a chip that failed (or
// was not programmed after all) hands it back, and the next chip on any board
// gets the lowest number handed back before a fresh one. So no two chips that
// pass carry the same number, and the chips that pass carry the series without
// a gap, as on one board, where a failed chip's number goes to the next chip.
// Safe to call from the boards' threads.

#include <cstdint>
#include <mutex>
#include <optional>
#include <set>

#include "core/engine/serial_number.h"

namespace corvanel {

class SerialPool {
public:
    // `first` holds the first number, the step and the bytes that limit the series.
    explicit SerialPool(const SerialNumber& first);

    struct Taken {
        // The chip's number; nothing when none is free now.
        std::optional<std::uint64_t> number;
        // No number is free and none can come back: the series is complete.
        bool used_up = false;
    };
    // The number for a chip about to be programmed. Nothing free while other
    // chips hold the last numbers: the caller asks again after a pause.
    [[nodiscard]] Taken take();
    // The chip with `number` passed: the number is spent.
    void passed(std::uint64_t number);
    // The chip with `number` did not pass: the next chip gets it.
    void give_back(std::uint64_t number);
    // Every number that fits has gone to a chip that passed.
    [[nodiscard]] bool used_up() const;
    // The numbers handed back that no chip took since (for the closing summary).
    [[nodiscard]] std::set<std::uint64_t> unused_returns() const;
    // The next fresh number (never handed out yet); nothing when none fits.
    [[nodiscard]] std::optional<std::uint64_t> next_fresh() const;

private:
    [[nodiscard]] bool used_up_locked() const;

    mutable std::mutex mutex_;
    SerialNumber next_;       // the next fresh number
    bool fresh_left_ = true;  // next_ still fits the bytes
    std::set<std::uint64_t> returned_;
    std::int64_t held_ = 0;  // numbers taken and not yet settled
};

}  // namespace corvanel
