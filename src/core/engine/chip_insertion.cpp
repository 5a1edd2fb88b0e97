// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/engine/chip_insertion.h"

namespace corvanel {

SocketEvent ChipInsertionWatch::poll_result(std::int32_t word) {
    if (word < 0 || phase_ == Phase::ChipReady) {
        return SocketEvent::None;
    }
    const bool empty = no_chip_answer(word);
    if (phase_ == Phase::WaitingForRemoval) {
        // Any chip answer, even a garbled one, means something is still in the socket.
        agreeing_ = empty ? agreeing_ + 1 : 0;
        if (agreeing_ < kInsertionStableReads) {
            return SocketEvent::None;
        }
        phase_ = Phase::WaitingForChip;
        candidate_ = -1;
        agreeing_ = 0;
        return SocketEvent::ChipRemoved;
    }
    if (empty) {
        candidate_ = -1;
        agreeing_ = 0;
        return SocketEvent::None;
    }
    agreeing_ = word == candidate_ ? agreeing_ + 1 : 1;
    candidate_ = word;
    if (agreeing_ < kInsertionStableReads) {
        return SocketEvent::None;
    }
    agreeing_ = 0;
    if (!id_matches(expected_, word)) {
        phase_ = Phase::WaitingForRemoval;
        return SocketEvent::WrongChip;
    }
    phase_ = Phase::ChipReady;
    return SocketEvent::ChipInserted;
}

void ChipInsertionWatch::chip_done(bool passed) {
    if (phase_ != Phase::ChipReady) {
        return;
    }
    ++(passed ? passed_ : failed_);
    phase_ = Phase::WaitingForRemoval;
    agreeing_ = 0;
}

void ChipInsertionWatch::chip_cancelled() {
    if (phase_ != Phase::ChipReady) {
        return;
    }
    ++cancelled_;
    phase_ = Phase::WaitingForRemoval;
    agreeing_ = 0;
}

std::optional<std::string> repeat_refusal(const std::optional<DeviceIdKey>& device_id,
                                          std::string_view model_name, bool board_identified,
                                          bool user_consented) {
    if (!device_id) {
        return std::string(model_name) +
               " has no device ID: an inserted chip cannot be told from an empty socket.";
    }
    if (!board_identified && !user_consented) {
        return std::string(
            "The board has not identified itself: the device ID is not read "
            "over and over without consent.");
    }
    return std::nullopt;
}

std::string insertion_prompt(ChipInsertionWatch::Phase phase, std::string_view model_name) {
    switch (phase) {
        case ChipInsertionWatch::Phase::WaitingForChip:
            return "Insert a " + std::string(model_name) + ".";
        case ChipInsertionWatch::Phase::ChipReady:
            return "Programming the " + std::string(model_name) + ".";
        case ChipInsertionWatch::Phase::WaitingForRemoval:
            break;
    }
    return "Remove the chip.";
}

std::string repeat_summary_text(const ChipInsertionWatch& watch) {
    const std::int64_t chips = watch.chips();
    return "Repeat ended: " + std::to_string(chips) + (chips == 1 ? " chip, " : " chips, ") +
           std::to_string(watch.passed()) + " passed, " + std::to_string(watch.failed()) +
           " failed" +
           (watch.cancelled() > 0 ? ", " + std::to_string(watch.cancelled()) + " cancelled" : "") +
           ".";
}

}  // namespace corvanel
