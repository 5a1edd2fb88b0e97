// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The device database the programs ship, as the build copies it beside them.

#include <cstdlib>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "core/devices/config_fields.h"
#include "core/devices/device_database.h"
#include "core/devices/model_application.h"
#include "core/engine/program_state.h"

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

// Loads the shipped database into `database` afresh, for a test that must see the
// load succeed.
[[nodiscard]] inline DatabaseLoadResult load_shipped_database(DeviceDatabase& database) {
    database = DeviceDatabase{};
    return load_device_database(kShippedFile, database);
}

// The number of the model `name` in `database`; 0 when it has none.
[[nodiscard]] inline int model_number(const DeviceDatabase& database, std::string_view name) {
    for (int number = 1; number <= database.model_count(); ++number) {
        if (database.model(number).name == name) {
            return number;
        }
    }
    return 0;
}

// The models that use the algorithms in a way of their own: the first of each set
// of algorithms, calibration keys, write size and configuration word count, and
// with `wider` also of each configuration mask, EEPROM size and supply (LF).
inline std::vector<std::string> one_model_per_algorithm(bool wider) {
    std::set<std::string> seen;
    std::vector<std::string> names;
    for (const DeviceModel& model : shipped_database().models) {
        std::string algorithms = model.erasealg + '|' + model.programalg + '|' + model.readalg +
                                 '|' + model.blankcheckalg + '|' + model.verifyalg + '|' +
                                 model.idalg + '|' + model.calflash + '|' + model.calconfig + '|' +
                                 model.pagesize + '|' + model.configwords;
        if (wider) {
            algorithms += '|' + model.configmask + '|' + model.eeprom + '|' +
                          (model.name.find("LF") != std::string::npos ? "LF" : "F");
        }
        if (seen.insert(algorithms).second) {
            names.push_back(model.name);
        }
    }
    return names;
}

// Whether the environment asks for the narrower sets of the sanitizer run
// (CORVANEL_TEST_MODELS=one-per-algorithm).
inline bool narrow_model_sets() {
    const char* subset = std::getenv("CORVANEL_TEST_MODELS");
    return subset != nullptr && std::string_view(subset) == "one-per-algorithm";
}

// Every model; with CORVANEL_TEST_MODELS=one-per-algorithm in the environment (the
// sanitizer run, where every model would take too long) only the first model of
// each set of algorithms, calibration keys, write size and configuration word
// count: every algorithm still runs, once for each way of using it.
inline std::vector<std::string> shipped_model_names() {
    if (narrow_model_sets()) {
        return one_model_per_algorithm(false);
    }
    std::vector<std::string> names;
    for (const DeviceModel& model : shipped_database().models) {
        names.push_back(model.name);
    }
    return names;
}

// For the tests whose outcome depends on the model only through its algorithms,
// masks, EEPROM and supply (every model already runs all five operations): the
// wider one-per-algorithm set, or the narrower one where the environment asks.
inline std::vector<std::string> shipped_model_variants() {
    return one_model_per_algorithm(!narrow_model_sets());
}

// The configuration word fields the programs ship (the code protection bits).
inline const ConfigFieldTable& shipped_config_fields() {
    static const ConfigFieldTable table = [] {
        ConfigFieldTable loaded;
        (void)load_config_fields(std::string(CORVANEL_BIN_DIR) + "/corvanelconfig.txt", loaded);
        return loaded;
    }();
    return table;
}

// Gives `state` the shipped database with the model `name` applied and a blank
// image; answers whether the model was found and applied.
inline bool apply_shipped_model(ProgramState& state, const std::string& name) {
    state.database = shipped_database();
    bool found = false;
    for (int number = 1; number <= state.database.model_count(); ++number) {
        if (state.database.model(number).name == name) {
            state.selected_model = number;
            found = true;
        }
    }
    const bool applied =
        found && apply_model(state.database, state.selected_model, state.model, state.image);
    state.image.clear_image();
    // The emulated board gives each part a supply it takes: an LF part is not
    // asked about (its Vdd would otherwise be unknown).
    if (name.find("LF") != std::string::npos) {
        state.board_vdd = 3.3;
    }
    return applied;
}

}  // namespace corvanel::test
