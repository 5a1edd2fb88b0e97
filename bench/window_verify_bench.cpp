// SPDX-License-Identifier: GPL-3.0-or-later
// How much slower the window runs an operation than the command-line tool, on
// the in-process board where the line costs nothing and only the programs' own
// work counts (the window's event loop, status line and tables).
//
// Both program a full random image of the chosen chip onto a virtual board,
// then verify it --runs times; the figures are the "... seconds elapsed" each
// program reports. The window runs offscreen unless QT_QPA_PLATFORM says
// otherwise. It is run by hand (see docs/benchmarks.md); it is no test:
//   window_verify_bench --bin build/bin --model PIC16F877A --runs 10

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <numeric>
#include <optional>
#include <string>
#include <vector>

#include "bench_support.h"
#include "core/devices/device_database.h"
#include "core/devices/model_application.h"
#include "core/engine/program_state.h"
#include "core/image/intel_hex_writer.h"
#include "gui/dialogs/message_box.h"
#include "gui/ui/main_window.h"
#include "platform/app/app_state.h"
#include "platform/app/settings_store.h"
#include "platform/link/serial_link.h"

namespace {

using namespace corvanel;
using bench::elapsed_of;

// Runs a command and answers its output; nothing when it fails.
std::optional<std::string> run(const std::string& command) {
    std::string output;
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (pipe == nullptr) {
        return std::nullopt;
    }
    char buffer[4096];
    std::size_t n = 0;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) {
        output.append(buffer, n);
    }
    const int status = pclose(pipe);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "%s failed:\n%s\n", command.c_str(), output.c_str());
        return std::nullopt;
    }
    return output;
}

// Clicks a command button and runs the event loop until the result stands in
// the status line; answers the seconds it reports.
std::optional<double> click_and_wait(Form1& window, int button) {
    window.Command[static_cast<std::size_t>(button)]->click();
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (window.status_text().contains(QStringLiteral("elapsed")) ||
            window.status_text().startsWith(QStringLiteral("Programmer"))) {
            loop.quit();
        }
    });
    QTimer::singleShot(600000, &loop, &QEventLoop::quit);
    poll.start(5);
    loop.exec();
    const std::string status = window.status_text().toStdString();
    if (!status.starts_with("Chip programmed.") && !status.starts_with("Chip verified.")) {
        std::fprintf(stderr, "window: %s\n", status.c_str());
        return std::nullopt;
    }
    return elapsed_of(status);
}

struct Summary {
    double mean = 0;
    double best = 0;
};

Summary summarise(const std::vector<double>& seconds) {
    return {
        std::accumulate(seconds.begin(), seconds.end(), 0.0) / static_cast<double>(seconds.size()),
        *std::min_element(seconds.begin(), seconds.end())};
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    std::string bin = QDir(QApplication::applicationDirPath()).filePath("../bin").toStdString();
    std::string model_name = "PIC16F877A";
    int runs = 10;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string arg = argv[i];
        if (arg == "--bin") {
            bin = argv[i + 1];
        } else if (arg == "--model") {
            model_name = argv[i + 1];
        } else if (arg == "--runs") {
            runs = std::max(1, std::atoi(argv[i + 1]));
        } else {
            std::fprintf(stderr,
                         "Usage: window_verify_bench [--bin DIR] [--model NAME] [--runs N]\n");
            return 2;
        }
    }
    const std::string tool = bin + "/corvanel";
    const std::string devices = bin + "/corvaneldevices.txt";

    QTemporaryDir folder;
    SettingsStore store(folder.filePath(QStringLiteral("settings.ini")));
    install_settings(&store);
    ProgramState program;
    install_state(&program);
    program_folder() = folder.path() + QLatin1Char('/');
    if (load_device_database(devices, program.database).status != DatabaseStatus::Loaded) {
        std::fprintf(stderr, "cannot load %s\n", devices.c_str());
        return 1;
    }
    const int number = bench::model_number(program.database, model_name);
    if (number == 0) {
        std::fprintf(stderr, "no model %s\n", model_name.c_str());
        return 1;
    }
    // Every COM port of the window leads to the in-process board.
    const QString ports = folder.filePath(QStringLiteral("ports"));
    QDir().mkpath(ports);
    for (int n = 1; n <= 16; ++n) {
        QFile entry(ports + QStringLiteral("/COM%1").arg(n));
        if (!entry.open(QIODevice::WriteOnly)) {
            return 1;
        }
        entry.write("virtual");
    }
    set_message_box_interceptor([](const QString& text, int, const QString&) {
        std::fprintf(stderr, "message: %s\n", text.toStdString().c_str());
        return 1;
    });
    SerialLink link(program);
    link.MSComm1.set_ports_folder(ports);
    store.put_string(QStringLiteral("Microcontroller Model"), QString::number(number));
    // Program All alone: the Verify that would follow it by default keeps the
    // commands locked (the timed Verify's click would be lost) and ends with a
    // status of its own, without "seconds elapsed".
    store.put_number(QString::fromLatin1(setting_names::verify_after_program), 0);
    Form1 window;
    window.set_serial_link(&link);
    window.load_sequence();
    window.show();

    // A full random image, the same for both programs.
    bench::fill_random(program.image, 12345);
    const std::string hex = folder.filePath(QStringLiteral("image.hex")).toStdString();
    if (!save_hex_file(hex, program.image).saved) {
        std::fprintf(stderr, "cannot write %s\n", hex.c_str());
        return 1;
    }

    std::vector<double> window_seconds;
    if (!click_and_wait(window, 0)) {
        return 1;
    }
    for (int i = 0; i < runs; ++i) {
        const auto seconds = click_and_wait(window, 4);
        if (!seconds) {
            return 1;
        }
        window_seconds.push_back(*seconds);
    }

    const std::string state = folder.filePath(QStringLiteral("chip.hex")).toStdString();
    const std::string base = "'" + tool + "' --devices '" + devices + "' --model " + model_name +
                             " --port 'virtual:" + state + "' ";
    if (!run(base + "program '" + hex + "'")) {
        return 1;
    }
    std::vector<double> tool_seconds;
    for (int i = 0; i < runs; ++i) {
        const auto output = run(base + "verify '" + hex + "'");
        const auto seconds = output ? elapsed_of(*output) : std::nullopt;
        if (!seconds) {
            return 1;
        }
        tool_seconds.push_back(*seconds);
    }

    const Summary w = summarise(window_seconds);
    const Summary t = summarise(tool_seconds);
    std::printf("Verify of a full %s on the in-process board, %d runs each\n", model_name.c_str(),
                runs);
    std::printf("%-8s %9s %9s\n", "", "mean s", "best s");
    std::printf("%-8s %9.3f %9.3f\n", "window", w.mean, w.best);
    std::printf("%-8s %9.3f %9.3f\n", "tool", t.mean, t.best);
    std::printf("window / tool: %.2f (mean), %.2f (best)\n", w.mean / t.mean, w.best / t.best);
    set_message_box_interceptor({});
    install_state(nullptr);
    install_settings(nullptr);
    return 0;
}
