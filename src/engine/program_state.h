#pragma once

// The program-wide single instances, gathered in one object created at start-up
// so that every test can create its own.

#include "devices/device_database.h"
#include "devices/model_application.h"
#include "engine/mismatch_report.h"
#include "image/memory_image.h"

namespace corvanel {

struct ProgramState {
    DeviceDatabase database;
    int selected_model = 1;
    ActiveModel model;
    MemoryImage image;
    MismatchReport report;
};

}  // namespace corvanel
