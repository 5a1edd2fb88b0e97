// SPDX-License-Identifier: GPL-3.0-or-later
// How quickly the model chooser "Select Microcontroller" opens and follows the
// typing in its filter box with a device file larger than the shipped one.
//
// A generated file of --models N models (default 400) in families of ten, a
// third of them 8-bit parts, is loaded as start-up loads the shipped one. The
// figures are the median and the worst of --runs R (default 15) of: opening the
// chooser (its entries built, sorted, shown and painted once), each key typed
// into the filter ("16F1023", then "xx" to the family name "16F1023xx"),
// the Backspace that brings every model back, and a click that moves the mark.
// The window runs offscreen unless QT_QPA_PLATFORM says otherwise. It is run by
// hand (see docs/benchmarks.md); it is no test:
//   model_chooser_bench --models 400 --runs 15

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTest>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "core/devices/device_database.h"
#include "core/devices/model_application.h"
#include "core/engine/program_state.h"
#include "gui/devices/model_chooser.h"
#include "gui/dialogs/color_theme.h"
#include "gui/dialogs/theme_chooser.h"
#include "platform/app/app_state.h"

namespace {

using namespace corvanel;

// Families of ten parts ("16F1005xx": PIC16F100500 ...), each with a section of
// its own; every third family takes 8-bit commands and its first part rests on
// one source.
std::string device_file(int models) {
    std::string text;
    int slot = -1;
    for (int k = 0; k < models; ++k) {
        const int family = k / 10;
        const std::string stem = "16F" + std::to_string(1000 + family);
        if (k % 10 == 0) {
            // Slots 0 to 63: families beyond that share a slot, as the file allows.
            slot = family % 64;
            text += "# ==== Slot " + std::to_string(slot) + ": PIC" + stem + "00 ====\r\n";
            text += "# Family: " + stem + "xx\r\n";
            text += "programalgdef " + std::to_string(slot) + ": begin,end\r\n";
        }
        text += "model: PIC" + stem + std::to_string(10 + k % 10) + "\r\n";
        text += "flash: " + std::to_string(1024 << (k % 4)) + "\r\neeprom: 256\r\n";
        text += "configerased: 3FFF 3FFF\r\nconfig2used: false\r\nvoltageseq: vppvdd\r\n";
        text += "vpp: 8.0 9.0\r\nvdd: 1.8 5.5\r\n";
        text += "programalg: " + std::to_string(slot) + "\r\n";
        if (family % 3 == 0) {
            text += "commandset: 8bit\r\n";
            text += k % 10 == 0 ? "sources: 1 (PM)\r\n" : "sources: 5 (AP,GP,OP,PL,PM)\r\n";
        }
    }
    return text;
}

struct Figures {
    std::vector<double> ms;
    void add(double value) { ms.push_back(value); }
    [[nodiscard]] double median() const {
        std::vector<double> sorted = ms;
        std::sort(sorted.begin(), sorted.end());
        return sorted.empty() ? 0 : sorted[sorted.size() / 2];
    }
    [[nodiscard]] double worst() const {
        return ms.empty() ? 0 : *std::max_element(ms.begin(), ms.end());
    }
};

// Runs `act` and the window events it leaves (layout, painting); answers milliseconds.
double timed(const std::function<void()>& act) {
    QElapsedTimer clock;
    clock.start();
    act();
    QApplication::processEvents();
    return static_cast<double>(clock.nsecsElapsed()) / 1e6;
}

int number_after(int argc, char** argv, const char* name, int fallback) {
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], name) == 0) {
            return std::max(1, std::atoi(argv[i + 1]));
        }
    }
    return fallback;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    const int models = number_after(argc, argv, "--models", 400);
    const int runs = number_after(argc, argv, "--runs", 15);

    ProgramState program;
    install_state(&program);
    loadtheme_named(QStringLiteral("Original Lite"));
    const DatabaseLoadResult loaded =
        parse_device_database(device_file(models), "generated", program.database);
    if (loaded.status != DatabaseStatus::Loaded) {
        std::fprintf(stderr, "the generated device file does not load: %s\n",
                     loaded.message.c_str());
        return 1;
    }
    program.selected_model = models / 2;
    if (!apply_model(program.database, program.selected_model, program.model, program.image)) {
        std::fprintf(stderr, "model %d cannot be applied\n", program.selected_model);
        return 1;
    }

    const std::vector<char> keys = {'1', '6', 'F', '1', '0', '2', '3', 'x', 'x'};
    Figures open;
    std::vector<Figures> typed(keys.size());
    Figures backspace;
    Figures click;
    int shown_after_typing = 0;
    for (int run = 0; run < runs; ++run) {
        Form5* chooser = nullptr;
        open.add(timed([&] {
            chooser = new Form5;
            chooser->show();
        }));
        QLineEdit* filter = chooser->filter_box();
        for (std::size_t i = 0; i < keys.size(); ++i) {
            typed[i].add(timed([&] { QTest::keyClick(filter, keys[i]); }));
        }
        shown_after_typing = 0;
        for (int k = 1; k <= chooser->entries(); ++k) {
            shown_after_typing += chooser->opcija(k)->isVisibleTo(chooser) ? 1 : 0;
        }
        filter->selectAll();
        backspace.add(timed([&] { QTest::keyClick(filter, Qt::Key_Backspace); }));
        click.add(timed([&] { QTest::mouseClick(chooser->opcija(1), Qt::LeftButton); }));
        chooser->Command2_Click();
        delete chooser;
    }
    install_state(nullptr);

    std::printf("model chooser, %d models, %d runs (milliseconds, median / worst)\n", models, runs);
    std::printf("  %-34s %8.2f / %8.2f\n", "open (build, sort, show, paint)", open.median(),
                open.worst());
    std::string text;
    for (std::size_t i = 0; i < keys.size(); ++i) {
        text += keys[i];
        const std::string label =
            "type '" + std::string(1, keys[i]) + "' (filter \"" + text + "\")";
        std::printf("  %-34s %8.2f / %8.2f\n", label.c_str(), typed[i].median(), typed[i].worst());
    }
    std::printf("  %-34s %8.2f / %8.2f\n", "Backspace over all (every model)", backspace.median(),
                backspace.worst());
    std::printf("  %-34s %8.2f / %8.2f\n", "click a model (mark moves)", click.median(),
                click.worst());
    std::printf("  models shown for \"16F1023xx\": %d\n", shown_after_typing);
    return 0;
}
