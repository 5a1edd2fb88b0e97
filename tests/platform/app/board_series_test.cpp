// SPDX-License-Identifier: GPL-3.0-or-later
// One board's production series as the window's several-boards mode runs it:
// its chips' starts and verdicts come as events, not as lines to be read
// back; a stop ends it with its voltages off; what is refused before the
// port opens comes back as the exit code with its line and no chip events.

#include "platform/app/board_series.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include <string>
#include <vector>

#include "support/qt_test_support.h"
#include "support/shipped_database.h"

namespace corvanel::test {
namespace {

constexpr const char* kProgram =
    ":020000000528D1\n"
    ":00000001FF\n";

struct Case {
    const char* what;
    const char* model;
    const char* serial;  // --serial as the window writes it; empty for none
    int exit;
    std::int64_t passed;
    const char* line;  // a line the series must have printed
};

TEST(BoardSeries, ReportsChipsAsEventsAndRefusalsAsExitCodes) {
    ensure_app();
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    // The series reads the stored settings as the tool does: an empty store here.
    const QByteArray saved_config = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", folder.path().toUtf8());
    const QString hex = folder.filePath(QStringLiteral("series.hex"));
    {
        QFile file(hex);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(kProgram);
    }
    const Case cases[] = {
        {"a chip passes; the stop after it ends the series", "PIC16F628A", "7:1@F:7F0/2", 130, 1,
         "Serial number 7 at "},
        {"a model without a device ID cannot watch its socket", "PIC16F84", "", run_exit::kUsage, 0,
         "corvanel: PIC16F84 has no device ID"},
        {"a serial number that is no number", "PIC16F628A", "x@F:7F0", run_exit::kUsage, 0,
         "corvanel: --serial x@F:7F0: "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Options options;
        options.command = QStringLiteral("program");
        options.args = QStringList{hex};
        options.repeat = true;
        options.verify = true;
        options.model = QString::fromLatin1(c.model);
        options.devices = QString::fromStdString(kShippedFile);
        options.serial = QString::fromLatin1(c.serial);
        options.port = QStringLiteral("virtual:") + folder.filePath(QStringLiteral("chip.hex"));
        GangShared shared;
        if (*c.serial != '\0') {
            // As the window hands its boards one series of numbers.
            std::string error;
            const auto first = parse_serial_text(c.serial, error);
            if (first) {
                shared.serials.emplace(*first);
            }
        }
        std::vector<std::string> lines;
        int started = 0;
        std::vector<ChipVerdict> verdicts;
        SeriesEvents events;
        events.chip_started = [&] { ++started; };
        events.chip_ended = [&](ChipVerdict verdict) {
            verdicts.push_back(verdict);
            // The in-process chip never leaves its socket: the series would wait for ever.
            request_series_stop();
        };
        clear_series_stop();
        set_line_sink([&](std::string_view line) { lines.emplace_back(line); });
        const BoardSeriesResult result = run_board_series(options, &shared, events);
        set_line_sink({});
        clear_series_stop();

        std::string all;
        for (const std::string& line : lines) {
            all += line + "\n";
        }
        EXPECT_EQ(result.exit, c.exit) << all;
        EXPECT_EQ(result.counts.passed, c.passed);
        EXPECT_EQ(result.counts.failed, 0);
        EXPECT_FALSE(result.left_powered) << "every way out switches the voltages off";
        EXPECT_NE(all.find(c.line), std::string::npos) << all;
        EXPECT_EQ(started, static_cast<int>(c.passed));
        EXPECT_EQ(verdicts, std::vector<ChipVerdict>(c.passed, ChipVerdict::Pass));
        for (const std::string& line : lines) {
            // The verdict came as an event: no tile has to find it among the lines.
            EXPECT_NE(line, "PASS");
            EXPECT_NE(line, "FAIL");
        }
    }
    if (saved_config.isEmpty()) {
        qunsetenv("XDG_CONFIG_HOME");
    } else {
        qputenv("XDG_CONFIG_HOME", saved_config);
    }
}

}  // namespace
}  // namespace corvanel::test
