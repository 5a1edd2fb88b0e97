#include "gui/app/program_entry.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

#include <QApplication>
#include <QDir>
#include <QLockFile>
#include <QStandardPaths>

#include "core/engine/program_state.h"
#include "gui/dialogs/color_theme.h"
#include "gui/dialogs/message_box.h"
#include "gui/ui/main_window.h"
#include "platform/app/app_state.h"
#include "platform/app/data_files.h"
#include "platform/app/settings_store.h"
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
               "Usage: tavrelix-corvanel [--help | --version]\n"
               "\n"
               "The Tavrelix Corvanel window: programs 14-bit PIC microcontrollers through a\n"
               "programmer board on a serial port, and loads, edits and saves Intel HEX files.\n"
               "Only one copy runs at a time; a second start ends at once.\n"
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

int run_window_application(int argc, char** argv, const QString& version) {
    if (const auto answered = answer_information_option(argc, argv, version)) {
        return *answered;
    }
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tavrelix Corvanel"));
    QApplication::setApplicationVersion(version);

    QLockFile lock(single_instance_lock_path());
    if (!acquire_single_instance(lock)) {
        return 0;
    }

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
    window.load_sequence();
    const int code = QApplication::exec();
    install_state(nullptr);
    return code;
}

}  // namespace corvanel
