// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/app/data_files.h"

#include <QDir>
#include <QFileInfo>

#include "core/devices/device_database.h"

#ifndef CORVANEL_DATA_FROM_BINDIR
#define CORVANEL_DATA_FROM_BINDIR "../share/tavrelix-corvanel"
#endif

namespace corvanel {

QString data_folder_from_program_folder() {
    return QStringLiteral(CORVANEL_DATA_FROM_BINDIR);
}

QString installed_data_folder(const QString& program_folder) {
    const QString folder = QDir::cleanPath(QDir(QDir::fromNativeSeparators(program_folder))
                                               .filePath(data_folder_from_program_folder()));
    return QDir::toNativeSeparators(folder + QLatin1Char('/'));
}

DeviceDatabaseLookup find_device_database(const QString& program_folder) {
    const QString name = QString::fromLatin1(kDeviceDatabaseFileName);
    QString beside = QDir::fromNativeSeparators(program_folder);
    if (!beside.endsWith(QLatin1Char('/'))) {
        beside += QLatin1Char('/');
    }
    DeviceDatabaseLookup lookup;
    lookup.places << QDir::toNativeSeparators(beside + name)
                  << installed_data_folder(program_folder) + name;
    lookup.path = lookup.places.front();
    for (const QString& place : lookup.places) {
        if (QFileInfo(place).isFile()) {
            lookup.path = place;
            lookup.found = true;
            break;
        }
    }
    return lookup;
}

QString device_database_missing_text(const DeviceDatabaseLookup& lookup) {
    // Message lines are separated by CR LF.
    return QStringLiteral(
               "The device database %1 was not found.\r\n"
               "It is looked for beside the program:\r\n%2\r\n"
               "and then in the data folder:\r\n%3")
        .arg(QString::fromLatin1(kDeviceDatabaseFileName), lookup.places.value(0),
             lookup.places.value(1));
}

QStringList documentation_folders(const QString& program_folder) {
    const QDir beside(QDir::fromNativeSeparators(program_folder));
    QStringList folders;
    for (const QString& relative :
         {QStringLiteral("docs"), QStringLiteral("../../docs"),
          data_folder_from_program_folder() + QStringLiteral("/../doc/tavrelix-corvanel/docs")}) {
        folders << QDir::toNativeSeparators(QDir::cleanPath(beside.filePath(relative)) +
                                            QLatin1Char('/'));
    }
    return folders;
}

QString find_documentation_folder(const QString& program_folder) {
    for (const QString& folder : documentation_folders(program_folder)) {
        if (QFileInfo(QDir(folder).filePath(QStringLiteral("board.md"))).isFile()) {
            return folder;
        }
    }
    return {};
}

}  // namespace corvanel
