// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/app/program_entry.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include <exception>

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QLockFile>
#include <QStandardPaths>
#include <QTimer>

#include "core/engine/program_state.h"
#include "gui/dialogs/color_theme.h"
#include "gui/dialogs/message_box.h"
#include "gui/ui/main_window.h"
#include "platform/app/app_state.h"
#include "platform/app/crash_voltages_off.h"
#include "platform/app/data_files.h"
#include "platform/app/settings_store.h"
#include "platform/app/stop_signals.h"
#include "platform/link/port_map.h"
#include "platform/link/serial_link.h"

namespace corvanel {

QString single_instance_lock_path() {
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty()) {
        folder = QDir::tempPath();
    }
    return folder + QStringLiteral("/tavrelix-corvanel.lock");
}

bool acquire_single_instance(QLockFile& lock) {
    // A lock counts as stale only when its owner no longer runs, however long
    // the first copy has been running.
    lock.setStaleLockTime(std::chrono::hours(24 * 365 * 100));
    return lock.tryLock(0);
}

DatabaseStartup load_database_for_startup(const QString& path, ProgramState& program) {
    const DatabaseLoadResult result = load_device_database(path.toStdString(), program.database);
    switch (result.status) {
        case DatabaseStatus::Loaded:
            return {true, {}};
        case DatabaseStatus::NoModels:
            return {false, {}};
        case DatabaseStatus::FileError:
        case DatabaseStatus::BadLine:
            break;
    }
    QString message = QString::fromStdString(result.message);
    if (message.isEmpty()) {
        message = QStringLiteral("The device database %1 cannot be read.").arg(path);
    }
    return {false, message};
}

QString window_usage_text(const QString& program_folder) {
    const DeviceDatabaseLookup lookup = find_device_database(program_folder);
    return QStringLiteral(
               "Usage: tavrelix-corvanel [--help | --version] [FILE.hex]\n"
               "\n"
               "The Tavrelix Corvanel window: programs 14-bit PIC microcontrollers through a\n"
               "programmer board on a serial port, and loads, edits and saves Intel HEX files.\n"
               "Only one copy runs at a time; a second start hands FILE.hex (if given)\n"
               "to the running window and ends at once.\n"
               "\n"
               "  -h, --help    this text\n"
               "  --version     the program's name and version\n"
               "\n"
               "Files:\n"
               "  device database  %1\n"
               "                   (beside the program), else\n"
               "                   %2\n"
               "  settings         %3\n"
               "  ports folder     %4\n"
               "\n"
               "The same operations on the command line: corvanel --help.")
        .arg(lookup.places.value(0), lookup.places.value(1), SettingsStore::default_settings_file(),
             default_ports_folder() + QLatin1Char('/'));
}

namespace {

bool is_help(const QString& arg) {
    return arg == QLatin1String("--help") || arg == QLatin1String("-h");
}

bool is_version(const QString& arg) {
    return arg == QLatin1String("--version");
}

// --help and --version need no display: they are answered before the window
// toolkit starts.
std::optional<int> answer_information_option(int argc, char** argv, const QString& version) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i) {
        arguments << QString::fromLocal8Bit(argv[i]);
    }
    if (std::none_of(arguments.begin() + (arguments.isEmpty() ? 0 : 1), arguments.end(),
                     [](const QString& arg) { return is_help(arg) || is_version(arg); })) {
        return std::nullopt;
    }
    const QCoreApplication core(argc, argv);
    const auto text = information_text(
        arguments, make_program_folder(QCoreApplication::applicationDirPath()), version);
    std::fputs(qPrintable(text.value_or(QString()) + QLatin1Char('\n')), stdout);
    return 0;
}

}  // namespace

std::optional<QString> information_text(const QStringList& arguments, const QString& program_folder,
                                        const QString& version) {
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        if (is_help(arguments[i])) {
            return window_usage_text(program_folder);
        }
        if (is_version(arguments[i])) {
            return QStringLiteral("tavrelix-corvanel %1").arg(version);
        }
    }
    return std::nullopt;
}

QString file_argument(const QStringList& arguments) {
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        if (!arguments[i].startsWith(QLatin1Char('-'))) {
            return arguments[i];
        }
    }
    return {};
}

namespace {

// The program-wide line for the last way out: a fatal error that ends the
// process without unwinding (exit() from a broken display connection, an
// exception nobody caught) still switches the chip's voltages off.
ProgramState* g_exit_program = nullptr;

void voltages_off_at_exit() {
    ProgramState* program = g_exit_program;
    g_exit_program = nullptr;
    if (program == nullptr) {
        return;
    }
    // The display may be gone already: no window is touched, only the line.
    program->host = nullptr;
    program->runner.stop();
    program->link.set_receive_notification(0);
    program->link.vpp_test_on = false;
    if (program->link.port_ready) {
        // The board may be inside a command: as many voltages-off bytes as the
        // crash handler sends.
        program->link.voltages_off_after_fault();
    }
}

[[noreturn]] void terminate_with_voltages_off() {
    voltages_off_at_exit();
    std::abort();
}

}  // namespace

int run_window_application(int argc, char** argv, const QString& version) {
    if (const auto answered = answer_information_option(argc, argv, version)) {
        return *answered;
    }
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tavrelix Corvanel"));
    QApplication::setApplicationVersion(version);

    const QString file = file_argument(QCoreApplication::arguments());
    const QString lock_path = single_instance_lock_path();
    QLockFile lock(lock_path);
    if (!acquire_single_instance(lock)) {
        // The running copy opens the file; this one ends quietly.
        if (!file.isEmpty()) {
            (void)hand_off_file(lock_path, file);
        }
        return 0;
    }
    (void)take_handed_off_file(lock_path);  // left by a start the last copy never saw

    program_folder() = make_program_folder(QCoreApplication::applicationDirPath());

    ProgramState program;
    install_state(&program);
    // No window has loaded a colour theme yet, so the roles are still all
    // black: a start-up message shows in the default theme (no setting is read).
    const auto end_with_message = [](const QString& message) {
        loadtheme_named(QString::fromLatin1(setting_defaults::color_theme));
        (void)mymsgbox(message, message_kind::kError, window_title());
        return 1;
    };
    const DeviceDatabaseLookup lookup = find_device_database(program_folder());
    if (!lookup.found) {
        return end_with_message(device_database_missing_text(lookup));
    }
    const DatabaseStartup database = load_database_for_startup(lookup.path, program);
    if (!database.go_on) {
        if (!database.message.isEmpty()) {
            return end_with_message(database.message);
        }
        return 0;
    }

    // A settings folder that cannot be written is said once; the program works
    // on with what it has.
    settings().set_write_failure_handler([](const QString& text) {
        (void)mymsgbox(text, message_kind::kInformation, window_title());
    });
    // The line outlives the window that uses it.
    SerialLink link(program);
    Form1 window;
    window.set_serial_link(&link);
    g_exit_program = &program;
    std::atexit(voltages_off_at_exit);
    std::set_terminate(terminate_with_voltages_off);
    // A crash (or qFatal) leaves no way through the program: the handler sends
    // voltages-off on the port's descriptor and lets the crash go on.
    install_crash_voltages_off();

    // Logout, a session's end and the stop signals end the window without
    // questions, but never with the chip powered.
    // A signal that comes while a start-up message shows (before the event
    // loop runs) ends the program as soon as the load sequence is through.
    int signalled_exit = 0;
    const StopSignalWatcher stop_signals;
    QObject::connect(&stop_signals, &StopSignalWatcher::received, &window,
                     [&window, &signalled_exit](int signal_number) {
                         window.end_for_exit();
                         signalled_exit = 128 + signal_number;
                         QApplication::exit(signalled_exit);
                     });
    QObject::connect(&application, &QApplication::aboutToQuit, &window,
                     [&window] { window.end_for_exit(); });

    window.load_sequence();
    if (signalled_exit != 0) {
        g_exit_program = nullptr;
        install_state(nullptr);
        return signalled_exit;
    }
    if (!file.isEmpty()) {
        // From the event loop: a message the file brings up is then a window
        // like any other, and a stop signal ends the program even while it shows.
        QTimer::singleShot(0, &window, [&window, path = QFileInfo(file).absoluteFilePath()] {
            window.open_hex_file(path);
        });
    }
    // A second start leaves its file beside the lock.
    QFileSystemWatcher handoff_watch({QFileInfo(lock_path).absolutePath()});
    const auto take_handoff = [&window, lock_path] {
        const QString handed = take_handed_off_file(lock_path);
        if (!handed.isEmpty()) {
            window.raise();
            window.activateWindow();
            window.open_hex_file_asking(handed);
        }
    };
    QObject::connect(&handoff_watch, &QFileSystemWatcher::directoryChanged, &window, take_handoff);
    // A second start while this one was still opening its port (a board's banner
    // is awaited for up to 2 s) left its file before the watch began.
    QTimer::singleShot(0, &window, take_handoff);

    const int code = QApplication::exec();
    window.end_for_exit();
    g_exit_program = nullptr;
    install_state(nullptr);
    return code;
}

}  // namespace corvanel
