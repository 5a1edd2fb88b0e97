// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/app/operation_settings.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <map>
#include <optional>
#include <variant>

#include "core/engine/program_state.h"
#include "platform/app/settings_store.h"

namespace corvanel {
namespace {

namespace names = setting_names;
using Stored = std::map<const char*, std::variant<const char*, std::int32_t>>;

// What differs from an empty store ("Send-Ahead Window" absent means automatic).
struct Expected {
    std::optional<double> vpp = {};
    std::optional<double> vdd = {};
    bool fast = false;
    bool low_voltage = false;
    std::int32_t window = 0;
    bool automatic = true;
    const char* error = "";
};

struct Case {
    const char* what;
    Stored stored;
    std::optional<OperationOptions> options;  // nothing: the window, which has none
    Expected expected;
};

const OperationOptions kTool;

// Stored values and options as the window, the tool and the link read them: the
// units and separators a user types, values out of range or not numbers at all,
// an option over a stored value, and the window's own rule for a fixed window.
const Case kCases[] = {
    {"empty store", {}, std::nullopt, {}},
    {"volts as typed",
     {{names::board_vpp, "12,5 V"}, {names::board_vdd, " 3.3v "}},
     std::nullopt,
     {.vpp = 12.5, .vdd = 3.3}},
    {"stored volts out of range", {{names::board_vpp, "25"}, {names::board_vdd, "12"}}, kTool, {}},
    {"stored volts no number", {{names::board_vpp, "high"}, {names::board_vdd, "0"}}, kTool, {}},
    {"options over stored volts",
     {{names::board_vpp, "13"}, {names::board_vdd, "5"}},
     OperationOptions{.vpp = "9 V", .vdd = "3.3"},
     {.vpp = 9.0, .vdd = 3.3}},
    {"--vdd above the highest Vdd",
     {{names::board_vdd, "5"}},
     OperationOptions{.vdd = "9"},
     {.error = "--vdd 9 is not a voltage (volts, up to 6.5)"}},
    {"--vpp no voltage, named first",
     {},
     OperationOptions{.vpp = "13x", .vdd = "9"},
     {.error = "--vpp 13x is not a voltage (volts, up to 20)"}},
    {"fast link stored", {{names::fast_link, 1}}, std::nullopt, {.fast = true}},
    {"--fast over a stored 0",
     {{names::fast_link, 0}},
     OperationOptions{.fast = true},
     {.fast = true}},
    {"low voltage stored",
     {{names::programming_entry, "Low voltage"}},
     std::nullopt,
     {.low_voltage = true}},
    {"an edited entry", {{names::programming_entry, "low"}}, kTool, {}},
    {"--low-voltage over the stored entry",
     {{names::programming_entry, "High voltage"}},
     OperationOptions{.low_voltage = true},
     {.low_voltage = true}},
    {"the tool's stored window",
     {{names::send_ahead_window, 16}},
     kTool,
     {.window = 16, .automatic = false}},
    {"the window has no fixed window",
     {{names::send_ahead_window, 16}},
     std::nullopt,
     {.automatic = false}},
    {"stored window out of range",
     {{names::send_ahead_window, 99999}},
     kTool,
     {.automatic = false}},
    {"--window over Automatic",
     {{names::send_ahead_window, "automatic"}},
     OperationOptions{.window = 32},
     {.window = 32, .automatic = false}},
    {"--window auto over a number",
     {{names::send_ahead_window, 16}},
     OperationOptions{.window_auto = true},
     {}},
    {"--window beyond the largest",
     {},
     OperationOptions{.window = kMaxSendAheadWindow + 1},
     {.error = "--window 4097 is not a number from 0 to 4096 (or auto)"}},
};

TEST(OperationSettings, BuiltFromStoreAndOptions) {
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.what);
        QTemporaryDir dir;
        const SettingsStore store(dir.filePath(QStringLiteral("settings.ini")));
        for (const auto& [name, value] : c.stored) {
            if (const auto* text = std::get_if<const char*>(&value)) {
                store.put_string(QString::fromLatin1(name), QString::fromLatin1(*text));
            } else {
                store.put_number(QString::fromLatin1(name), std::get<std::int32_t>(value));
            }
        }
        const OperationSettingsResult built =
            build_operation_settings(store, c.options ? &*c.options : nullptr);
        const Expected& want = c.expected;
        EXPECT_EQ(built.error.toStdString(), want.error);
        if (!built.ok()) {
            continue;
        }
        const OperationSettings& got = built.settings;
        EXPECT_EQ(got.board_vpp, want.vpp);
        EXPECT_EQ(got.board_vdd, want.vdd);
        EXPECT_EQ(got.fast_link, want.fast);
        EXPECT_EQ(got.programming_entry == ProgrammingEntry::LowVoltage, want.low_voltage);
        EXPECT_EQ(got.window, want.window);
        EXPECT_EQ(got.auto_window, want.automatic);
        EXPECT_EQ(got.calibration_folder, store.files_folder());
    }
}

// A window the link measured stays until the next operation chooses again; a
// fixed one replaces it.
TEST(OperationSettings, AppliedWithoutLosingAMeasuredWindow) {
    ProgramState state;
    state.runner.window = 21;
    OperationSettings settings{.board_vdd = 3.3, .auto_window = true};
    apply_operation_settings(settings, state);
    EXPECT_EQ(state.runner.window, 21);
    EXPECT_EQ(state.board_vdd, 3.3);
    settings.auto_window = false;
    apply_operation_settings(settings, state);
    EXPECT_EQ(state.runner.window, 0);
    EXPECT_FALSE(state.auto_window);
}

}  // namespace
}  // namespace corvanel
