// SPDX-License-Identifier: GPL-3.0-or-later
// The HEX file commands of the main window: "&Open HEX File" (also a click on
// the loaded-file label or its caption) and "&Save Buffer As".

#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QMimeData>

#include "core/devices/model_fit.h"
#include "core/engine/program_state.h"
#include "core/files/read_file.h"
#include "core/image/hex_merge.h"
#include "core/image/intel_hex_reader.h"
#include "core/image/intel_hex_writer.h"
#include "gui/dialogs/message_box.h"
#include "gui/ui/file_chooser.h"
#include "gui/ui/main_window.h"
#include "gui/widgets/click_label.h"
#include "platform/app/app_state.h"
#include "platform/app/settings_store.h"

namespace corvanel {

namespace {

// The first local file among the dropped things; empty when there is none.
QString dropped_file(const QMimeData* data) {
    if (data == nullptr) {
        return {};
    }
    for (const QUrl& url : data->urls()) {
        if (url.isLocalFile() && QFileInfo(url.toLocalFile()).isFile()) {
            return url.toLocalFile();
        }
    }
    return {};
}

void show_messages(const std::vector<HexMessage>& messages) {
    for (const HexMessage& message : messages) {
        (void)mymsgbox(
            QString::fromStdString(message.text), message.kind,
            message.caption.empty() ? window_title() : QString::fromStdString(message.caption));
    }
}

// Splits a chosen path into its folder (with the platform's separator at the
// end) and file name, and remembers the folder for the next dialog.
QString remember_folder(const QString& chosen) {
    const QFileInfo info(chosen);
    QString folder = QDir::toNativeSeparators(info.absolutePath());
    if (!folder.endsWith(QDir::separator())) {
        folder += QDir::separator();
    }
    last_path() = folder;
    settings().put_string(QString::fromLatin1(setting_names::last_path), folder);
    return folder + info.fileName();
}

}  // namespace

void Form1::menuopen_Click() {
    if (refuse_during_operation()) {
        return;
    }
    const QString chosen = choose_file(this, FileChooserMode::Open,
                                       QStringLiteral("Select HEX File To Open"), last_path());
    if (chosen.isEmpty()) {
        return;
    }
    open_hex_file_asking(remember_folder(chosen));
}

void Form1::open_hex_file_asking(const QString& full_path) {
    if (refuse_during_operation() || !offer_to_save_buffer()) {
        return;
    }
    open_hex_file(full_path);
}

void Form1::open_hex_file(const QString& full_path) {
    if (refuse_during_operation()) {
        return;
    }
    disable();
    MemoryImage& image = state().image;
    // A file that cannot be loaded leaves the buffer as it was (the reader
    // clears the image before it reads).
    const MemoryImage before = image;
    const std::string path = full_path.toStdString();
    HexOpenReport report;
    QFile file(full_path);
    // Only a regular file of a sane size is read here; the reader names the
    // reason for anything else (a FIFO, a device, a folder, a huge file).
    const QFileInfo info(full_path);
    if (info.isFile() && static_cast<std::uintmax_t>(info.size()) <= kMaxInputFileBytes &&
        file.open(QIODevice::ReadOnly)) {
        const QByteArray bytes = file.readAll();
        report = open_hex_text(std::string_view(bytes.constData(), bytes.size()), path, image);
    } else {
        // The reader names the file and the reason in its own message.
        report = corvanel::open_hex_file(path, image);
    }
    add_model_fit_text(state().database, state().selected_model, report);
    show_messages(report.messages);
    if (report.loaded) {
        out_of_range_warning_.clear();
        if (report.out_of_range_count > 0 && !report.messages.empty()) {
            out_of_range_warning_ = QString::fromStdString(report.messages.back().text);
        }
        state().image_cut_short = report.cut_short;
        label_hex->setText(QString::fromStdString(report.loaded_file_label));
        loaded_path_ = full_path;
        menureload->setEnabled(true);
        mark_buffer_saved();
        remember_recent_file(full_path);
        watch_loaded_file();
    } else {
        image = before;
    }
    updatedisplay();
    set_status(QString::fromStdString(report.status_text));
    enable();
}

void Form1::menumerge_Click() {
    if (refuse_during_operation()) {
        return;
    }
    const QString chosen = choose_file(this, FileChooserMode::Open,
                                       QStringLiteral("Select HEX File To Merge"), last_path());
    if (chosen.isEmpty()) {
        return;
    }
    merge_hex_file(remember_folder(chosen));
}

void Form1::merge_hex_file(const QString& full_path) {
    if (refuse_during_operation()) {
        return;
    }
    disable();
    const HexMergeResult result =
        corvanel::merge_hex_file(QFile::encodeName(full_path).toStdString(), state().image);
    show_messages(result.messages);
    if (result.merged) {
        // What the chip cannot hold of the second file is asked about before
        // Program All, as for the first; so is a second file without its end.
        if (result.out_of_range_count > 0 && out_of_range_warning_.isEmpty()) {
            for (const HexMessage& message : result.messages) {
                if (message.kind == message_kind::kInformation) {
                    out_of_range_warning_ = QString::fromStdString(message.text);
                }
            }
        }
        state().image_cut_short = state().image_cut_short || result.cut_short;
    }
    updatedisplay();
    set_status(QString::fromStdString(result.status_text));
    enable();
}

void Form1::dragEnterEvent(QDragEnterEvent* event) {
    if (!dropped_file(event->mimeData()).isEmpty()) {
        event->acceptProposedAction();
    }
}

void Form1::dropEvent(QDropEvent* event) {
    const QString file = dropped_file(event->mimeData());
    if (file.isEmpty()) {
        return;
    }
    event->acceptProposedAction();
    open_hex_file_asking(remember_folder(file));
}

void Form1::menureload_Click() {
    if (refuse_during_operation() || loaded_path_.isEmpty()) {
        return;
    }
    if (!offer_to_save_buffer()) {
        return;
    }
    open_hex_file(loaded_path_);
}

void Form1::menusave_Click() {
    QString chosen =
        choose_file(this, FileChooserMode::Save, QStringLiteral("Save Buffer As"), last_path());
    if (chosen.isEmpty()) {
        return;
    }
    // A name without an extension gets the one every HEX tool looks for.
    if (QFileInfo(chosen).suffix().isEmpty()) {
        chosen += QStringLiteral(".hex");
    }
    const QString full_path = remember_folder(chosen);
    const std::string path = full_path.toStdString();
    if (QFileInfo::exists(full_path)) {
        const int answer = mymsgbox(QString::fromStdString(hex_overwrite_question(path)),
                                    message_kind::kQuestion, window_title());
        if (answer == message_result::kNo) {
            return;
        }
    }
    // Saving a copy only reads the image, so it may run beside an operation;
    // the command lock is then the operation's and stays as it is.
    const bool operation_running = state().runner.running() || state().runner.in_step();
    if (!operation_running) {
        disable();
    }
    // The program's one way of replacing a file: a failure at any point leaves
    // the old one as it was. The name goes to the file system as its own bytes.
    const HexSaveResult result =
        save_hex_file(QFile::encodeName(full_path).toStdString(), state().image);
    if (result.loaded_file_label) {
        label_hex->setText(QString::fromStdString(*result.loaded_file_label));
    }
    if (result.saved && !operation_running) {
        loaded_path_ = full_path;
        menureload->setEnabled(true);
        mark_buffer_saved();
        remember_recent_file(full_path);
        watch_loaded_file();
    }
    if (!operation_running) {
        enable();
    }
    set_status(QString::fromStdString(result.status_text));
    show_messages(result.messages);
}

}  // namespace corvanel
