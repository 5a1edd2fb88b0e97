// The HEX file commands of the main window: "&Open HEX File" (also a click on
// the loaded-file label or its caption) and "&Save Buffer As".

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

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
    const QString chosen = choose_file(this, FileChooserMode::Open,
                                       QStringLiteral("Select HEX File To Open"), last_path());
    if (chosen.isEmpty()) {
        return;
    }
    open_hex_file(remember_folder(chosen));
}

void Form1::open_hex_file(const QString& full_path) {
    disable();
    MemoryImage& image = state().image;
    const std::string path = full_path.toStdString();
    HexOpenReport report;
    QFile file(full_path);
    if (file.open(QIODevice::ReadOnly)) {
        const QByteArray bytes = file.readAll();
        report = open_hex_text(std::string_view(bytes.constData(), bytes.size()), path, image);
    } else {
        // The reader names the file and the reason in its own message.
        report = corvanel::open_hex_file(path, image);
    }
    show_messages(report.messages);
    updatedisplay();
    label_hex->setText(QString::fromStdString(report.loaded_file_label));
    set_status(QString::fromStdString(report.status_text));
    enable();
}

void Form1::menusave_Click() {
    const QString chosen =
        choose_file(this, FileChooserMode::Save, QStringLiteral("Save Buffer As"), last_path());
    if (chosen.isEmpty()) {
        return;
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
    disable();
    // The old file is replaced only once the new one is completely written, so
    // a failure at any point leaves it as it was.
    QSaveFile file(full_path);
    HexSaveResult result;
    if (!file.open(QIODevice::WriteOnly)) {
        result = hex_save_failed(path, file.errorString().toStdString());
    } else {
        const std::string text = write_hex_text(state().image);
        if (file.write(text.data(), static_cast<qint64>(text.size())) !=
            static_cast<qint64>(text.size())) {
            const std::string reason = file.errorString().toStdString();
            file.cancelWriting();
            result = hex_save_failed(path, reason);
        } else if (!file.commit()) {
            result = hex_save_failed(path, file.errorString().toStdString());
        } else {
            result = hex_save_succeeded(path);
        }
    }
    if (result.loaded_file_label) {
        label_hex->setText(QString::fromStdString(*result.loaded_file_label));
    }
    enable();
    set_status(QString::fromStdString(result.status_text));
    show_messages(result.messages);
}

}  // namespace corvanel
