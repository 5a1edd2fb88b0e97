// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/app/file_handoff.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace corvanel {

QString handoff_path(const QString& lock_path) {
    return lock_path + QStringLiteral(".open");
}

bool hand_off_file(const QString& lock_path, const QString& file) {
    QSaveFile handoff(handoff_path(lock_path));
    if (!handoff.open(QIODevice::WriteOnly)) {
        return false;
    }
    handoff.write(QFileInfo(file).absoluteFilePath().toUtf8());
    return handoff.commit();
}

QString take_handed_off_file(const QString& lock_path) {
    QFile handoff(handoff_path(lock_path));
    if (!handoff.open(QIODevice::ReadOnly)) {
        return {};
    }
    const QString file = QString::fromUtf8(handoff.read(4096)).trimmed();
    handoff.close();
    handoff.remove();
    return file;
}

}  // namespace corvanel
