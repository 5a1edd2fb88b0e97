// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/gang.h"

#include <QThread>

#include <memory>
#include <vector>

#include "cli/tool.h"

namespace corvanel {

int run_gang(const Options& options) {
    return run_gang(options, options.ports);
}

int run_gang(const Options& options, const QStringList& ports) {
    if (options.command != QLatin1String("program") || !options.repeat) {
        return usage_error(
            QStringLiteral("several --port options are for program --repeat: one "
                           "series of chips per board"));
    }
    for (qsizetype i = 0; i < ports.size(); ++i) {
        if (ports.indexOf(ports[i]) != i) {
            // Two series on one board would take each other's answers.
            return usage_error(QStringLiteral("--port %1 is given twice").arg(ports[i]));
        }
    }
    GangShared shared;
    if (!options.serial.isEmpty()) {
        std::string error;
        const auto first = parse_serial_text(options.serial.toStdString(), error);
        if (!first) {
            return usage_error(QStringLiteral("--serial %1: %2")
                                   .arg(options.serial, QString::fromStdString(error)));
        }
        shared.serials.emplace(*first);
    }

    struct Board {
        int exit = run_exit::kDone;
        RepeatCounts counts;
    };
    std::vector<Board> boards(static_cast<std::size_t>(ports.size()));
    std::vector<std::unique_ptr<QThread>> threads;
    print_lines(stdout, "Programming on " + std::to_string(ports.size()) + " boards at once: " +
                            ports.join(QStringLiteral(", ")).toStdString() + ".");
    // From here until every board has ended, a stop signal is only noted: each
    // board switches its voltages off and ends its series.
    ConsoleHost::hold_ports_open(true);
    for (qsizetype i = 0; i < ports.size(); ++i) {
        threads.emplace_back(QThread::create([&options, &shared, &ports, &boards, i] {
            set_line_prefix(ports[i].toStdString() + ": ");
            Options mine = options;
            mine.port = ports[i];
            mine.ports.clear();
            Tool tool(std::move(mine), &shared);
            Board& board = boards[static_cast<std::size_t>(i)];
            board.exit = tool.run();
            board.counts = tool.repeat_counts();
        }));
        threads.back()->start();
    }
    for (const auto& thread : threads) {
        thread->wait();
    }
    ConsoleHost::defer_interrupts();
    ConsoleHost::hold_ports_open(false);

    RepeatCounts all;
    int result = run_exit::kDone;
    for (const Board& board : boards) {
        all.passed += board.counts.passed;
        all.failed += board.counts.failed;
        all.cancelled += board.counts.cancelled;
        if (result == run_exit::kDone) {
            result = board.exit;
        }
    }
    print_lines(stdout, gang_summary_text(static_cast<int>(ports.size()), all.passed, all.failed,
                                          all.cancelled));
    if (shared.serials) {
        const auto unused = shared.serials->unused_returns();
        if (!unused.empty()) {
            // Handed back by chips that failed and taken by no chip since.
            std::string text = "Serial numbers not used:";
            for (const std::uint64_t number : unused) {
                text += " " + std::to_string(number);
            }
            print_lines(stdout, text + ".");
        }
    }
    if (const int signal_number = ConsoleHost::interrupt_signal(); signal_number != 0) {
        return 128 + signal_number;
    }
    return result;
}

}  // namespace corvanel
