// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/ui/file_chooser.h"

#include <utility>

#include <QFileDialog>

namespace corvanel {

namespace {

FileChooser& installed_chooser() {
    static FileChooser chooser;
    return chooser;
}

}  // namespace

void set_file_chooser(FileChooser chooser) {
    installed_chooser() = std::move(chooser);
}

QString hex_file_filter() {
    return QStringLiteral("Intel HEX files (*.hex);;All files (*.*)");
}

QString choose_file(QWidget* parent, FileChooserMode mode, const QString& title,
                    const QString& start_folder) {
    return choose_file(parent, mode, title, start_folder, hex_file_filter());
}

QString choose_file(QWidget* parent, FileChooserMode mode, const QString& title,
                    const QString& start_folder, const QString& filter) {
    if (installed_chooser()) {
        return installed_chooser()(mode, title, start_folder, filter);
    }
    if (mode == FileChooserMode::Open) {
        return QFileDialog::getOpenFileName(parent, title, start_folder, filter);
    }
    return QFileDialog::getSaveFileName(parent, title, start_folder, filter, nullptr,
                                        QFileDialog::DontConfirmOverwrite);
}

}  // namespace corvanel
