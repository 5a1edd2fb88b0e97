// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Batch programming on chip insertion: the socket is watched through the
// device ID, read with a short voltages-on, read, voltages-off a few times a
// second, and each chip is programmed once between its insertion and its
// removal. This is the watch itself, fed with the ID words read; the window
// and the tool run the reads, the Program All and the pauses around it.
//
// A chip pushed into a socket touches its pins one by one, and a chip pulled
// out may answer once more: both an insertion and a removal count only when
// two reads in a row agree. A chip is never programmed twice: after its
// Program All the watch waits for the empty socket (3FFFh or 0000h) before it
// takes another chip.

#include <cstdint>
#include <optional>
#include <string>

#include "core/devices/device_identity.h"

namespace corvanel {

// The pause between two reads, voltages off: about three reads a second, so a
// chip in the socket is powered for a few milliseconds in every 300.
inline constexpr int kInsertionPollMilliseconds = 300;
// Reads in a row that must agree before an insertion or a removal counts.
inline constexpr int kInsertionStableReads = 2;

enum class SocketEvent {
    None,          // nothing new: read again after the pause
    ChipInserted,  // a chip of the model is in the socket: program it now
    WrongChip,     // a chip of another model (or an unknown one): not programmed
    ChipRemoved,   // the socket is empty again: the next chip may come
};

class ChipInsertionWatch {
public:
    enum class Phase {
        WaitingForChip,
        ChipReady,  // ChipInserted was answered: the caller programs, then chip_done
        WaitingForRemoval,
    };

    explicit ChipInsertionWatch(const DeviceIdKey& expected) : expected_(expected) {}

    // One read's ID word (-1 when the read gave none: it counts neither way).
    [[nodiscard]] SocketEvent poll_result(std::int32_t word);
    // The chip of the last ChipInserted has been programmed (or has failed):
    // counted, and from now on the watch waits for its removal.
    void chip_done(bool passed);
    // The chip of the last ChipInserted was not programmed after all (a
    // question before the voltages came on answered No, a Stop): counted
    // neither passed nor failed, and the watch waits for its removal.
    void chip_cancelled();

    [[nodiscard]] Phase phase() const { return phase_; }
    // The ID word of the chip in the socket (the one inserted or refused).
    [[nodiscard]] std::int32_t chip_word() const { return candidate_; }
    [[nodiscard]] std::int64_t passed() const { return passed_; }
    [[nodiscard]] std::int64_t failed() const { return failed_; }
    [[nodiscard]] std::int64_t cancelled() const { return cancelled_; }
    // Every chip taken for programming: passed, failed and cancelled.
    [[nodiscard]] std::int64_t chips() const { return passed_ + failed_ + cancelled_; }

private:
    DeviceIdKey expected_;
    Phase phase_ = Phase::WaitingForChip;
    std::int32_t candidate_ = -1;
    int agreeing_ = 0;
    std::int64_t passed_ = 0;
    std::int64_t failed_ = 0;
    std::int64_t cancelled_ = 0;
};

// Why the mode cannot start, or nothing. The reads need the model's device
// ID, to tell a chip from an empty socket. They switch the programming
// voltages on a few times a second for as long as the mode runs, so they run
// only on a board that has identified itself as a programmer, or with the
// user's consent (the tool's --repeat is that consent).
[[nodiscard]] std::optional<std::string> repeat_refusal(const std::optional<DeviceIdKey>& device_id,
                                                        std::string_view model_name,
                                                        bool board_identified, bool user_consented);

// "Insert a chip of the PIC16F628A.", "Remove the chip." for the phase.
[[nodiscard]] std::string insertion_prompt(ChipInsertionWatch::Phase phase,
                                           std::string_view model_name);

// "Repeat ended: 3 chips, 3 passed, 0 failed.", with ", 1 cancelled" before
// the stop when a chip was cancelled.
[[nodiscard]] std::string repeat_summary_text(const ChipInsertionWatch& watch);

}  // namespace corvanel
