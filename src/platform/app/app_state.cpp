// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/app/app_state.h"

#include <QDir>

#include "platform/app/data_files.h"

namespace corvanel {

namespace {

ProgramState* installed_state = nullptr;

}  // namespace

ProgramState& state() {
    static ProgramState default_state;
    return installed_state != nullptr ? *installed_state : default_state;
}

void install_state(ProgramState* program_state) {
    installed_state = program_state;
}

const QString& window_title() {
    static const QString title = QStringLiteral("Tavrelix Corvanel");
    return title;
}

QString& program_folder() {
    static QString folder;
    return folder;
}

QString& last_path() {
    static QString path;
    return path;
}

QString make_program_folder(const QString& executable_folder) {
    QString folder = QDir::toNativeSeparators(executable_folder);
    if (!folder.endsWith(QDir::separator())) {
        folder += QDir::separator();
    }
#ifdef Q_OS_WIN
    folder = folder.toLower();
#endif
    return folder;
}

QString device_database_path() {
    return find_device_database(program_folder()).path;
}

}  // namespace corvanel
