#pragma once

// The device database the programs ship, as the build copies it beside them.

#include <string>
#include <vector>

#include "core/devices/device_database.h"

namespace corvanel::test {

inline const std::string kShippedFile = std::string(CORVANEL_BIN_DIR) + "/corvaneldevices.txt";

inline const DeviceDatabase& shipped_database() {
    static const DeviceDatabase database = [] {
        DeviceDatabase loaded;
        (void)load_device_database(kShippedFile, loaded);
        return loaded;
    }();
    return database;
}

inline std::vector<std::string> shipped_model_names() {
    std::vector<std::string> names;
    for (const DeviceModel& model : shipped_database().models) {
        names.push_back(model.name);
    }
    return names;
}

}  // namespace corvanel::test
