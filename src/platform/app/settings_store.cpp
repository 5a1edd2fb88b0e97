// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/app/settings_store.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <QVariant>

#include <limits>
#include <optional>
#include <system_error>

namespace corvanel {

namespace {

bool is_registry_path(const QString& location) {
    return location.startsWith(QLatin1String("HKEY_"), Qt::CaseInsensitive);
}

// A stored value read back as text. A hand-edited INI line with an unquoted
// comma comes back from QSettings as a list; its parts are joined again.
std::optional<QString> stored_text(const QVariant& value) {
    if (!value.isValid()) {
        return std::nullopt;
    }
    if (value.typeId() == QMetaType::QStringList) {
        return value.toStringList().join(QLatin1String(", "));
    }
    if (value.typeId() == QMetaType::QString || value.canConvert<QString>()) {
        return value.toString();
    }
    return std::nullopt;
}

// A stored value read back as a signed 32-bit number. A registry double word
// may come back unsigned; it holds the same 32 bits.
std::optional<std::int32_t> stored_number(const QVariant& value) {
    if (!value.isValid()) {
        return std::nullopt;
    }
    if (value.typeId() == QMetaType::UInt) {
        return static_cast<std::int32_t>(value.toUInt());
    }
    bool ok = false;
    const qlonglong number = value.toLongLong(&ok);
    if (!ok || number < std::numeric_limits<std::int32_t>::min() ||
        number > std::numeric_limits<std::int32_t>::max()) {
        return std::nullopt;
    }
    return static_cast<std::int32_t>(number);
}

SettingsStore* installed_store = nullptr;

}  // namespace

SettingsStore::SettingsStore(const QString& ini_file)
    : format_(is_registry_path(ini_file) ? QSettings::NativeFormat : QSettings::IniFormat),
      location_(ini_file) {}

QString SettingsStore::default_settings_file() {
#ifdef Q_OS_WIN
    return QStringLiteral("HKEY_CURRENT_USER\\Software\\") + QLatin1String(kProductFolder);
#else
    return config_folder() + QStringLiteral("/settings.ini");
#endif
}

std::filesystem::path SettingsStore::files_folder() const {
    if (format_ != QSettings::IniFormat) {
        return corvanel::config_folder();
    }
    return std::filesystem::path(
        QFile::encodeName(QFileInfo(location_).absolutePath()).toStdString());
}

QString SettingsStore::config_folder() {
    return local_path(corvanel::config_folder());
}

QString local_path(const std::filesystem::path& path) {
#ifdef Q_OS_WIN
    return QDir::fromNativeSeparators(QString::fromStdWString(path.wstring()));
#else
    // File names are bytes here; the local 8-bit decoding keeps them unchanged.
    return QFile::decodeName(QByteArray::fromStdString(path.native()));
#endif
}

std::optional<QString> SettingsStore::refusal() const {
    if (format_ != QSettings::IniFormat) {
        return std::nullopt;
    }
    // Looked at before every open: the file may be replaced while the program runs.
    std::error_code error;
    const auto status = std::filesystem::status(QFile::encodeName(location_).toStdString(), error);
    if (error || !std::filesystem::exists(status) || std::filesystem::is_regular_file(status)) {
        return std::nullopt;
    }
    return QStringLiteral("Settings cannot be read: %1 is not a regular file.").arg(location_);
}

void SettingsStore::ensure_key() const {
    if (format_ == QSettings::IniFormat) {
        QDir().mkpath(QFileInfo(location_).absolutePath());
    }
}

// Every operation opens the store, does its one read or write and closes it
// again (a QSettings object per call, synced before it goes), so nothing is
// held open between calls and each write reaches the disk at once.

std::optional<QString> SettingsStore::find_string(const QString& name) const {
    if (refusal()) {
        return std::nullopt;
    }
    const QSettings store(location_, format_);
    auto text = stored_text(store.value(name));
    if (text && text->size() > kMaxTextLength) {
        return std::nullopt;
    }
    return text;
}

std::optional<std::int32_t> SettingsStore::find_number(const QString& name) const {
    if (refusal()) {
        return std::nullopt;
    }
    const QSettings store(location_, format_);
    return stored_number(store.value(name));
}

QString SettingsStore::get_string(const QString& name, const QString& default_text) const {
    ensure_key();
    if (const auto text = find_string(name)) {
        return *text;
    }
    put_string(name, default_text);
    return default_text;
}

std::int32_t SettingsStore::get_number(const QString& name, std::int32_t default_number) const {
    ensure_key();
    if (const auto number = find_number(name)) {
        return *number;
    }
    put_number(name, default_number);
    return default_number;
}

void SettingsStore::put_string(const QString& name, const QString& text) const {
    if (refusal()) {
        note_write_failure();
        return;
    }
    ensure_key();
    QSettings store(location_, format_);
    store.setValue(name, text);
    store.sync();
    note_write(store);
}

void SettingsStore::put_number(const QString& name, std::int32_t number) const {
    if (refusal()) {
        note_write_failure();
        return;
    }
    ensure_key();
    QSettings store(location_, format_);
    store.setValue(name, static_cast<int>(number));
    store.sync();
    note_write(store);
}

void SettingsStore::remove(const QString& name) const {
    if (refusal()) {
        note_write_failure();
        return;
    }
    QSettings store(location_, format_);
    if (!store.contains(name)) {
        return;
    }
    store.remove(name);
    store.sync();
    note_write(store);
}

void SettingsStore::note_write(const QSettings& store) const {
    if (store.status() == QSettings::NoError) {
        return;
    }
    note_write_failure();
}

void SettingsStore::note_write_failure() const {
    if (write_failed_) {
        return;
    }
    write_failed_ = true;
    if (write_failure_handler_) {
        write_failure_handler_(refusal().value_or(
            QStringLiteral("Settings cannot be kept: %1 cannot be written.").arg(location_)));
    }
}

SettingsStore* install_settings(SettingsStore* store) {
    SettingsStore* previous = installed_store;
    installed_store = store;
    return previous;
}

SettingsStore& settings() {
    if (installed_store != nullptr) {
        return *installed_store;
    }
    static SettingsStore default_store;
    return default_store;
}

bool send_ahead_automatic(const SettingsStore& store) {
    const std::optional<QString> text =
        store.find_string(QString::fromLatin1(setting_names::send_ahead_window));
    return !text || text->trimmed().isEmpty() ||
           text->trimmed().compare(QLatin1String(kSendAheadAutomatic), Qt::CaseInsensitive) == 0;
}

QString measured_window_setting(const QString& port, const QString& baud) {
    QString name = port;
    name.replace(QLatin1Char('/'), QLatin1Char('_')).replace(QLatin1Char('\\'), QLatin1Char('_'));
    return QString::fromLatin1(setting_names::measured_window_prefix) + name + QLatin1Char(' ') +
           baud;
}

}  // namespace corvanel
