#include "gui/app/program_entry.h"

#include <chrono>

#include <QApplication>
#include <QDir>
#include <QLockFile>
#include <QStandardPaths>

#include "core/engine/program_state.h"
#include "gui/dialogs/message_box.h"
#include "gui/ui/main_window.h"
#include "platform/app/app_state.h"
#include "platform/app/settings_store.h"
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

int run_window_application(int argc, char** argv, const QString& version) {
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
    const DatabaseStartup database = load_database_for_startup(device_database_path(), program);
    if (!database.go_on) {
        if (!database.message.isEmpty()) {
            (void)mymsgbox(database.message, message_kind::kError, window_title());
            return 1;
        }
        return 0;
    }

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
