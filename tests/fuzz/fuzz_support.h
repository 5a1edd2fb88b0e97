// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What the fuzz targets share: a reader that takes choices off the front of
// the fuzzer's bytes, the shipped device database, and a host loop that runs
// one operation on the in-process board with a clock that only the host moves.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "board/board_channel.h"
#include "core/devices/device_database.h"
#include "core/devices/model_application.h"
#include "core/engine/chip_operations.h"
#include "core/engine/engine_host.h"
#include "core/engine/program_state.h"

namespace corvanel::fuzz {

// Takes small choices off the front of the input; the rest is the payload.
class Choices {
public:
    Choices(const std::uint8_t* data, std::size_t size)
        : data_(reinterpret_cast<const char*>(data)), size_(size) {}

    // 0..count-1; 0 once the bytes have run out.
    std::uint32_t pick(std::uint32_t count) {
        if (count == 0 || used_ >= size_) {
            return 0;
        }
        return static_cast<std::uint8_t>(data_[used_++]) % count;
    }
    // Low byte first.
    std::uint32_t word() {
        const std::uint32_t low = pick(256);
        return low | (pick(256) << 8);
    }
    [[nodiscard]] std::string_view rest() const { return {data_ + used_, size_ - used_}; }

private:
    const char* data_;
    std::size_t size_;
    std::size_t used_ = 0;
};

// The device file the programs ship, loaded once.
inline const DeviceDatabase& shipped_database() {
    static const DeviceDatabase database = [] {
        DeviceDatabase loaded;
        const DatabaseLoadResult result =
            load_device_database(CORVANEL_SOURCE_DIR "/data/corvaneldevices.txt", loaded);
        if (result.status != DatabaseStatus::Loaded) {
            std::abort();
        }
        return loaded;
    }();
    return database;
}

// Gives `state` the shipped database and one of its models, chosen by the input,
// with a blank image; false when the model cannot be applied.
inline bool apply_chosen_model(Choices& choices, ProgramState& state) {
    state.database = shipped_database();
    const int number = 1 + static_cast<int>(choices.pick(state.database.model_count()));
    if (!apply_model(state.database, number, state.model, state.image)) {
        return false;
    }
    state.image.clear_image();
    return true;
}

// The same into a model and image of the caller's, from the shipped database as
// it is (a ProgramState would copy the database for every input).
inline bool apply_chosen_model(Choices& choices, ActiveModel& model, MemoryImage& image) {
    const DeviceDatabase& database = shipped_database();
    const int number = 1 + static_cast<int>(choices.pick(database.model_count()));
    if (!apply_model(database, number, model, image)) {
        return false;
    }
    image.clear_image();
    return true;
}

// A host that shows nothing, answers questions with `answer`, and whose clock
// moves on only with the script's pauses and the idle passes of the loop.
class QuietHost : public NullEngineHost {
public:
    int show_message(std::string_view, int kind, std::string_view) override {
        return (kind & ~message_kind::kDefaultButton2) == message_kind::kQuestion
                   ? answer
                   : message_result::kOk;
    }
    void set_status_text(std::string_view text) override { status = std::string(text); }
    void pause(int milliseconds) override { now += milliseconds / 1000.0; }
    double clock_seconds() override { return now; }
    void end_program() override { ended = true; }

    int answer = message_result::kYes;
    double now = 1.0;
    bool ended = false;
    std::string status;
};

// Runs the started operation to its end the way the hosts do: a notification
// while answers wait, else time passes and the time-out is checked. Aborts
// (a finding) when the operation would run on for ever.
inline void run_to_end(ProgramState& state, BoardChannel& channel, QuietHost& host) {
    for (int idle = 0; state.runner.running() && !host.ended;) {
        if (channel.receive_threshold() == 1 && channel.has_waiting()) {
            state.link.MSComm1_OnComm();
            idle = 0;
            continue;
        }
        host.now += 1.0;
        (void)check_timeout(state, host.now);
        if (++idle > 20) {
            std::abort();  // the time-out did not end a silent operation
        }
    }
}

}  // namespace corvanel::fuzz
