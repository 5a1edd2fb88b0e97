// SPDX-License-Identifier: GPL-3.0-or-later
// The ports folder's COMn entries with any content (a file whose first line names
// a device, "virtual" or "virtual:STATE.hex"), or a link to any path: mapping a
// port number never fails, and answers one line that is a device or the virtual
// board.

#include <unistd.h>

#include <QDir>
#include <QFile>

#include <cstdlib>

#include "fuzz_support.h"
#include "platform/link/port_map.h"

using namespace corvanel;

namespace {

const QString& own_folder() {
    static const QString folder = [] {
        const QString path =
            QDir::temp().filePath(QStringLiteral("corvanel-ports-fuzz-%1").arg(getpid()));
        QDir().mkpath(path);
        return path;
    }();
    return folder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Choices choices(data, size);
    const int number = kFirstComPort + static_cast<int>(choices.pick(kLastComPort));
    const bool as_link = choices.pick(4) == 0;
    const std::string_view rest = choices.rest();
    const QString entry = QDir(own_folder()).filePath(QStringLiteral("COM%1").arg(number));
    QFile::remove(entry);
    if (as_link) {
        const QString target = QString::fromUtf8(rest.data(), static_cast<qsizetype>(rest.size()));
        if (target.isEmpty() || target.contains(QChar(0)) || !QFile::link(target, entry)) {
            return 0;
        }
    } else {
        QFile file(entry);
        if (!file.open(QIODevice::WriteOnly)) {
            std::abort();
        }
        file.write(rest.data(), static_cast<qint64>(rest.size()));
    }
    const PortTarget target = map_com_port(number, own_folder());
    if (target.is_none() && !as_link) {
        // An empty first line falls back to the number's own device.
        std::abort();
    }
    // A device is shown as it is opened; a file names it on its first line only
    // (a link's target is any path the file system allows, new lines included).
    const QString shown = target.describe();
    if ((!target.is_virtual() && target.device != shown) ||
        (!as_link && shown.contains(QLatin1Char('\n')))) {
        std::abort();
    }
    if (!as_link && target.kind == PortTarget::Kind::Device &&
        target.device != target.device.trimmed() && target.origin == entry) {
        std::abort();  // blanks around the name are not part of it
    }
    QFile::remove(entry);
    return 0;
}
