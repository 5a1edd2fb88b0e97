// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Job files on disk, for the window's "Open Job" and the tool's job command: the
// job read and its paths taken from the job's own folder, the HEX file checked
// against the job's SHA-256 before anything is written, and a job written from
// the settings in use.

#include <QString>

#include <optional>

#include "core/engine/job_file.h"

namespace corvanel {

struct OpenedJob {
    JobFile job;
    QString path;      // the job file, absolute
    QString hex_path;  // the job's HEX file, absolute
    QString log_path;  // the job's log, absolute; empty without one
};

struct JobOpenResult {
    std::optional<OpenedJob> opened;
    // "FILE:LINE: what is wrong", "FILE: cannot be read: why".
    QString error;
};

[[nodiscard]] JobOpenResult open_job_file(const QString& path);

// The SHA-256 of a file's bytes, 64 lower-case hexadecimal digits; nothing when
// it cannot be read (`error` says why).
[[nodiscard]] std::optional<QString> file_sha256(const QString& path, QString& error);

// Why the job's HEX file may not be programmed: it cannot be read, or its
// SHA-256 is not the job's (a file rebuilt or replaced since the job was
// written). Empty when it is the job's file.
[[nodiscard]] QString job_hex_refusal(const OpenedJob& opened);

// Writes a job for `hex_path` (its SHA-256 taken now) with the other fields of
// `job`; the HEX and the log are written relative to the job's folder. Nothing
// on success, else why not.
[[nodiscard]] std::optional<QString> save_job_file(const QString& path, JobFile job,
                                                   const QString& hex_path,
                                                   const QString& log_path);

}  // namespace corvanel
