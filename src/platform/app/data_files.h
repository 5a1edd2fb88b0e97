// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Where the programs find the device database: beside the program first, so a
// build folder, a portable copy or a Windows folder keeps working, then in the
// installed data folder of the program's prefix (<prefix>/share/tavrelix-corvanel/
// for <prefix>/bin/tavrelix-corvanel).

#include <QString>
#include <QStringList>

namespace corvanel {

// The data folder as seen from the programs' folder, e.g. "../share/tavrelix-corvanel".
[[nodiscard]] QString data_folder_from_program_folder();

// The installed data folder for the programs' folder `program_folder`, cleaned,
// ending in the platform's separator.
[[nodiscard]] QString installed_data_folder(const QString& program_folder);

// The result of looking for the device database.
struct DeviceDatabaseLookup {
    // The file found; the one beside the program when there is none.
    QString path;
    bool found = false;
    // Every place looked at, in order.
    QStringList places;
};

// Looks for "corvaneldevices.txt" beside the program, then in the data folder.
[[nodiscard]] DeviceDatabaseLookup find_device_database(const QString& program_folder);

// The message for a device database found in neither place; names both.
[[nodiscard]] QString device_database_missing_text(const DeviceDatabaseLookup& lookup);

// The folders where the documentation (board.md, main-window.md ...) may be,
// in the order they are tried: "docs" beside the program, the source tree's
// "docs" seen from a build folder (<source>/build/bin), and the installed
// <prefix>/share/doc/tavrelix-corvanel/docs.
[[nodiscard]] QStringList documentation_folders(const QString& program_folder);
// The first of them that holds board.md, ending in the separator; empty when none does.
[[nodiscard]] QString find_documentation_folder(const QString& program_folder);

}  // namespace corvanel
