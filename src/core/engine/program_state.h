#pragma once

// The program-wide single instances, gathered in one object created at start-up
// so that every test can create its own.

#include <optional>
#include <string>

#include "core/devices/device_database.h"
#include "core/devices/model_application.h"
#include "core/engine/engine_host.h"
#include "core/engine/mismatch_report.h"
#include "core/engine/script_runner.h"
#include "core/image/memory_image.h"
#include "core/link/programmer_link.h"

namespace corvanel {

struct ProgramState {
    // Wires the link to the interpreter (one step per received byte) and to the
    // host's event processing. The object refers to itself, so it never moves.
    ProgramState();
    ProgramState(const ProgramState&) = delete;
    ProgramState& operator=(const ProgramState&) = delete;

    DeviceDatabase database;
    int selected_model = 1;
    ActiveModel model;
    MemoryImage image;
    MismatchReport report;
    ProgrammerLink link;
    ScriptRunner runner;

    // Clock reading when the running operation started, and the elapsed time of
    // the last finished operation ("12.25").
    double start_time = 0.0;
    std::string elapsed_text;
    // The last operation ended without its result: aborted (out of step, time-out,
    // a script that would not end) rather than finished by its completion routine.
    bool operation_failed = false;
    // The image as it was before the running Read All cleared it; put back when
    // the read fails, so that a failed read changes nothing.
    std::optional<MemoryImage> image_before_read;
    // The last Program All or Erase All ended at its device ID check: the chip in
    // the socket was not the model's and the user did not go on.
    bool operation_refused = false;
    // The user asked the running operation to stop: it ends at the board's next
    // answer (see operation_stop.h).
    bool stop_requested = false;

    // Whoever shows the results: the main window, the command-line tool or a test
    // (not owned). Without one, a host that shows nothing.
    EngineHost* host = nullptr;
    [[nodiscard]] EngineHost& engine_host() { return host != nullptr ? *host : null_host_; }

private:
    NullEngineHost null_host_;
};

}  // namespace corvanel
