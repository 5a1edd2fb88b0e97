// SPDX-License-Identifier: GPL-3.0-or-later
// The second start's handover file with any content: the running copy takes one
// line-free, blank-free name of at most 4096 characters, and takes it only once.

#include <unistd.h>

#include <QDir>
#include <QFile>

#include <cstdlib>

#include "platform/app/file_handoff.h"

using namespace corvanel;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const QString lock =
        QDir::temp().filePath(QStringLiteral("corvanel-handoff-fuzz-%1.lock").arg(getpid()));
    {
        QFile file(handoff_path(lock));
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            std::abort();
        }
        file.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
    }
    const QString taken = take_handed_off_file(lock);
    if (taken.size() > 4096 || taken != taken.trimmed()) {
        std::abort();
    }
    if (!take_handed_off_file(lock).isEmpty() || QFile::exists(handoff_path(lock))) {
        std::abort();  // taken once, and gone
    }
    // What a second start leaves is what the running copy takes.
    // (Qt would take a name beginning with ':' for one of its resources, not a file.)
    if (taken.startsWith(QLatin1Char('/')) && !taken.contains(QChar(0)) &&
        QDir::cleanPath(taken) == taken) {
        if (!hand_off_file(lock, taken) || take_handed_off_file(lock) != taken) {
            std::abort();
        }
    }
    return 0;
}
