// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/app/job_files.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "core/files/read_file.h"
#include "core/files/replace_file.h"

namespace corvanel {

namespace {

// A job is a dozen short lines: anything larger is no job.
constexpr std::uintmax_t kLargestJobBytes = 64 * 1024;

std::string bytes_of(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

}  // namespace

JobOpenResult open_job_file(const QString& path) {
    const FileReadResult read = read_input_file(bytes_of(path), kLargestJobBytes);
    if (!read.ok) {
        return {
            std::nullopt,
            QStringLiteral("%1: cannot be read: %2").arg(path, QString::fromStdString(read.error))};
    }
    const JobParseResult parsed = parse_job_text(read.bytes, path.toStdString());
    if (!parsed.job) {
        return {std::nullopt, QString::fromStdString(parsed.error)};
    }
    OpenedJob opened;
    opened.job = *parsed.job;
    const QFileInfo info(path);
    opened.path = info.absoluteFilePath();
    const QDir folder = info.absoluteDir();
    opened.hex_path =
        QDir::cleanPath(folder.absoluteFilePath(QString::fromStdString(opened.job.hex)));
    if (!opened.job.log.empty()) {
        opened.log_path =
            QDir::cleanPath(folder.absoluteFilePath(QString::fromStdString(opened.job.log)));
    }
    return {opened, {}};
}

std::optional<QString> file_sha256(const QString& path, QString& error) {
    const FileReadResult read = read_input_file(bytes_of(path));
    if (!read.ok) {
        error = QString::fromStdString(read.error);
        return std::nullopt;
    }
    const QByteArray bytes = QByteArray::fromStdString(read.bytes);
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
}

QString job_hex_refusal(const OpenedJob& opened) {
    QString error;
    const std::optional<QString> digest = file_sha256(opened.hex_path, error);
    if (!digest) {
        return QStringLiteral("%1 cannot be read: %2").arg(opened.hex_path, error);
    }
    if (*digest != QString::fromStdString(opened.job.sha256)) {
        return QStringLiteral(
                   "%1 is not the job's HEX file: its SHA-256 is %2, the job's %3. "
                   "Nothing was written.")
            .arg(opened.hex_path, *digest, QString::fromStdString(opened.job.sha256));
    }
    return {};
}

std::optional<QString> save_job_file(const QString& path, JobFile job, const QString& hex_path,
                                     const QString& log_path) {
    QString error;
    const std::optional<QString> digest = file_sha256(hex_path, error);
    if (!digest) {
        return QStringLiteral("%1 cannot be read: %2").arg(hex_path, error);
    }
    const QDir folder = QFileInfo(path).absoluteDir();
    job.hex = folder.relativeFilePath(QFileInfo(hex_path).absoluteFilePath()).toStdString();
    job.sha256 = digest->toStdString();
    job.log = log_path.isEmpty()
                  ? std::string()
                  : folder.relativeFilePath(QFileInfo(log_path).absoluteFilePath()).toStdString();
    if (const auto failed =
            replace_file(bytes_of(path), job_text(job), TargetLinks::WrittenThrough)) {
        return QStringLiteral("%1 cannot be written: %2")
            .arg(path, QString::fromStdString(*failed));
    }
    return std::nullopt;
}

}  // namespace corvanel
